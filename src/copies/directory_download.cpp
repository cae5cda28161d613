// SPDX-License-Identifier: GPL-3.0-or-later
// Copying a remote directory tree to the local disk, depth first, one listing at a time.

#include "copies/directory_copies.h"
#include "copies/local_directories.h"
#include "copies/parallel_copy.h"

#include "ftp/socket_errors.h"
#include "remote/exchange_result.h"
#include "remote/local_names.h"
#include "remote/remote_session.h"
#include "remote/session_log.h"

#include <cerrno>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A directory that contains itself through a server-side link must not be copied until the
// local path runs out; no real tree is this deep.
constexpr int kDeepestCopy = 100;

// A UNIX link to the directory itself or the one above it: following it would copy the tree
// into itself.
bool LinksBackUp(const ListedLink& link)
{
    return link.target == "." || link.target == "..";
}

class TreeDownload final {
public:
    // With a `sink`, files are queued there with their directory's full name, which begins at
    // `start`; without one they are copied at once.
    TreeDownload(RemoteSession& session, FileSink* sink, std::string start)
        : session(session)
        , sink(sink)
        , here(std::move(start))
    {}

    // Copies `remoteName` (shown in messages as `remotePath`) into the new directory `localPath`.
    // `refused`, when given, is set when the server refused to enter `remoteName` (nothing is made
    // then, and nothing logged).
    bool Copy(const std::string& remoteName, const std::string& remotePath, const std::string& localPath, int depth,
              bool* refused);

private:
    // Nothing more can be fetched: the user cancelled, the connection is gone, or the remote
    // current directory is no longer the one the copy thinks it is in.
    bool Stopped() const { return lost || session.TransferAborted() || session.ConnectionLost(); }
    // CWD on a worker, as every remote command; a cancel stops the copy. Its result, or nothing.
    std::optional<int> ChangeDirectory(const std::string& name);
    bool CopyEntry(const CDirEntry& entry, const std::string& remotePath, const std::string& localPath, int depth);
    bool CopyLink(const CDirEntry& entry, const std::string& remotePath, const std::string& localPath, int depth);
    bool CopyFile(const std::string& remoteName, const std::string& localPath, const ListedFile& listed);

    RemoteSession& session;
    FileSink* sink;
    std::string here;  // the server's full name of the current directory, when queueing
    bool lost = false;
};

bool TreeDownload::Copy(const std::string& remoteName, const std::string& remotePath, const std::string& localPath,
                        int depth, bool* refused)
{
    if (depth > kDeepestCopy) {
        LogMessage("Directory %s is more than %u levels deep; it was not copied", {remotePath, kDeepestCopy});
        return false;
    }
    // A directory an earlier copy made is copied into again, so a copy that stopped can be run
    // once more to finish; a file or a link in its place is left alone.
    const bool made = ::mkdir(localPath.c_str(), 0777) == 0;
    const int error = made ? 0 : errno;
    if (!made && (error != EEXIST || !IsPlainDirectory(localPath))) {
        LogMessage("Failed to create directory %s (%s)", {localPath, ErrorNumberText(error)});
        return false;
    }
    if (const std::optional<int> entered = ChangeDirectory(remoteName); entered != kCompletion) {
        if (made)
            ::rmdir(localPath.c_str());  // listing here would copy the wrong directory
        if (refused && entered == kPermanentNegative)
            *refused = true;
        else
            LogMessage("Could not enter directory %s", {remotePath});
        return false;
    }

    const std::string parent = here;
    if (sink)
        here = RemotePath(here, remoteName);
    std::vector<CDirEntry> entries;
    bool everything = session.ListDirectory(ListingUse::Copy, entries) == ListingResult::Listed;
    if (!everything)
        LogMessage("Could not list directory %s", {remotePath});
    // An empty directory left by a failed listing would look like a copy.
    if (!everything && made)
        ::rmdir(localPath.c_str());
    for (const CDirEntry& entry : entries) {
        if (entry.name == "." || entry.name == "..")
            continue;
        // A link is copied under its own name; a name from the server must stay a name inside the
        // target directory.
        const std::string_view name = IsListedLink(entry) ? SplitListedLink(entry.name).name : entry.name;
        if (!IsSafeLocalName(name)) {
            LogMessage("Skipped unsafe name %s", {entry.name});
            everything = false;
            continue;
        }
        const std::string path = localPath + "/" + std::string(name);
        if (Stopped()) {
            LogMessage("Not downloaded: %s", {path});
            everything = false;
            continue;
        }
        everything = CopyEntry(entry, remotePath + "/" + entry.name, path, depth) && everything;
    }
    // Every command on a lost connection would only wait out the time-out.
    if (lost || session.ConnectionLost())
        return false;
    if (ChangeDirectory("..") != kCompletion) {
        LogMessage("Could not leave directory %s", {remotePath});
        lost = true;
        return false;
    }
    here = parent;
    return everything;
}

std::optional<int> TreeDownload::ChangeDirectory(const std::string& name)
{
    const std::optional<int> changed =
        RunRemoteCommand(session, [this, &name] { return session.ChangeDirectory(name); });
    if (!changed)
        session.TransferAborted() = 1;
    return changed;
}

bool TreeDownload::CopyEntry(const CDirEntry& entry, const std::string& remotePath, const std::string& localPath,
                             int depth)
{
    if (entry.isFile)
        return CopyFile(entry.name, localPath, ListedFacts(entry));
    if (IsListedLink(entry))
        return CopyLink(entry, remotePath, localPath, depth);
    return Copy(entry.name, remotePath, localPath, depth + 1, nullptr);
}

// The server follows a link wherever it leads. The copy comes back up with "CWD ..", so a link is
// entered only when its target lies beside it; one the server does not enter, and one that leads
// elsewhere, is copied as the file it names.
bool TreeDownload::CopyLink(const CDirEntry& entry, const std::string& remotePath, const std::string& localPath,
                            int depth)
{
    const ListedLink link = SplitListedLink(entry.name);
    if (LinksBackUp(link)) {
        LogMessage("Directory link %s leads back into the copy; it was not copied", {remotePath});
        return false;
    }
    bool refused = false;
    if (IsSafeLocalName(link.target)) {
        const bool copied = Copy(std::string(link.target), remotePath, localPath, depth + 1, &refused);
        if (!refused)
            return copied;
    }
    return CopyFile(std::string(link.name), localPath, {});
}

bool TreeDownload::CopyFile(const std::string& remoteName, const std::string& localPath, const ListedFile& listed)
{
    if (sink) {
        sink->Queue({FileDirection::Download, here, remoteName, localPath, listed});
        return true;
    }
    if (session.RetrieveFile(remoteName, localPath, listed, TransferStart::Fresh) == kCompletion)
        return true;
    LogMessage("Not downloaded: %s", {localPath});
    return false;
}

}  // namespace

bool DownloadDirectory(RemoteSession& session, const std::string& remoteName, const std::string& localPath,
                       const CopyRules& rules)
{
    session.TransferAborted() = 0;
    const std::string text = FormatText("Retrieving %s From %s", {remoteName, session.Login().host});
    const std::optional<bool> copied =
        CopyInParallel(session, rules, text, [&](FileSink& sink, const std::string& start) {
            TreeDownload download(session, &sink, start);
            return download.Copy(remoteName, remoteName, localPath, 1, nullptr);
        });
    if (copied)
        return *copied;
    TreeDownload download(session, nullptr, std::string());
    const bool everything = download.Copy(remoteName, remoteName, localPath, 1, nullptr);
    return everything && !session.TransferAborted();
}
