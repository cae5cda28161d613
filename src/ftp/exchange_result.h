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
