// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Logins kept in ~/.netrc, read as curl, lftp and ftp read it: "machine HOST login USER password
// PASS" entries and one "default" entry for any other machine, the words separated by blanks or
// line ends; "account" is skipped, and so is a "macdef NAME" with its lines up to an empty one.
// A word in double quotes may hold blanks (backslash escapes the next character); a "#" where an
// entry's keyword would be begins a comment to the end of the line.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct NetrcEntry {
    std::string machine;  // empty for "default"
    std::optional<std::string> login;
    std::optional<std::string> password;
};

std::vector<NetrcEntry> ParseNetrc(std::string_view text);

// The entry for `host`, a host text that may end in ":PORT": a machine named exactly so (names in
// any case), then one named without the port, then "default". With a `user`, only entries with
// that login count: another login's password is never sent.
std::optional<NetrcEntry> FindNetrcEntry(const std::vector<NetrcEntry>& entries, const std::string& host,
                                         const std::optional<std::string>& user);
