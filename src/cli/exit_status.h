// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The exit statuses of tessaline-ftp, each failure a script may want to tell apart its own number.
// --help and the man page's EXIT STATUS list the same table.

enum ExitStatus : int {
    kSucceeded = 0,
    kFailed = 1,          // any failure without a number of its own
    kUsage = 2,           // the command line, a --site or a password source is wrong
    kHostNotFound = 3,    // the host name does not resolve
    kNotConnected = 4,    // no connection to the server (refused, unreachable)
    kLoginRefused = 5,    // the server (or the proxy firewall) refused the login
    kRemoteRefused = 6,   // a 55x reply: the remote file or directory is missing or not allowed
    kLocalFileError = 7,  // a local file or directory cannot be read or written
    kTimedOut = 8,        // the server did not answer within the time-out
    kSignalled = 128,     // plus the number of the signal that ended the run
};
