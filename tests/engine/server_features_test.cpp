// SPDX-License-Identifier: GPL-3.0-or-later
// What FEAT offers and what the session does with it: MLSD listings and their fallback to LIST,
// the times of uploads, SIZE only in binary type, against the scripted server.

#include "ftp/internal/protocol_rules.h"
#include "remote/local_names.h"
#include "support/transfer_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace {

using Offered = std::tuple<bool, bool, bool, bool, bool>;

Offered Fields(const ServerFeatures& f)
{
    return {f.mlsd, f.mdtm, f.mfmt, f.siteUtime, f.utf8};
}

TEST(ServerFeaturesTest, FeatRepliesSayWhatTheServerOffers)
{
    struct Case {
        std::vector<std::string> lines;
        Offered offered;  // MLSD, MDTM, MFMT, SITE UTIME, UTF8
    };
    const Case cases[] = {
        {{"211-Features supported:", " EPRT", " MDTM", " MFMT", " MLST type*;perm*;size*;modify*;", " UTF8",
          "211 End FEAT."},
         {true, true, true, false, true}},
        {{"211-Extensions supported:", " utf8", " mlst type*;", " site utime ", "211 End."},
         {true, false, false, true, true}},
        // Only lines after a space are features: the first and last lines name none.
        {{"211-MLST MFMT", " SIZE", " SITE CHMOD", " MFMTX", "211 MDTM"}, {false, false, false, false, false}},
        {{}, {false, false, false, false, false}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Fields(FeaturesFromReply(c.lines)), c.offered) << testing::PrintToString(c.lines);
}

class ListingFormTest : public TransferFixture {
protected:
    // Logs in anew to a server whose FEAT answers `feat`.
    void LogInOffering(const std::string& feat)
    {
        server.ReplyFromNowOn("FEAT", feat);
        session.Quit();
        ASSERT_NE(session.Connect(), kConnectFailed);
        TakeLog();
        before = server.Commands().size();
    }
    // The rows of the current directory, read as the view reads them.
    std::vector<std::string> Listed()
    {
        std::vector<std::string> rows;
        CListingReader reader(session);
        CDirEntry e;
        for (ListingStep step = reader.OpenListing(e); step == ListingStep::Entry; step = reader.NextListingEntry(e))
            rows.push_back(e.permissions + " " + e.size + " " + std::to_string(e.modifiedTime.value_or(0)) + " "
                           + e.name);
        return rows;
    }
    std::vector<std::string> Sent() const { return Transcript(server, before); }
    static long LinesWith(const std::string& part)
    {
        const auto log = TakeLog();
        return std::count_if(log.begin(), log.end(), [&](const std::string& l) { return l.find(part) != l.npos; });
    }

    std::size_t before = 0;
};

TEST_F(ListingFormTest, MlsdIsUsedWhenOfferedAndAllowedAndLeftForGoodWhenRefused)
{
    server.ServeListing("type=cdir;modify=20261201120000; /pub\r\n"
                        "type=pdir;modify=20261201120000; ..\r\n"
                        "type=file;size=3;modify=20261201120000;UNIX.mode=0644; a.txt\r\n"
                        "type=dir;modify=20261130000000;UNIX.mode=0755; Permission denied\r\n"
                        "type=OS.unix=slink:/srv;perm=el; srv\r\n"
                        "type=file;size=1; ../escape\r\n");
    server.Reply("OPTS", "504 Unknown command\r\n");  // names go out as they are: nothing changes
    LogInOffering("211-Extensions:\r\n UTF8\r\n MLST type*;size*;modify*;\r\n211 End.\r\n");
    EXPECT_EQ(Transcript(server, before - 2), (std::vector<std::string>{"FEAT", "OPTS UTF8 ON"}));
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{"-rw-r--r-- 3 1796126400 a.txt", "drwxr-xr-x  1795996800 Permission denied",
                                        "l el  0 srv -> /srv"}));
    settings.useMlsd = false;
    Listed();
    settings.useMlsd = true;
    server.Reply("MLSD", "550 Permission denied\r\n");  // this directory, not MLSD
    server.Reply("MLSD", "500 Unknown command\r\n");
    Listed();
    Listed();
    EXPECT_FALSE(session.features.mlsd);
    Listed();
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{"TYPE A", kPortLine, "MLSD", kPortLine, "LIST", kPortLine, "MLSD", kPortLine,
                                        "MLSD", kPortLine, "LIST", kPortLine, "LIST"}));
    EXPECT_EQ(LinesWith("refused it"), 1);
}

