// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CDirEntry: one entry of a remote directory as its listing shows it, whatever the protocol.

#include <ctime>
#include <optional>
#include <string>

struct CDirEntry {
    std::string name;         // for a UNIX symbolic link: "name -> target", the whole rest of the line
    std::string size;         // the size column as written; empty when the form gives none
    std::string modified;     // date and time as one text (VMS: the column after the name)
    std::string permissions;  // first 10 characters of a UNIX-style line; empty in NT and VMS forms
    int isFile = 1;           // 1 plain file, 0 directory (UNIX links count as directories)
    // The modification time in UTC, to the second, when the listing gives it whole (MLSD); the
    // text in `modified` is then empty.
    std::optional<std::time_t> modifiedTime = std::nullopt;
};

// What a listing showed of a file that is to be downloaded.
struct ListedFile {
    long long size = 0;  // the progress's total until the server announces one; 0: nothing
    // UTC: the downloaded file gets it when times are kept.
    std::optional<std::time_t> modified = std::nullopt;
    // With no time listed, whether to ask the server for it: worth a round trip for a file the user
    // picked, not for each file of a directory.
    bool askTime = false;
};

// Whether the listing marks the entry as a symbolic link (the UNIX type letter "l"): only then is
// its name read as "name -> target".
bool IsListedLink(const CDirEntry& entry);

// The size column as a count of bytes; 0 when it is no plain number.
long long ListedBytes(const CDirEntry& entry);

// The size and time a download of `entry` starts from.
ListedFile ListedFacts(const CDirEntry& entry);

// The time for the user to read: local time with the year ("2026-12-01 21:00") when the listing
// gave it whole, else the listing's own text.
std::string ModifiedText(const CDirEntry& entry);
// The whole time in UTC ("2026-12-01 12:00:00 UTC"); empty when the listing did not give it.
std::string ModifiedUtcText(const CDirEntry& entry);
