// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/listing_parser.h"
#include "ftp/internal/mlsd_parser.h"
#include "support/test_data.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

// Every parse starts from a record filled with this, so a field that is not overwritten shows up.
const CDirEntry kStale{"stale name", "stale size", "stale date", "stale perms", 7};

struct Row {
    const char* caseName;
    std::string line;
    int systemType;
    int columns;
    bool accepted;
    CDirEntry expected;  // ignored for rejected lines: those must leave kStale as it was
};

void ExpectSameEntry(const CDirEntry& actual, const CDirEntry& expected)
{
    EXPECT_EQ(actual.name, expected.name);
    EXPECT_EQ(actual.size, expected.size);
    EXPECT_EQ(actual.modified, expected.modified);
    EXPECT_EQ(actual.permissions, expected.permissions);
    EXPECT_EQ(actual.isFile, expected.isFile);
}

// The line goes in through a buffer of exactly its length, so a sanitizer build catches any read past it.
void CheckRows(const std::vector<Row>& rows)
{
    for (const Row& row : rows) {
        SCOPED_TRACE(row.caseName);
        auto bytes = std::make_unique<char[]>(row.line.size());
        std::memcpy(bytes.get(), row.line.data(), row.line.size());
        CDirEntry entry = kStale;
        EXPECT_EQ(ParseListingLine({bytes.get(), row.line.size()}, row.systemType, row.columns, entry), row.accepted);
        ExpectSameEntry(entry, row.accepted ? row.expected : kStale);
    }
}

TEST(ListingParserTest, UnixLines)
{
    const std::string group = "-rw-r--r--   1 owner 1024 Dec 31  2023 notes.txt";
    CheckRows({
        {"unix directory",
         "drwxr-xr-x   2 owner group 512 Mar  5 12:30 docs",
         kSystemUnix,
         9,
         true,
         {"docs", "512", "Mar  5 12:30", "drwxr-xr-x", 0}},
        {"unix without group column",
         group,
         kSystemUnix,
         8,
         true,
         {"notes.txt", "1024", "Dec 31  2023", "-rw-r--r--", 1}},
        {"unix without group read with group", group, 0, 9, true, {"", "Dec", "31  2023 notes.txt", "-rw-r--r--", 1}},
        {"unix symlink with blanks",
         "lrwxrwxrwx 1 o g 11 Jan  1 00:00 my link -> target dir",
         kSystemClix,
         9,
         true,
         {"my link -> target dir", "11", "Jan  1 00:00", "lrwxrwxrwx", 0}},
        {"unix name keeps blanks, tabs and NUL",
         "-rw-r--r-- 1 o\tx g 7 Feb 14 09:05 two  w\to\0rds  "s,
         kSystemUnix,
         9,
         true,
         {"two  w\to\0rds  "s, "7", "Feb 14 09:05", "-rw-r--r--", 1}},
        {"unix mark after permissions",
         "drwxr-xr-x+ 3 o g 4096 Jul  4  2022 shared",
         kSystemMvs,
         9,
         true,
         {"shared", "4096", "Jul  4  2022", "drwxr-xr-x", 0}},
        {"unix line ends inside the date",
         "-rw-r--r-- 1 o g 42 Mar  5",
         kSystemUnix,
         9,
         true,
         {"", "42", "Mar  5", "-rw-r--r--", 1}},
        {"unix 4000-byte name",
         "-rw-r--r-- 1 o g 5 Jan  1  2020 " + std::string(4000, 'n'),
         kSystemUnix,
         9,
         true,
         {std::string(4000, 'n'), "5", "Jan  1  2020", "-rw-r--r--", 1}},
        {"unix total line", "total 123456", kSystemUnix, 9, false, {}},
        {"unix character device", "crw-rw-rw- 1 root tty 4, 0 Jan  1 00:00 tty0", kSystemUnix, 9, false, {}},
        {"unix nine characters", "-rw-r--r-", kSystemUnix, 9, false, {}},
    });
}

