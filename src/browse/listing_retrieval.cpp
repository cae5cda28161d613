#include "browse/listing_retrieval.h"

#include "ftp/background.h"
#include "ftp/exchange_result.h"
#include "ftp/ftp_session.h"
#include "ftp/protocol_rules.h"
#include "ftp/session_log.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// Lines longer than this are not listing entries any server writes; they are skipped whole
// rather than cut into pieces that would read as entries of their own.
constexpr std::size_t kLongestListingLine = 4096;

// Reads one line the way a text-mode read gives it: without its LF, a CR before it dropped.
bool ReadListingLine(std::istream& in, std::string& line)
{
    if (!std::getline(in, line))
        return false;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

} // namespace

void FetchListing(CFtpSession& session, const std::string& path)
{
    const int result = session.ReceiveToFile("LIST", path);
    CountListingColumns(session, path);
    std::lock_guard guard(session.operationStatus.lock);
    session.operationStatus.workerResult = result;
}

std::thread StartListingWorker(CFtpSession& session, const std::string& path)
{
    return StartWorker(session, [&session, path] { FetchListing(session, path); });
}

int CountListingColumns(CFtpSession& session, const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return 0;
    int lines = 0;
    std::string line;
    while (std::getline(file, line)) {
        ++lines;
        if (lines != 2)
            continue;
        // The count reads the line as a text-mode read gives it, line feed included.
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!file.eof())
            line += '\n';
        session.listColumnCount = CountLineColumns(line);
    }
    return lines;
}

bool CListingReader::Open(const std::string& path)
{
    file = std::ifstream(path, std::ios::binary);
    if (!file) {
        LogMessage("Couldn't open TempDirFile for reading.");
        return false;
    }
    return true;
}

ListingStep CListingReader::OpenListing(CDirEntry& entry)
{
    std::thread worker = StartListingWorker(session, session.listingFile);
    WaitForWorker(session, worker, WaitKind::GettingDirectory,
                  FormatText("Getting Directory From: %s", {session.hostName}));
    if (!Open(session.listingFile))
        return ListingStep::End;
    return NextListingEntry(entry);
}

ListingStep CListingReader::NextListingEntry(CDirEntry& entry)
{
    std::string line;
    while (ReadListingLine(file, line)) {
        if (line.find("Permission denied") != std::string::npos) {
            file.close();
            if (session.host)
                session.host->Inform("Permission to obtain a directory listing was denied");
            return ListingStep::PermissionDenied;
        }
        if (line.size() <= kLongestListingLine
            && ParseListingLine(line, session.systemType, session.listColumnCount, entry))
            return ListingStep::Entry;
    }
    file.close();
    return ListingStep::End;
}

bool DownloadDirectory(CFtpSession& session, const std::string& remoteName, const std::string& localPath)
{
    session.transferAborted = 0;
    if (::mkdir(localPath.c_str(), 0777) != 0) {
        // An existing directory is not copied into: what is there stays as it is.
        LogMessage("Failed to create directory %s (%u)", {localPath, errno});
        return false;
    }
    if (session.ChangeDirectory(remoteName) != kCompletion) {
        ::rmdir(localPath.c_str());  // listing here would copy the wrong directory
        return false;
    }

    // The whole listing is read before anything is downloaded, so a remote file that happens to
    // share the listing file's name cannot disturb the reading or be deleted with it.
    const std::string listingPath = localPath + "/dirlist0021232.ftp";
    std::thread worker = StartListingWorker(session, listingPath);
    bool everything = WaitForWorker(session, worker, WaitKind::GettingDirectory,
                                    FormatText("Getting Directory From: %s", {session.hostName}));
    std::vector<CDirEntry> entries;
    {
        std::ifstream file(listingPath, std::ios::binary);
        std::string line;
        CDirEntry entry;
        while (ReadListingLine(file, line)) {
            if (line.size() <= kLongestListingLine
                && ParseListingLine(line, session.systemType, session.listColumnCount, entry))
                entries.push_back(entry);
        }
    }
    ::unlink(listingPath.c_str());
    if (!everything)
        session.transferAborted = 1;

    for (const CDirEntry& entry : entries) {
        if (session.transferAborted)
            break;
        if (entry.name == "." || entry.name == "..")
            continue;
        // A name from the server must stay a name inside the target directory.
        if (!IsSafeLocalName(entry.name)) {
            LogMessage("Skipped unsafe name %s", {entry.name});
            continue;
        }
        const std::string path = localPath + "/" + entry.name;
        const bool copied = entry.isFile ? session.RetrieveFile(entry.name, path) == kCompletion
                                         : DownloadDirectory(session, entry.name, path);
        everything = everything && copied;
    }
    if (session.transferAborted)
        everything = false;
    session.ChangeDirectory("..");
    return everything;
}
