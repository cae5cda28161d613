// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/listing_retrieval.h"

#include "ftp/ftp_session.h"
#include "ftp/internal/control_connection.h"
#include "ftp/internal/mlsd_parser.h"
#include "ftp/local_dirs.h"
#include "remote/exchange_result.h"
#include "remote/local_names.h"
#include "remote/session_log.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <map>
#include <unistd.h>

namespace {

// Lines longer than this are not listing entries any server writes; they are skipped whole
// rather than cut into pieces that would read as entries of their own.
constexpr std::size_t kLongestListingLine = 4096;

// A UNIX listing opens with "total" and a block count; it says nothing about the columns.
bool IsTotalLine(std::string_view line)
{
    if (!line.starts_with("total "))
        return false;
    const std::size_t count = line.find_first_not_of(' ', 5);
    return count != std::string_view::npos && std::isdigit(static_cast<unsigned char>(line[count]));
}

// The count reads a line as a text-mode read gives it, its line feed included.
int ColumnsOf(std::string line, bool endsWithLineFeed)
{
    if (endsWithLineFeed)
        line += '\n';
    return CountLineColumns(line);
}

// The server refused MLSD as a command (500 to 504), not the data connection before it, nor the
// directory (550), which LIST could not list either.
bool RefusedMlsd(const CFtpSession& session, int result)
{
    return result != kCompletion && !session.interrupted && session.replyCode >= 500 && session.replyCode <= 504
        && session.control->commandBuffer.starts_with("MLSD");
}

// The entry a line of the listing file shows, in the form it was fetched in.
bool ParseListedLine(const CFtpSession& session, const std::string& line, CDirEntry& entry)
{
    if (!session.listedWithMlsd)
        return ParseListingLine(line, session.systemType, session.listColumnCount, entry);
    std::optional<CDirEntry> parsed = ParseMlsdLine(line);
    if (parsed)
        entry = std::move(*parsed);
    return parsed.has_value();
}

}  // namespace

bool ReadListingLine(std::istream& in, std::string& line, bool& whole)
{
    // Room for a whole line and its CR, and one more character to tell a longer line.
    char buffer[kLongestListingLine + 2];
    in.getline(buffer, sizeof buffer);
    std::size_t length = static_cast<std::size_t>(in.gcount());
    if (length == 0 && in.fail())
        return false;
    const bool cut = in.fail() && !in.eof();
    if (cut) {
        in.clear();
        in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    } else if (!in.eof()) {
        --length;  // the line feed
    }
    line.assign(buffer, length);
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    whole = !cut && line.size() <= kLongestListingLine;
    return true;
}

void FetchListing(CFtpSession& session, const std::string& path, ListingForm form)
{
    session.listedWithMlsd = form == ListingForm::Offered && session.features.mlsd && session.Settings().useMlsd;
    int result = session.ReceiveToFile(session.listedWithMlsd ? "MLSD" : "LIST", path);
    if (session.listedWithMlsd && RefusedMlsd(session, result)) {
        LogMessage("The server offers MLSD but refused it: directories are listed with LIST from now on.");
        session.features.mlsd = false;
        session.listedWithMlsd = false;
        result = session.ReceiveToFile("LIST", path);
    }
    if (!session.listedWithMlsd)
        CountListingColumns(session, path);
    session.operations.SetWorkerResult(result);
}

std::thread StartListingWorker(CFtpSession& session, const std::string& path, ListingForm form)
{
    return session.operations.Start([&session, path, form] { FetchListing(session, path, form); });
}

int CountListingColumns(CFtpSession& session, const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return 0;
    int lines = 0;
    std::string line;
    std::string first;
    bool firstEnded = false;
    bool whole = false;
    while (ReadListingLine(file, line, whole)) {
        ++lines;
        if (lines == 1) {
            first = line;
            firstEnded = !file.eof();
        } else if (lines == 2) {
            session.listColumnCount = ColumnsOf(line, !file.eof());
        }
    }
    // With one line there is no second to count, and keeping the count of another directory read
    // a one-entry listing in the wrong columns.
    if (lines == 1 && !IsTotalLine(first))
        session.listColumnCount = ColumnsOf(first, firstEnded);
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
    cancelled = !session.operations.Wait(worker, WaitKind::GettingDirectory,
                                         FormatText("Getting Directory From: %s", {session.hostName}));
    // Whatever else the file holds is not this directory's listing.
    if (cancelled || session.operations.WorkerResult() != kCompletion) {
        ::unlink(session.listingFile.c_str());
        return ListingStep::Failed;
    }
    if (!Open(session.listingFile))
        return ListingStep::End;
    return NextListingEntry(entry);
}

ListingStep CListingReader::NextListingEntry(CDirEntry& entry)
{
    std::string line;
    bool whole = false;
    while (ReadListingLine(file, line, whole)) {
        // In MLSD's form every line is an entry: this could only be a file's name.
        if (!session.listedWithMlsd && line.find("Permission denied") != std::string::npos) {
            file.close();
            if (session.operations.host)
                session.operations.host->Inform("Permission to obtain a directory listing was denied");
            return ListingStep::PermissionDenied;
        }
        if (whole && ParseListedLine(session, line, entry))
            return ListingStep::Entry;
    }
    file.close();
    return ListingStep::End;
}

namespace {

// A copy follows a link by its target, which some servers' MLSD leaves out ("OS.unix=slink:", as
// pure-ftpd writes links): their LIST names it, and the links of `entries` take the names LIST
// gives them. The other entries keep what MLSD says of them, their times among it.
void NameLinkTargets(CFtpSession& session, std::vector<CDirEntry>& entries)
{
    const auto unnamed = [](const CDirEntry& entry) {
        return IsListedLink(entry) && SplitListedLink(entry.name).target.empty();
    };
    std::vector<CDirEntry> listed;
    if (std::none_of(entries.begin(), entries.end(), unnamed)
        || !ListCurrentDirectory(session, listed, ListingForm::List))
        return;
    std::map<std::string, std::string> targets;  // the link's name -> "name -> target"
    for (const CDirEntry& entry : listed) {
        if (IsListedLink(entry))
            targets.emplace(SplitListedLink(entry.name).name, entry.name);
    }
    for (CDirEntry& entry : entries) {
        const auto named = targets.find(entry.name);
        if (unnamed(entry) && named != targets.end())
            entry.name = named->second;
    }
}

}  // namespace

// The whole listing is read before anything is done with its entries, so a remote file that
// happens to share the listing file's name cannot disturb the reading or be deleted with it.
bool ListCurrentDirectory(CFtpSession& session, std::vector<CDirEntry>& entries, ListingForm form)
{
    const std::string directory = ListingDirectory();
    if (directory.empty())
        return false;
    const std::string listingPath = directory + "dirlist0021232.ftp";
    std::thread worker = StartListingWorker(session, listingPath, form);
    const bool listed = session.operations.Wait(worker, WaitKind::GettingDirectory,
                                                FormatText("Getting Directory From: %s", {session.hostName}))
        && session.operations.WorkerResult() == kCompletion;
    if (listed) {
        std::ifstream file(listingPath, std::ios::binary);
        std::string line;
        bool whole = false;
        CDirEntry entry;
        while (ReadListingLine(file, line, whole)) {
            if (whole && ParseListedLine(session, line, entry))
                entries.push_back(entry);
        }
    }
    ::unlink(listingPath.c_str());
    if (listed && session.listedWithMlsd)
        NameLinkTargets(session, entries);
    return listed;
}
