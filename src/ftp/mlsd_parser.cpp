// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/mlsd_parser.h"

#include "ftp/internal/ftp_time.h"
#include "ftp/internal/protocol_rules.h"

#include <algorithm>
#include <array>
#include <string>

namespace {

// More digits than any file size has: a longer "size" is no size.
constexpr std::size_t kLongestSize = 18;

// "0755" as "rwxr-xr-x"; empty for anything but three or four octal digits.
std::string ModeLetters(std::string_view mode)
{
    if (mode.size() < 3 || mode.size() > 4
        || !std::all_of(mode.begin(), mode.end(), [](char c) { return c >= '0' && c <= '7'; }))
        return {};
    static constexpr std::array<char, 3> kLetters = {'r', 'w', 'x'};
    std::string letters;
    for (const char digit : mode.substr(mode.size() - 3)) {
        for (int bit = 0; bit < 3; ++bit)
            letters += ((digit - '0') >> (2 - bit)) & 1 ? kLetters[static_cast<std::size_t>(bit)] : '-';
    }
    return letters;
}

bool PlainName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".."
        && name.find_first_of(std::string_view("/\r\n\0", 4)) == std::string_view::npos;
}

}  // namespace

std::optional<CDirEntry> ParseMlsdLine(std::string_view line)
{
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos || space == 0)
        return std::nullopt;
    std::string_view facts = line.substr(0, space);
    const std::string_view name = line.substr(space + 1);
    if (!facts.ends_with(';') || !PlainName(name))
        return std::nullopt;

    std::string type;
    std::string size;
    std::string mode;
    std::string perm;
    std::optional<std::time_t> modified;
    while (!facts.empty()) {
        const std::size_t end = facts.find(';');
        const std::string_view fact = facts.substr(0, end);
        facts.remove_prefix(end + 1);
        const std::size_t equals = fact.find('=');
        if (equals == 0 || equals == std::string_view::npos)
            return std::nullopt;  // not a fact: the line is not in the form
        const std::string key = UpperCase(fact.substr(0, equals));
        const std::string_view value = fact.substr(equals + 1);
        if (key == "TYPE")
            type = std::string(value);
        else if (key == "SIZE" && AllDigits(value) && value.size() <= kLongestSize)
            size = std::string(value);
        else if (key == "UNIX.MODE")
            mode = ModeLetters(value);
        else if (key == "PERM")
            perm = std::string(value);
        else if (key == "MODIFY")
            modified = ParseFtpTime(value);
    }

    const std::string kind = UpperCase(type);
    if (kind.empty() || kind == "CDIR" || kind == "PDIR")
        return std::nullopt;
    // Links are written "OS.unix=symlink", "OS.unix=slink" or "OS.unix=slink:TARGET".
    const bool link = kind.starts_with("OS.UNIX=SYMLINK") || kind.starts_with("OS.UNIX=SLINK");
    const char letter = link ? 'l' : kind == "DIR" ? 'd' : '-';
    CDirEntry entry;
    entry.name = std::string(name);
    const std::size_t colon = type.find(':');
    if (link && colon != std::string::npos && colon + 1 < type.size())
        entry.name += " -> " + type.substr(colon + 1);
    entry.size = size;
    entry.permissions = !mode.empty() ? letter + mode : std::string(1, letter) + (perm.empty() ? "" : " " + perm);
    entry.isFile = letter == '-' ? 1 : 0;
    entry.modifiedTime = modified;
    return entry;
}
