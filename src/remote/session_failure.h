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
    // The last transfer's data connection broke, or ended before every byte came (fewer than
    // announced, a TLS stream cut without its close).
    bool dataCutShort = false;
    bool cancelled = false;  // the user cancelled what the session was doing
};

// Whether what failed may succeed when tried again on a new connection: the connection broke,
// timed out or could not be made, the server closes it (421) or could not open or keep the data
// connection (425, 426), or the data ended early. A refusal (5xx, a refused login), a local file
// error and a cancel will not pass. `connectionLost`: RemoteSession::ConnectionLost().
bool FailureMayPass(const SessionFailure& failure, bool connectionLost);
