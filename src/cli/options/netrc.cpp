// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options/netrc.h"

#include "ftp/host_port.h"

#include <algorithm>
#include <cctype>

namespace {

class Words final {
public:
    explicit Words(std::string_view text) : text(text) {}

    // The next word; a keyword position also skips comments.
    std::optional<std::string> Next(bool keyword)
    {
        for (;;) {
            while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
                ++pos;
            if (pos >= text.size())
                return std::nullopt;
            if (!keyword || text[pos] != '#')
                break;
            SkipLine();
        }
        std::string word;
        if (text[pos] == '"') {
            for (++pos; pos < text.size() && text[pos] != '"'; ++pos) {
                if (text[pos] == '\\' && pos + 1 < text.size())
                    ++pos;
                word += text[pos];
            }
            if (pos < text.size())
                ++pos;  // the closing quote
            return word;
        }
        while (pos < text.size() && !std::isspace(static_cast<unsigned char>(text[pos])))
            word += text[pos++];
        return word;
    }

    // A macro's lines end with the first empty one.
    void SkipMacro()
    {
        SkipLine();
        pos = std::min(pos + 1, text.size());  // the line of "macdef NAME" itself
        while (pos < text.size()) {
            const std::size_t end = std::min(text.find('\n', pos), text.size());
            const bool empty = text.substr(pos, end - pos).find_first_not_of('\r') == std::string_view::npos;
            pos = std::min(end + 1, text.size());
            if (empty)
                return;
        }
    }

private:
    void SkipLine() { pos = std::min(text.find('\n', pos), text.size()); }

    std::string_view text;
    std::size_t pos = 0;
};

bool SameHostName(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

}  // namespace

std::vector<NetrcEntry> ParseNetrc(std::string_view text)
{
    std::vector<NetrcEntry> entries;
    Words words(text);
    while (const auto keyword = words.Next(true)) {
        if (*keyword == "default") {
            entries.emplace_back();
            continue;
        }
        if (*keyword != "machine" && *keyword != "login" && *keyword != "password" && *keyword != "account"
            && *keyword != "macdef")
            continue;  // a word we do not know, as other readers skip it
        const auto value = words.Next(false);
        if (!value)
            break;
        if (*keyword == "machine")
            entries.push_back({*value, std::nullopt, std::nullopt});
        else if (*keyword == "macdef")
            words.SkipMacro();
        else if (entries.empty() || *keyword == "account")
            continue;
        else if (*keyword == "login")
            entries.back().login = *value;
        else
            entries.back().password = *value;
    }
    return entries;
}

std::optional<NetrcEntry> FindNetrcEntry(const std::vector<NetrcEntry>& entries, const std::string& host,
                                         const std::optional<std::string>& user)
{
    const std::size_t bracket = host.starts_with('[') ? host.find(']') : std::string::npos;
    const std::string withoutPort =
        bracket != std::string::npos ? host.substr(0, bracket + 1) : SplitHostPort(host).host;
    std::vector<std::string> names = {host, withoutPort};
    if (bracket != std::string::npos)
        names.push_back(host.substr(1, bracket - 1));  // an IPv6 address as netrc files write it
    const auto fits = [&user](const NetrcEntry& entry) { return !user || entry.login == *user; };
    for (const std::string& name : names) {
        for (const NetrcEntry& entry : entries) {
            if (!entry.machine.empty() && SameHostName(entry.machine, name) && fits(entry))
                return entry;
        }
    }
    for (const NetrcEntry& entry : entries) {
        if (entry.machine.empty() && fits(entry))
            return entry;
    }
    return std::nullopt;
}
