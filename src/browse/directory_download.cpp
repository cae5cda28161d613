// Copying a remote directory tree to the local disk, depth first, one listing at a time.

#include "browse/listing_retrieval.h"

#include "ftp/background.h"
#include "ftp/exchange_result.h"
#include "ftp/ftp_session.h"
#include "ftp/local_dirs.h"
#include "ftp/local_names.h"
#include "ftp/session_log.h"
#include "ftp/socket_errors.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A directory that contains itself through a server-side link must not be copied until the
// local path runs out; no real tree is this deep.
constexpr int kDeepestCopy = 100;

// A UNIX link to the directory itself or the one above it: following it would copy the tree
// into itself. (A link whose target has a slash is no safe local name and never gets here.)
bool LinksBackUp(const std::string& name)
{
    return name.ends_with(" -> .") || name.ends_with(" -> ..");
}

class TreeDownload final {
public:
    explicit TreeDownload(CFtpSession& session) : session(session) {}

    // Copies `remoteName` (shown in messages as `remotePath`) into the new directory `localPath`.
    bool Copy(const std::string& remoteName, const std::string& remotePath, const std::string& localPath,
              int depth);

private:
    // Nothing more can be fetched: the user cancelled, the connection is gone, or the remote
    // current directory is no longer the one the copy thinks it is in.
    bool Stopped() const { return lost || session.transferAborted || session.ConnectionLost(); }
    bool ListEntries(const std::string& remotePath, std::vector<CDirEntry>& entries);
    // CWD on a worker, as every remote command; a cancel stops the copy.
    bool ChangeDirectory(const std::string& name);
    bool CopyEntry(const CDirEntry& entry, const std::string& remotePath, const std::string& localPath, int depth);

    CFtpSession& session;
    bool lost = false;
};

bool TreeDownload::Copy(const std::string& remoteName, const std::string& remotePath,
                        const std::string& localPath, int depth)
{
    if (depth > kDeepestCopy) {
        LogMessage("Directory %s is more than %u levels deep; it was not copied", {remotePath, kDeepestCopy});
        return false;
    }
    if (::mkdir(localPath.c_str(), 0777) != 0) {
        // An existing directory is not copied into: what is there stays as it is.
        LogMessage("Failed to create directory %s (%s)", {localPath, ErrorNumberText(errno)});
        return false;
    }
    if (!ChangeDirectory(remoteName)) {
        ::rmdir(localPath.c_str());  // listing here would copy the wrong directory
        LogMessage("Could not enter directory %s", {remotePath});
        return false;
    }

    std::vector<CDirEntry> entries;
    bool everything = ListEntries(remotePath, entries);
    // An empty directory left by a failed listing would look like a copy, and stop the next try.
    if (!everything)
        ::rmdir(localPath.c_str());
    for (const CDirEntry& entry : entries) {
        if (entry.name == "." || entry.name == "..")
            continue;
        // A name from the server must stay a name inside the target directory.
        if (!IsSafeLocalName(entry.name)) {
            LogMessage("Skipped unsafe name %s", {entry.name});
            continue;
        }
        const std::string path = localPath + "/" + entry.name;
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
    if (!ChangeDirectory("..")) {
        LogMessage("Could not leave directory %s", {remotePath});
        lost = true;
        return false;
    }
    return everything;
}

bool TreeDownload::ChangeDirectory(const std::string& name)
{
    const std::optional<int> changed = RunRemoteCommand(session, [this, &name] { return session.ChangeDirectory(name); });
    if (!changed)
        session.transferAborted = 1;
    return changed == kCompletion;
}

// The whole listing is read before anything is downloaded, so a remote file that happens to share
// the listing file's name cannot disturb the reading or be deleted with it.
bool TreeDownload::ListEntries(const std::string& remotePath, std::vector<CDirEntry>& entries)
{
    const std::string directory = ListingDirectory();
    if (directory.empty()) {
        LogMessage("Could not list directory %s", {remotePath});
        return false;
    }
    const std::string listingPath = directory + "dirlist0021232.ftp";
    std::thread worker = StartListingWorker(session, listingPath);
    const bool listed = WaitForWorker(session, worker, WaitKind::GettingDirectory,
                                      FormatText("Getting Directory From: %s", {session.hostName}))
        && session.WorkerResult() == kCompletion;
    if (listed) {
        std::ifstream file(listingPath, std::ios::binary);
        std::string line;
        bool whole = false;
        CDirEntry entry;
        while (ReadListingLine(file, line, whole)) {
            if (whole && ParseListingLine(line, session.systemType, session.listColumnCount, entry))
                entries.push_back(entry);
        }
    } else {
        LogMessage("Could not list directory %s", {remotePath});
    }
    ::unlink(listingPath.c_str());
    return listed;
}

bool TreeDownload::CopyEntry(const CDirEntry& entry, const std::string& remotePath, const std::string& localPath,
                             int depth)
{
    if (entry.isFile) {
        if (session.RetrieveFile(entry.name, localPath) == kCompletion)
            return true;
        LogMessage("Not downloaded: %s", {localPath});
        return false;
    }
    if (LinksBackUp(entry.name)) {
        LogMessage("Directory link %s leads back into the copy; it was not copied", {remotePath});
        return false;
    }
    return Copy(entry.name, remotePath, localPath, depth + 1);
}

}  // namespace

bool DownloadDirectory(CFtpSession& session, const std::string& remoteName, const std::string& localPath)
{
    session.transferAborted = 0;
    TreeDownload download(session);
    const bool everything = download.Copy(remoteName, remoteName, localPath, 1);
    return everything && !session.transferAborted;
}
