#pragma once
// Reads one line of a LIST reply into the fields the file browser shows. The server's system type
// picks the layout; the texts are kept as the server wrote them and are never interpreted here.

#include <string>
#include <string_view>

// System types that change how a listing is read; every other value reads as UNIX.
inline constexpr int kSystemUnix = 6010;
inline constexpr int kSystemVmsMultiNet = 6011;
inline constexpr int kSystemVms = 6012;
inline constexpr int kSystemWindowsNt = 6014;
inline constexpr int kSystemMacOs = 6017;

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

// The word count of one line as the listing's column count reads it: a leading blank counts as one
// more word and a final line feed belongs to the last word.
int CountLineColumns(std::string_view line);
