// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a failed connect or operation leaves for the user to read; the log has the details.

#include <string>

// What kind of failure stopped the last connect, for front ends that tell them apart (the command
// line's exit statuses).
enum class ConnectFailure { None, HostNotFound, NotReached, LoginRefused, Other };

struct SessionFailure {
    ConnectFailure connectFailure = ConnectFailure::None;
    std::string connectError;  // with NotReached: the system's words, "Connection refused"
    std::string refusal;       // why the last connect stopped, in the user's words; empty: the log tells
    std::string lostReason;    // why the connection was given up (a time-out, a break, the server closing it)
    bool timedOut = false;     // the server did not answer within the time-out
    int replyCode = 0;         // the server's last reply, 0: none
    std::string reply;
    int localFileError = 0;  // errno of the last transfer's failure on its local file; 0: none
    std::string localPath;   // that file
};
