// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/listing_parser.h"

#include <algorithm>
#include <cstddef>

namespace {

// Only the space character separates columns; a tab is part of a word.
constexpr char kBlank = ' ';

// Lines shorter than this carry no entry in any layout.
constexpr std::size_t kShortestEntry = 10;
constexpr std::size_t kPermissionsLength = 10;

// DOS-style NT lines: fixed columns.
constexpr std::size_t kDosDateLength = 16;
constexpr std::size_t kDosSizeEnd = 37;
constexpr std::size_t kDosNameStart = 39;
constexpr std::string_view kDosDirMarker = "<DIR>";

// Macintosh lines: fixed columns after the permissions.
constexpr std::size_t kMacDateStart = 40;
constexpr std::size_t kMacDateLength = 13;
constexpr std::size_t kMacNameStart = 54;

// Characters from `from` on, at most `count`; empty when the line ends before `from`.
std::string Slice(std::string_view line, std::size_t from, std::size_t count = std::string_view::npos)
{
    from = std::min(from, line.size());
    return std::string(line.substr(from, count));
}

// Walks a line word by word; every step stops at the end of the line.
class LineScanner final {
public:
    LineScanner(std::string_view line, std::size_t start) : line(line), pos(std::min(start, line.size())) {}

    void SkipBlanks()
    {
        while (pos < line.size() && line[pos] == kBlank)
            ++pos;
    }

    void SkipWord()
    {
        while (pos < line.size() && line[pos] != kBlank)
            ++pos;
    }

    void CopyBlanks(std::string& out)
    {
        const std::size_t from = pos;
        SkipBlanks();
        out.append(line.substr(from, pos - from));
    }

    void CopyWord(std::string& out)
    {
        const std::size_t from = pos;
        SkipWord();
        out.append(line.substr(from, pos - from));
    }

    void SkipToken()
    {
        SkipBlanks();
        SkipWord();
    }

    void TakeToken(std::string& out)
    {
        SkipBlanks();
        CopyWord(out);
    }

    // Month, day and time or year, with the server's own spacing between them but none after.
    void TakeDate(std::string& out)
    {
        TakeToken(out);
        CopyBlanks(out);
        CopyWord(out);
        CopyBlanks(out);
        CopyWord(out);
    }

    void TakeRest(std::string& out)
    {
        SkipBlanks();
        out.append(line.substr(pos));
        pos = line.size();
    }

private:
    std::string_view line;
    std::size_t pos;
};

// "-rwxr-xr-x  links owner [group] size month day time-or-year name"; `withGroup` says whether
// the group column is there. The caller has checked the first character.
CDirEntry ReadUnixStyle(std::string_view line, bool withGroup)
{
    CDirEntry entry;
    entry.isFile = line[0] == '-' ? 1 : 0;
    entry.permissions = Slice(line, 0, kPermissionsLength);
    // The character after the permissions may be an ACL or security-context mark; it is not a column.
    LineScanner scan(line, kPermissionsLength + 1);
    scan.SkipToken();  // link count
    scan.SkipToken();  // owner
    if (withGroup)
        scan.SkipToken();
    scan.TakeToken(entry.size);
    scan.TakeDate(entry.modified);
    scan.TakeRest(entry.name);
    return entry;
}

bool ParseUnix(std::string_view line, int listColumnCount, CDirEntry& entry)
{
    switch (line[0]) {
    case '-':
    case 'd':
    case 'l':
        // Eight columns or fewer in the listing means the server leaves out the group.
        entry = ReadUnixStyle(line, listColumnCount > 8);
        return true;
    default:
        // "total", devices, pipes and sockets are nothing the browser can open.
        return false;
    }
}

// "MM-DD-YY  HH:MMAM       <DIR>          name" or with the size right-aligned before the name.
CDirEntry ReadDosStyle(std::string_view line)
{
    CDirEntry entry;
    entry.modified = Slice(line, 0, kDosDateLength);
    if (line.size() > kDosSizeEnd) {
        std::size_t from = kDosSizeEnd + 1;
        while (from > 0 && line[from - 1] != kBlank)
            --from;
        entry.size = Slice(line, from, kDosSizeEnd + 1 - from);
    }
    LineScanner scan(line, kDosNameStart);
    scan.TakeRest(entry.name);
    const std::string_view markerArea = line.substr(0, kDosNameStart - 1 + kDosDirMarker.size());
    entry.isFile = markerArea.find(kDosDirMarker) == std::string_view::npos ? 1 : 0;
    return entry;
}

bool ParseWindowsNt(std::string_view line, CDirEntry& entry)
{
    // NT servers can be switched to UNIX-style listings; those always carry the group column.
    if (line[0] == '-' || line[0] == 'd' || line[0] == 'l') {
        entry = ReadUnixStyle(line, true);
        entry.permissions.clear();
        return true;
    }
    entry = ReadDosStyle(line);
    return true;
}

bool ParseMacOs(std::string_view line, CDirEntry& entry)
{
    if (line[0] != 'd' && line[0] != '-')
        return false;
    CDirEntry parsed;
    parsed.isFile = line[0] == '-' ? 1 : 0;
    parsed.permissions = Slice(line, 0, kPermissionsLength);
    if (parsed.isFile) {
        // Files carry three numbers; the last one is the total size.
        LineScanner scan(line, kPermissionsLength + 1);
        scan.SkipToken();
        scan.SkipToken();
        scan.TakeToken(parsed.size);
    }
    parsed.modified = Slice(line, kMacDateStart, kMacDateLength);
    // Names may begin with blanks, so the column is taken as it stands.
    parsed.name = Slice(line, kMacNameStart);
    entry = std::move(parsed);
    return true;
}

// "NAME.EXT;version  blocks  date  owner  protection"; long names push the rest onto a
// continuation line, which is skipped.
bool ParseVms(std::string_view line, CDirEntry& entry)
{
    if (line.starts_with("Directory") || line[0] == kBlank || line.starts_with("Total of"))
        return false;
    CDirEntry parsed;
    std::size_t pos = 0;
    while (pos < line.size() && line[pos] != ';' && line[pos] != kBlank)
        ++pos;
    parsed.name = Slice(line, 0, pos);
    const bool hasVersion = pos < line.size() && line[pos] == ';';
    LineScanner scan(line, pos + 1);
    // Only a semicolon introduces a version; after a blank the next word is already the size.
    if (hasVersion)
        scan.SkipWord();
    scan.TakeToken(parsed.modified);
    entry = std::move(parsed);
    return true;
}

}  // namespace

bool ParseListingLine(std::string_view line, int systemType, int listColumnCount, CDirEntry& entry)
{
    if (line.size() < kShortestEntry)
        return false;
    switch (systemType) {
    case kSystemVmsMultiNet:
    case kSystemVms: return ParseVms(line, entry);
    case kSystemWindowsNt: return ParseWindowsNt(line, entry);
    case kSystemMacOs: return ParseMacOs(line, entry);
    default: return ParseUnix(line, listColumnCount, entry);
    }
}

int CountLineColumns(std::string_view line)
{
    int count = 0;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] != kBlank)
            ++pos;
        ++count;
        while (pos < line.size() && line[pos] == kBlank)
            ++pos;
        if (pos < line.size()) {
            // Steps over the first character of the next word. When that character is the whole
            // last word it still counts, as it would with the line feed behind it; a lone line
            // feed after trailing blanks is not a word.
            ++pos;
            if (pos == line.size() && line[pos - 1] != '\n')
                ++count;
        }
    }
    return count;
}