TEST(ListingParserTest, WindowsNtLines)
{
    CheckRows({
        {"dos directory",
         "02-24-05  03:33PM       <DIR>          docs",
         kSystemWindowsNt,
         0,
         true,
         {"docs", "", "02-24-05  03:33P", "", 0}},
        {"dos file with blanks",
         "02-24-05  10:07AM              1234567   report final.txt ",
         kSystemWindowsNt,
         0,
         true,
         {"report final.txt ", "1234567", "02-24-05  10:07A", "", 1}},
        {"dos marker inside the name",
         "02-24-05  10:07AM                    5 <DIR>.txt",
         kSystemWindowsNt,
         0,
         true,
         {"<DIR>.txt", "5", "02-24-05  10:07A", "", 1}},
        {"dos size scan stops at line start",
         std::string(38, '9') + " x",
         kSystemWindowsNt,
         0,
         true,
         {"x", std::string(38, '9'), std::string(16, '9'), "", 1}},
        {"nt unix style always has a group",
         "drwxr-xr-x 1 owner group 0 Nov  2 16:01 wwwroot",
         kSystemWindowsNt,
         8,
         true,
         {"wwwroot", "0", "Nov  2 16:01", "", 0}},
    });
}

TEST(ListingParserTest, MacintoshLines)
{
    CheckRows({
        {"mac directory",
         "drwxrwxr-x               folder        2 May 10  1996   network",
         kSystemMacOs,
         0,
         true,
         {"  network", "", " May 10  1996", "drwxrwxr-x", 0}},
        {"mac file",
         "-------r--         326  1391972  1392298 Nov 22  1995 Report.sit",
         kSystemMacOs,
         0,
         true,
         {"Report.sit", "1392298", " Nov 22  1995", "-------r--", 1}},
        {"mac short directory", "drwxrwxr-x folder", kSystemMacOs, 0, true, {"", "", "", "drwxrwxr-x", 0}},
        {"mac link", "lrwxrwxrwx               folder        2 May 10  1996 network", kSystemMacOs, 0, false, {}},
    });
}

TEST(ListingParserTest, VmsLines)
{
    CheckRows({
        {"vms file",
         "FOO.TXT;3           12/16      16-DEC-2003 10:11:12  [GROUP,OWNER]",
         kSystemVms,
         0,
         true,
         {"FOO.TXT", "", "12/16", "", 1}},
        {"vms multinet", "BAR.DIR;1   1  12-JAN-2004", kSystemVmsMultiNet, 0, true, {"BAR.DIR", "", "1", "", 1}},
        {"vms name wraps to next line",
         "VERY_LONG_FILE_NAME.DAT;12",
         kSystemVms,
         0,
         true,
         {"VERY_LONG_FILE_NAME.DAT", "", "", "", 1}},
        {"vms blank before size is no version",
         "README.TXT 5 16-DEC-2003",
         kSystemVms,
         0,
         true,
         {"README.TXT", "", "5", "", 1}},
        {"vms line without blanks",
         std::string(4096, 'V'),
         kSystemVms,
         0,
         true,
         {std::string(4096, 'V'), "", "", "", 1}},
        {"vms header", "Directory DISK$USER:[ANNA]", kSystemVms, 0, false, {}},
        {"vms continuation", "                    15/16  16-DEC-2003", kSystemVms, 0, false, {}},
        {"vms trailer", "Total of 3 files, 28/32 blocks.", kSystemVmsMultiNet, 0, false, {}},
    });
}

TEST(ListingParserTest, WholeListingThroughOneRecord)
{
    std::vector<std::string> lines;
    std::istringstream listing(TestData("listings/unix_odd_lines.txt"));
    for (std::string line; std::getline(listing, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u);
    const int columns = CountLineColumns(lines[1] + "\n");
    ASSERT_EQ(columns, 9);
    const std::vector<CDirEntry> expected = {
        {"docs", "4096", "Mar  5 12:30", "drwxr-xr-x", 0},
        {"up -> ..", "4", "Apr 10  2023", "lrwxrwxrwx", 0},
        {"", "99", "", "-rw-r--r--", 1},
        {"a b", "17", "Apr 10  2023", "-rw-r--r--", 1},
    };
    std::vector<CDirEntry> accepted;
    CDirEntry entry;
    for (const std::string& line : lines) {
        if (ParseListingLine(line, kSystemUnix, columns, entry))
            accepted.push_back(entry);
    }
    ASSERT_EQ(accepted.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        ExpectSameEntry(accepted[i], expected[i]);
    }
}

TEST(ListingParserTest, ColumnCounts)
{
    const std::string withGroup = "drwxr-xr-x   2 owner group 512 Mar  5 12:30 docs";
    EXPECT_EQ(CountLineColumns(withGroup + "\n"), 9);
    EXPECT_EQ(CountLineColumns(withGroup), 9);
    EXPECT_EQ(CountLineColumns(withGroup + "  \n"), 9);
    EXPECT_EQ(CountLineColumns(" " + withGroup + "\n"), 10);
    EXPECT_EQ(CountLineColumns("-rw-r--r-- 1 o 7 Mar  5 12:30 my file\n"), 9);
    EXPECT_EQ(CountLineColumns(""), 0);
    EXPECT_EQ(CountLineColumns("a\tb c\0d  \n"s), 2);
    EXPECT_EQ(CountLineColumns("ab cd   "), 2);
    // A one-character last word counts whether or not the line feed is still there.
    EXPECT_EQ(CountLineColumns("a b c\n"), 3);
    EXPECT_EQ(CountLineColumns("a b c"), 3);
}

}  // namespace

