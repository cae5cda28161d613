// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every FTP command of the engine returns: the class of the server's final reply, or why
// there is none. Callers compare with these names.

enum ExchangeResult : int {
    kNoValidCode = 0,        // a reply was read but its last code was not 100 to 599
    kPreliminary = 1,        // 1xx: the server goes on (a data transfer starts)
    kCompletion = 2,         // 2xx: done
    kIntermediate = 3,       // 3xx: the server wants more (PASS after USER, RNTO after RNFR)
    kTransientNegative = 4,  // 4xx, including 421 after a broken connection
    kPermanentNegative = 5,  // 5xx: refused
    kInterrupted = 6,        // the connection broke or the user cancelled
    kNotSent = 9,            // nothing was sent: no connection, busy, refused line, send failed
};

// The class of a reply code: its first digit, or kNoValidCode when it is not 100 to 599.
constexpr int ReplyClass(int code)
{
    constexpr int kLowestCode = 100;
    constexpr int kHighestCode = 599;
    constexpr int kCodesPerClass = 100;
    return code >= kLowestCode && code <= kHighestCode ? code / kCodesPerClass : kNoValidCode;
}

// "Service not available, closing control connection": what a server says as it hangs up, and
// the code the replies of a broken, timed-out or cancelled session count as.
inline constexpr int kServiceClosing = 421;

// What the session's whole operations return where they are not the class of a reply; each is
// apart from every exchange result.
enum SessionResult : int {
    kConnectFailed = -1,       // Connect: not connected and logged in (else the control socket)
    kTransferCancelled = -2,   // a transfer's window-thread half: the user cancelled it
    kTransferNotStarted = -3,  // a transfer that never got its data connection going
};
