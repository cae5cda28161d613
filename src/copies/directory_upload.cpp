// SPDX-License-Identifier: GPL-3.0-or-later
// Uploading a local directory tree into the current remote directory.

#include "copies/directory_copies.h"
#include "copies/local_directories.h"

#include "ftp/socket_errors.h"
#include "remote/exchange_result.h"
#include "remote/remote_session.h"
#include "remote/session_log.h"

#include <cerrno>
#include <vector>

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
    // A refused MKD may name a directory an earlier copy made: one that can be entered is copied
    // into again, so a copy that stopped can be run once more to finish.
    const std::optional<int> entered =
        RunRemoteCommand(session, [&session, &remoteName] { return session.ChangeDirectory(remoteName); });
    if (!entered) {
        transferAborted = 1;  // cancelled
        return false;
    }
    if (entered != kCompletion) {
        if (made == kCompletion)
            return false;
        if (OperationHost* host = session.Operations().host)
            host->Inform("Error Creating Remote Directory\nPossibly a Premissions Problem");
        transferAborted = 1;
        return false;
    }
    if (made != kCompletion)
        LogMessage("Uploading into the existing directory %s", {remoteName});
    bool everything = true;
    // Paths instead of changing the process's current directory: other threads use relative paths too.
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
        } else if (session.StoreFile(name, path, TransferStart::Fresh) != kCompletion) {
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