namespace {

// RFC 3659's own MLSD lines, then lines no server should send.
TEST(MlsdParserTest, FactsBecomeTheRowsOfTheListing)
{
    struct Case {
        std::string line;
        std::optional<CDirEntry> expected;  // nothing: the line shows no entry
        std::optional<std::time_t> modified = std::nullopt;
    };
    const Case cases[] = {
        {"Type=cdir;Perm=el;Unique=keVO1+ZF4; test", std::nullopt},
        {"Type=pdir;Perm=e;Unique=keVO1+d?3; ..", std::nullopt},
        {"Type=OS.unix=slink:/foobar;Perm=;Unique=keVO1+4G4; foobar", CDirEntry{"foobar -> /foobar", "", "", "l", 0}},
        {"Type=OS.unix=chr-13/29;Perm=;Unique=keVO1+5G4; device", CDirEntry{"device", "", "", "-", 1}},
        {"Type=file;Perm=awr;Unique=keVO1+8G4; writable", CDirEntry{"writable", "", "", "- awr", 1}},
        {"Type=dir;Perm=cpmel;Unique=keVO1+7G4; promiscuous", CDirEntry{"promiscuous", "", "", "d cpmel", 0}},
        {"Type=file;Perm=r;Unique=keVO1+EG4; two words", CDirEntry{"two words", "", "", "- r", 1}},
        {"Type=file;Perm=r;Unique=keVO1+IH4;  leading space", CDirEntry{" leading space", "", "", "- r", 1}},
        {"Type=file;Size=1830;Modify=19940916055648;Perm=r; hatch", CDirEntry{"hatch", "1830", "", "- r", 1},
         779695008},
        // pure-ftpd and proftpd: unix.mode, a link without its target, fractions of a second.
        {"type=OS.unix=symlink;modify=20261201120000.123;UNIX.mode=0777; latest",
         CDirEntry{"latest", "", "", "lrwxrwxrwx", 0}, 1796126400},
        {"type=dir;UNIX.mode=0755;unknown.fact=x=y; a;b=c", CDirEntry{"a;b=c", "", "", "drwxr-xr-x", 0}},
        // Bad input: no facts, no name, a name that leaves the directory, impossible values.
        {" no facts", std::nullopt},
        {"type=file;", std::nullopt},
        {"type=file;size=1; ", std::nullopt},
        {"type=file; ../up", std::nullopt},
        {"type=file; a/b", std::nullopt},
        {"type=file;noequals; x", std::nullopt},
        {"size=1; no type", std::nullopt},
        {"type=file;size=1000000000000000000000000000000;modify=20261301120000;unix.mode=9999; odd",
         CDirEntry{"odd", "", "", "-", 1}},
        {"type=file;modify=20260231120000; february", CDirEntry{"february", "", "", "-", 1}},
    };
    for (const Case& c : cases) {
        const std::optional<CDirEntry> parsed = ParseMlsdLine(c.line);
        ASSERT_EQ(parsed.has_value(), c.expected.has_value()) << c.line;
        if (!parsed)
            continue;
        ExpectSameEntry(*parsed, *c.expected);
        EXPECT_EQ(parsed->modifiedTime, c.modified) << c.line;
    }
}

// A whole time is shown in the user's zone with its year, a listed text as the server wrote it.
TEST(MlsdParserTest, WholeTimesAreShownInLocalTimeAndInUtc)
{
    const std::string zone = std::getenv("TZ") ? std::getenv("TZ") : "";
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    const CDirEntry mlsd = *ParseMlsdLine("type=file;modify=20261201120000; noon");
    const CDirEntry list{"noon", "1", "Dec  1 21:00", "-rw-r--r--", 1};
    EXPECT_EQ(ModifiedText(mlsd), "2026-12-01 21:00");
    EXPECT_EQ(ModifiedUtcText(mlsd), "2026-12-01 12:00:00 UTC");
    EXPECT_EQ(ModifiedText(list), "Dec  1 21:00");
    EXPECT_EQ(ModifiedUtcText(list), "");
    zone.empty() ? ::unsetenv("TZ") : ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
}

}  // namespace
