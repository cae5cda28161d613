// SPDX-License-Identifier: GPL-3.0-or-later
// Uploading a local directory tree into the current remote directory.

#include "copies/directory_copies.h"
#include "copies/local_directories.h"
#include "copies/parallel_copy.h"

#include "ftp/socket_errors.h"
#include "remote/exchange_result.h"
#include "remote/remote_session.h"
#include "remote/session_log.h"

#include <cerrno>
#include <sys/stat.h>
#include <vector>

namespace {

class TreeUpload final {
public:
    // With a `sink`, files are queued there with their directory's full name, which begins at
    // `start`; without one they are stored at once.
    TreeUpload(RemoteSession& session, FileSink* sink, std::string start)
        : session(session)
        , sink(sink)
        , here(std::move(start))
    {}

    bool Copy(const std::string& localDirectory, const std::string& remoteName);

private:
    bool CopyFile(const std::string& name, const std::string& path);

    RemoteSession& session;
    FileSink* sink;
    std::string here;  // the server's full name of the current directory, when queueing
};

bool TreeUpload::Copy(const std::string& localDirectory, const std::string& remoteName)
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
        RunRemoteCommand(session, [this, &remoteName] { return session.MakeDirectory(remoteName); });
    if (!made) {
        transferAborted = 1;  // cancelled
        return false;
    }
    // A refused MKD may name a directory an earlier copy made: one that can be entered is copied
    // into again, so a copy that stopped can be run once more to finish.
    const std::optional<int> entered =
        RunRemoteCommand(session, [this, &remoteName] { return session.ChangeDirectory(remoteName); });
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
    const std::string parent = here;
    if (sink)
        here = RemotePath(here, remoteName);
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
        if (IsPlainDirectory(path))
            everything = Copy(path, name) && everything;
        else
            everything = CopyFile(name, path) && everything;
    }
    if (transferAborted)
        everything = false;
    // Every command on a lost connection would only wait out the time-out.
    if (session.ConnectionLost())
        return false;
    RunRemoteCommand(session, [this] { return session.ChangeDirectory(".."); });
    here = parent;
    return everything;
}

bool TreeUpload::CopyFile(const std::string& name, const std::string& path)
{
    if (sink) {
        struct stat st {};
        sink->Queue({FileDirection::Upload, here, name, path, ::stat(path.c_str(), &st) == 0 ? st.st_size : 0});
        return true;
    }
    if (session.StoreFile(name, path, TransferStart::Fresh) == kCompletion)
        return true;
    LogMessage("Not uploaded: %s", {path});
    return false;
}

}  // namespace

bool UploadDirectory(RemoteSession& session, const std::string& localDirectory, const std::string& remoteName,
                     const CopyRules& rules)
{
    const std::string text = FormatText("Sending %s To %s", {remoteName, session.Login().host});
    const std::optional<bool> copied =
        CopyInParallel(session, rules, text, [&](FileSink& sink, const std::string& start) {
            TreeUpload upload(session, &sink, start);
            return upload.Copy(localDirectory, remoteName);
        });
    if (copied)
        return *copied;
    TreeUpload upload(session, nullptr, std::string());
    return upload.Copy(localDirectory, remoteName);
}