TEST_F(ListingFormTest, UploadsSetTheServersTimeTheWayItOffersOrSayOnceThatItCannot)
{
    const fs::path file = fs::path(local.path) / "up";
    WriteFile(file, "data");
    const timespec times[2] = {{0, UTIME_OMIT}, {1796126400, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    server.Reply("MFMT", "213 Modify=20261201120000; up\r\n");
    server.Reply("SITE", "200 UTIME OK\r\n");
    const std::string stamp = "20261201120000";
    const struct {
        std::string features;
        bool keep;
        std::string after;  // what follows each STOR; empty: nothing
    } cases[] = {{" MFMT\r\n SITE UTIME", true, "MFMT " + stamp + " up"},
                 {" SITE UTIME", true, "SITE UTIME up " + stamp + " " + stamp + " " + stamp + " UTC"},
                 {" SIZE", true, ""},
                 {" MFMT", false, ""}};
    for (const auto& c : cases) {
        settings.keepTimes = c.keep;
        LogInOffering("211-Features:\r\n" + c.features + "\r\n211 End\r\n");
        ASSERT_EQ(session.StoreFile("up", file), kCompletion);
        ASSERT_EQ(session.StoreFile("up", file), kCompletion);
        std::vector<std::string> once = {"TYPE I", kPortLine, "STOR up"};
        if (!c.after.empty())
            once.push_back(c.after);
        std::vector<std::string> twice = once;
        twice.insert(twice.end(), once.begin() + 1, once.end());
        EXPECT_EQ(Sent(), twice) << c.features;
        EXPECT_EQ(LinesWith("cannot set modification"), c.keep && c.after.empty() ? 1 : 0) << c.features;
    }
}

// MLSD that names no link target ("OS.unix=slink:", as pure-ftpd lists links) leaves a copy
// nothing to follow: LIST names it, and the rest keeps what MLSD said.
TEST_F(ListingFormTest, ACopyListsWithListWhereMlsdNamesNoLinkTarget)
{
    server.ServeListing("lrwxrwxrwx 1 u g 6 Dec 10 16:23 linkdir -> folder\r\n");
    OnDataCommand("MLSD", [](Control& control) {
        if (!control.OpenData())
            return;
        control.DataSend("type=OS.unix=slink:;size=6; linkdir\r\ntype=file;modify=20261201120000; f\r\n");
        control.CloseData();
        control.SendLine("226 Done");
    });
    LogInOffering("211-Features:\r\n MLST type*;\r\n211 End\r\n");
    std::vector<CDirEntry> entries;
    ASSERT_TRUE(ListCurrentDirectory(session, entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, "linkdir -> folder");
    EXPECT_EQ(entries[1].modifiedTime, 1796126400);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"TYPE A", kPortLine, "MLSD", kPortLine, "LIST"}));
    EXPECT_TRUE(session.features.mlsd);  // the next listing is MLSD again
}

TEST_F(ListingFormTest, SizeIsAskedOnlyInBinaryType)
{
    server.ServeFile("f.bin", "0123456789");
    const fs::path target = fs::path(local.path) / "f.bin";
    WriteFile(PartialDownloadPath(target.string()), "01234");
    server.ReplyFromNowOn("TYPE", "504 Not now\r\n");
    before = server.Commands().size();
    EXPECT_EQ(session.RetrieveFile("f.bin", target, {}, TransferStart::Resume), kCompletion);
    EXPECT_EQ(ReadFile(target), "0123456789");
    EXPECT_EQ(Sent(), (std::vector<std::string>{"TYPE I", kPortLine, "RETR f.bin"}));
}

}  // namespace
