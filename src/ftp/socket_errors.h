// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Socket error numbers as the program names them (the classic Windows Sockets numbers, so that the
// texts below stay one table), the mapping from the system's codes, and the texts shown to users.

#include <string>
#include <string_view>

enum SocketError : int {
    kErrorCancelled = 10004,
    kErrorInvalid = 10022,
    kErrorNotSocket = 10038,
    kErrorNetworkDown = 10050,
    kErrorNetworkReset = 10052,
    kErrorAborted = 10053,
    kErrorReset = 10054,
    kErrorShutDown = 10058,
    kErrorTimedOut = 10060,
    kErrorRefused = 10061,
    kErrorHostNotFound = 11001,
};

// errno to the program's number; codes without a program number are kept as they are.
int SocketErrorNumber(int posixError);
// A getaddrinfo() result code to the program's number.
int LookupErrorNumber(int lookupError);
// The user's text for a program number (or a kept system code).
std::string SocketErrorText(int code);
// The system's own words for a program number ("Connection refused"), for messages that name the
// failure rather than advise on it.
std::string SystemErrorText(int code);
// "36: File name too long": a system error number with its text, for messages about local files;
// the number stays for those who search for it.
std::string ErrorNumberText(int posixError);
// Whether an error on the control connection means it is gone (the session is then interrupted).
bool BreaksConnection(int code);
// Logs "label: text", or the text alone when there is no label.
void LogSocketError(std::string_view label, int code);
