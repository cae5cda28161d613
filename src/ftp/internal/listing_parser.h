// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reads one line of a LIST reply into the fields the file browser shows. The server's system type
// (ftp/system_types.h; UNIX, VMS, Windows NT and MacOS differ, every other reads as UNIX) picks the
// layout; the texts are kept as the server wrote them and are never interpreted here.

#include "ftp/system_types.h"
#include "remote/dir_entry.h"

#include <string>
#include <string_view>

// True when `line` (without its line end) is an entry, with `entry` filled; false rejects the line and
// leaves `entry` exactly as it was.
bool ParseListingLine(std::string_view line, int systemType, int listColumnCount, CDirEntry& entry);

// The word count of one line as the listing's column count reads it: a leading blank counts as one
// more word and a final line feed belongs to the last word.
int CountLineColumns(std::string_view line);
