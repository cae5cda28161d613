// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Why a run failed, as its exit status and the one line standard error ends with, read from what
// the session recorded: the kind of connect failure, the time-out, the last reply, the local file.

#include <string>

struct SessionFailure;

struct RunFailure {
    int status = 0;      // an ExitStatus
    std::string reason;  // one line, without the program's name
};

// After Connect failed on the way to `host`.
RunFailure ConnectFailureOf(const SessionFailure& failure, const std::string& host);
// After the step `what` ("get a.txt", "cwd pub") failed once logged in.
RunFailure CommandFailureOf(const SessionFailure& failure, const std::string& what);
