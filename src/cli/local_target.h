// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where get and getdir write, decided and checked before anything is asked of the server.

#include <optional>
#include <string>
#include <variant>

// The last part of a remote path: "pub/a.txt" gives "a.txt", "pub/dir/" gives "dir".
std::string FileNameOf(const std::string& path);

struct LocalTargetError {
    std::string path;  // the local path that cannot be written
    int error = 0;     // an errno value
};

// The local path for the remote file or directory `remote`: `local` as given, or for a file inside
// it when it names a directory (ends in "/", or is one), or the remote name in the current
// directory without it. Fails when the directory it goes into is missing or not writable, when the path is a
// directory, or for a directory copy when something other than a writable directory is there.
std::variant<std::string, LocalTargetError> DownloadTarget(const std::string& remote,
                                                           const std::optional<std::string>& local, bool directoryCopy);
