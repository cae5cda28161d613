// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Listings of remote directories: the listing worker receives MLSD (when the server offers it and
// the settings allow) or LIST into a local file, then the window thread reads that file back entry
// by entry through the parser of its form. A directory download walks a remote tree the same way,
// one listing file per directory.

#include "ftp/internal/listing_parser.h"

#include <fstream>
#include <istream>
#include <string>
#include <thread>
#include <vector>

class CFtpSession;

// Offered: MLSD when the server offers it and the settings allow, else LIST. List: LIST always.
enum class ListingForm { Offered, List };

// The listing worker's body: MLSD or LIST into `path`, then a LIST file's column count. A server
// that refuses the MLSD it offers gets LIST, now and for the rest of the session. The final
// reply's class (or 0) is kept as the worker's result.
void FetchListing(CFtpSession& session, const std::string& path, ListingForm form);
std::thread StartListingWorker(CFtpSession& session, const std::string& path, ListingForm form = ListingForm::Offered);

// The words of the file's second line go into `listColumnCount`; a file of one line has that
// line counted, unless it is a UNIX "total" line, which keeps the count (so does an empty file).
// Returns the number of lines, 0 when the file cannot be opened.
int CountListingColumns(CFtpSession& session, const std::string& path);

// Reads one line of a listing file as a text-mode read gives it: without its LF, a CR before it
// dropped. Only the first 4096 characters are kept; `whole` is false for a longer line, whose rest
// is skipped without being held, so no listing can make memory grow with its longest line.
bool ReadListingLine(std::istream& in, std::string& line, bool& whole);

// Failed: the listing did not come (cancelled, refused or broken off; the worker's result and the
// log say which).
enum class ListingStep { Entry, End, PermissionDenied, Failed };

// One listing read through the parser, on the window thread.
class CListingReader final {
public:
    explicit CListingReader(CFtpSession& session) : session(session) {}

    // Fetches the current remote directory into the session's listing file while the front end
    // waits ("Getting Directory From: host"), then reads the first entry. The file is read only
    // when this LIST's data came.
    ListingStep OpenListing(CDirEntry& entry);
    // The user cancelled the wait for the listing.
    bool Cancelled() const { return cancelled; }
    // Reads lines until one is an entry. A line of LIST with "Permission denied" ends the listing
    // and the user is told.
    ListingStep NextListingEntry(CDirEntry& entry);

    // Reads the file at `path`; false (and a log line) when it cannot be opened.
    bool Open(const std::string& path);

private:
    CFtpSession& session;
    std::ifstream file;
    bool cancelled = false;
};

// Lists the current remote directory into `entries`, whole before anything else is done with it,
// through a listing file of its own; false when the listing did not come. When MLSD lists a link
// without naming its target, LIST is asked for the names of the links.
bool ListCurrentDirectory(CFtpSession& session, std::vector<CDirEntry>& entries,
                          ListingForm form = ListingForm::Offered);
