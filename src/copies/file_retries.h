// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One file copied over a remote session, tried again after a failure that may pass (a broken
// connection, a time-out, 421, 425, 426, data cut short) on a new connection of the same login,
// going on from what came through. Runs on the calling thread, which may be any: each session
// with its own waiting front end.

#include "copies/copy_limits.h"
#include "remote/dir_entry.h"

#include <chrono>
#include <functional>
#include <string>

class RemoteSession;

enum class FileDirection { Download, Upload };

struct FileCopy {
    FileDirection direction = FileDirection::Download;
    std::string remoteDirectory;  // the server's full name of the file's directory (RemoteSession::CurrentDirectory);
                                  // empty: the directory a new connection starts in
    std::string remoteName;       // in that directory
    std::string localPath;
    ListedFile listed{};  // what a listing showed of it
};

struct RetryRules {
    int retries = kDefaultRetries;  // copies/copy_limits.h; more tries after the first
    bool keepPartial = false;       // get --continue: a download that fails for good keeps its partial file
    // Waits `delay` before the next try; false when the user cancelled meanwhile (must return
    // within 100 ms of a cancel).
    std::function<bool(std::chrono::milliseconds delay)> pause;
};

// kCompletion, or the last try's result. The first try uses the session as it is (already in
// remoteDirectory). A transient failure is retried after 1, 2, 4 ... s on a fresh connection
// (the old one closed, Connect() again with the same login, CWD remoteDirectory), resuming.
// Permanent failures and a cancel are never retried. When it gives up, a download's partial
// file is deleted unless keepPartial. Each retry logs one line saying which try, why, and from
// which byte.
//
// With keepPartial the first try goes on from the partial file a failed run left; otherwise such
// a file is not this run's, and a download that may be retried starts without it. A download
// into a device or a pipe is tried once: what went into it cannot be taken back.
int CopyFileWithRetries(RemoteSession& session, const FileCopy& file, const RetryRules& rules);
