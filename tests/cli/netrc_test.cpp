// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options/netrc.h"

#include <gtest/gtest.h>

namespace {

// Tokens across lines, quotes, a macro that must not be read as entries, comments, "account".
const char* const kNetrc = R"(# logins of the office
machine files.example.org login anna password first
machine files.example.org
    login bob
    password "with blanks \"and quotes\""
macdef init
machine hidden.example.org login anna password from-a-macro

machine 127.0.0.1:2121 login anna password on-the-port
machine 127.0.0.1 login anna password any-port
machine FTP.Example.NET account acct login carl password caps
machine hash.example.org login h password #not-a-comment
machine ::1 login dora password v6
default login anonymous password me@example.org
)";

struct Case {
    const char* name;
    std::string host;
    std::optional<std::string> user;
    std::optional<std::string> login;  // of the entry found; none: no entry
    std::optional<std::string> password;
};

TEST(NetrcTest, FindsTheEntryForTheHostAndTheLogin)
{
    const std::vector<Case> cases = {
        {"first entry of the machine", "files.example.org", std::nullopt, "anna", "first"},
        {"the login picks the entry", "files.example.org", "bob", "bob", "with blanks \"and quotes\""},
        {"another login's password is never sent", "files.example.org", "eve", std::nullopt, std::nullopt},
        {"a macro's lines are not entries", "hidden.example.org", std::nullopt, "anonymous", "me@example.org"},
        {"the host as given, port and all", "127.0.0.1:2121", "anna", "anna", "on-the-port"},
        {"the host without its port", "127.0.0.1:21", "anna", "anna", "any-port"},
        {"host names in any case", "ftp.example.net", std::nullopt, "carl", "caps"},
        {"a # in a value is the value", "hash.example.org", "h", "h", "#not-a-comment"},
        {"an IPv6 address in brackets", "[::1]:2121", std::nullopt, "dora", "v6"},
        {"default for any other machine", "elsewhere.example.com", "anonymous", "anonymous", "me@example.org"},
    };
    const std::vector<NetrcEntry> entries = ParseNetrc(kNetrc);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto entry = FindNetrcEntry(entries, c.host, c.user);
        EXPECT_EQ(entry ? entry->login : std::nullopt, c.login);
        EXPECT_EQ(entry ? entry->password : std::nullopt, c.password);
    }
}

TEST(NetrcTest, TruncatedAndStrayWordsEndWithoutAnEntry)
{
    EXPECT_TRUE(ParseNetrc("login lost password lost\nmachine").empty());
    const auto entries = ParseNetrc("machine h login \"unclosed");
    ASSERT_EQ(entries.size(), 1U);
    EXPECT_EQ(entries[0].login, "unclosed");
    EXPECT_FALSE(entries[0].password);
}

}  // namespace
