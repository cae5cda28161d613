// SPDX-License-Identifier: GPL-3.0-or-later
// Uploading a local directory tree into the current remote directory.

#include "copies/directory_copies.h"

#include "ftp/socket_errors.h"
#include "remote/exchange_result.h"
#include "remote/remote_session.h"
#include "remote/session_log.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <vector>

namespace {

// The entries of a local directory, "." and ".." left out, in name order so uploads go in an
// order the user can follow; false (and the reason in errno) when it cannot be read.
bool LocalEntries(const std::string& directory, std::vector<std::string>& names)
{
    DIR* listing = ::opendir(directory.c_str());
    if (!listing)
        return false;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(listing);
    std::sort(names.begin(), names.end());
    return true;
}

// A real directory, not a link to one: links are uploaded as the file they point to.
bool IsPlainDirectory(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool UploadDirectory(RemoteSession& session, const std::string& localDirectory, const std::string& remoteName)
{
    std::atomic<int>& transferAborted = session.TransferAborted();
    transferAborted = 0;
    std::vector<std::string> entries;
    if (!LocalEntries(localDirectory, entries)) {
        LogMessage("Could not open file %s (%s)", {localDirectory, ErrorNumberText(errno)});
        transferAborted = 1;
        return false;
    }
    const std::optional<int> made =
        RunRemoteCommand(session, [&session, &remoteName] { return session.MakeDirectory(remoteName); });
    if (!made) {
        transferAborted = 1;  // cancelled
        return false;
    }
    if (made != kCompletion) {
        if (OperationHost* host = session.Operations().host)
            host->Inform("Error Creating Remote Directory\nPossibly a Premissions Problem");
        transferAborted = 1;
        return false;
    }
    bool everything = true;
    // Paths instead of changing the process's current directory: other threads use relative paths too.
    if (RunRemoteCommand(session, [&session, &remoteName] { return session.ChangeDirectory(remoteName); })
        != kCompletion)
        return false;
    for (const std::string& name : entries) {
        const std::string path = localDirectory + "/" + name;
        // After a cancel, a failed entry or a lost connection nothing more goes up; the log says
        // what did not.
        if (transferAborted || session.ConnectionLost()) {
            LogMessage("Not uploaded: %s", {path});
            everything = false;
            continue;
        }
        if (IsPlainDirectory(path)) {
            everything = UploadDirectory(session, path, name) && everything;
        } else if (session.StoreFile(name, path) != kCompletion) {
            LogMessage("Not uploaded: %s", {path});
            everything = false;
        }
    }
    if (transferAborted)
        everything = false;
    // Every command on a lost connection would only wait out the time-out.
    if (session.ConnectionLost())
        return false;
    RunRemoteCommand(session, [&session] { return session.ChangeDirectory(".."); });
    return everything;
}
