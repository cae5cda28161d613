// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads one line of a LIST reply into the fields the file browser shows. The server's system type
// (ftp/system_types.h; UNIX, VMS, Windows NT and MacOS differ, every other reads as UNIX) picks the
// layout; the texts are kept as the server wrote them and are never interpreted here.

#include "ftp/system_types.h"

#include <string>
#include <string_view>

// One accepted listing line: texts exactly as the server wrote them.
struct CDirEntry {
    std::string name;         // for a UNIX symbolic link: "name -> target", the whole rest of the line
    std::string size;         // the size column as written; empty when the form gives none
    std::string modified;     // date and time as one text (VMS: the column after the name)
    std::string permissions;  // first 10 characters of a UNIX-style line; empty in NT and VMS forms
    int isFile = 1;           // 1 plain file, 0 directory (UNIX links count as directories)
};

// True when `line` (without its line end) is an entry, with `entry` filled; false rejects the line and
// leaves `entry` exactly as it was.
bool ParseListingLine(std::string_view line, int systemType, int listColumnCount, CDirEntry& entry);

// Whether the listing marks the entry as a symbolic link (the UNIX type letter "l"): only then is
// its name read as "name -> target".
bool IsListedLink(const CDirEntry& entry);

// The size column as a count of bytes; 0 when it is no plain number.
long long ListedBytes(const CDirEntry& entry);

// The word count of one line as the listing's column count reads it: a leading blank counts as one
// more word and a final line feed belongs to the last word.
int CountLineColumns(std::string_view line);
