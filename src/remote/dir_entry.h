// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CDirEntry: one entry of a remote directory as its listing shows it, whatever the protocol.

#include <string>

struct CDirEntry {
    std::string name;         // for a UNIX symbolic link: "name -> target", the whole rest of the line
    std::string size;         // the size column as written; empty when the form gives none
    std::string modified;     // date and time as one text (VMS: the column after the name)
    std::string permissions;  // first 10 characters of a UNIX-style line; empty in NT and VMS forms
    int isFile = 1;           // 1 plain file, 0 directory (UNIX links count as directories)
};

// Whether the listing marks the entry as a symbolic link (the UNIX type letter "l"): only then is
// its name read as "name -> target".
bool IsListedLink(const CDirEntry& entry);

// The size column as a count of bytes; 0 when it is no plain number.
long long ListedBytes(const CDirEntry& entry);
