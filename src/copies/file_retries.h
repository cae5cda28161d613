// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One file of a copy, and how often it is tried.

#include "copies/copy_limits.h"

#include <chrono>
#include <functional>
#include <string>

class RemoteSession;

enum class FileDirection { Download, Upload };

struct FileCopy {
    FileDirection direction = FileDirection::Download;
    std::string remoteDirectory;  // the server's full name of the file's directory (RemoteSession::CurrentDirectory)
    std::string remoteName;       // in that directory
    std::string localPath;
    long long listedSize = 0;  // what a listing showed; 0: nothing
};

struct RetryRules {
    int retries = kDefaultRetries;  // more tries after the first
    bool keepPartial = false;       // a download that fails for good keeps its partial file
    // Waits `delay` before the next try; false when the user cancelled meanwhile.
    std::function<bool(std::chrono::milliseconds delay)> pause;
};

// kCompletion, or the last try's result. The first try uses the session as it is (already in
// remoteDirectory).
int CopyFileWithRetries(RemoteSession& session, const FileCopy& file, const RetryRules& rules);
