// SPDX-License-Identifier: GPL-3.0-or-later
// Faults a server can inflict: connections that drop at every stage, silence, short data, huge
// listings and hostile names. Each time: no crash, the log says what happened, no local file
// outside the target and no earlier local file is lost, and the session connects again.

#include "support/transfer_fixture.h"

#include <sys/stat.h>

namespace {

class FaultInjectionTest : public TransferFixture {
protected:
    // The session connects again and transfers a file.
    void ExpectSessionRecovers()
    {
        server.OnCommand(nullptr);
        server.SetFaults({});
        server.ServeFile("after", "fine");
        session.Quit();
        ASSERT_NE(session.Connect(), kConnectFailed);
        EXPECT_EQ(session.RetrieveFile("after", fs::path(local.path) / "after"), kCompletion);
        EXPECT_EQ(ReadFile(fs::path(local.path) / "after"), "fine");
        fs::remove(fs::path(local.path) / "after");
    }

    // Only the expected files are in the local directory: nothing half-written is left.
    void ExpectLocalFiles(std::vector<std::string> expected)
    {
        std::vector<std::string> found;
        for (const auto& entry : fs::recursive_directory_iterator(local.path))
            found.push_back(fs::relative(entry.path(), local.path).string());
        std::sort(found.begin(), found.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected);
    }
};

TEST_F(FaultInjectionTest, ConnectionsDroppedDuringTheGreetingOrAReply)
{
    EngineSettings otherSettings;
    otherSettings.retry = 20;
    for (const char* sent : {"220-Welcome, and then", "220 Ready\r\n"}) {
        ScriptedFtpServer dropping("");
        const std::string greeting = sent;
        dropping.OnAccept([greeting](Control& control) {
            control.Send(greeting);
            if (greeting.find("\r\n") == std::string::npos)
                control.Close();
        });
        dropping.OnCommand([](const std::string&, Control& control) {
            control.Send("331-Password, but");
            control.Close();
        });
        CFtpSession other(otherSettings);
        other.hostName = "127.0.0.1:" + std::to_string(dropping.Port());
        other.userName = "anna";
        EXPECT_EQ(other.Connect(), kConnectFailed);
        EXPECT_EQ(other.control->socket, -1);
        EXPECT_FALSE(other.connected);
        EXPECT_TRUE(LogHas(TakeLog(), "Connection closed by the server."));
    }
    ExpectSessionRecovers();
}

TEST_F(FaultInjectionTest, ControlConnectionDroppedDuringADownloadKeepsTheEarlierFile)
{
    const fs::path target = fs::path(local.path) / "f";
    WriteFile(target, "earlier");
    OnDataCommand("RETR f", [](Control& control) {
        if (!control.OpenData())
            return;
        control.DataSend(std::string(5000, 'a'));
        control.Close();  // the control connection goes first, the data follows and ends
        control.DataSend(std::string(5000, 'b'));
        control.CloseData();
    });
    EXPECT_EQ(session.RetrieveFile("f", target), kInterrupted);
    EXPECT_EQ(ReadFile(target), "earlier");
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Connection closed by the server."));
    EXPECT_TRUE(LogHas(log, "Deleted partially downloaded file"));
    ExpectLocalFiles({"f"});
    ExpectSessionRecovers();
}

TEST_F(FaultInjectionTest, ControlConnectionDroppedDuringAnUpload)
{
    const fs::path big = BigLocalFile(256 << 20);
    OnDataCommand("STOR big", [](Control& control) {
        if (!control.OpenData())
            return;
        control.Pause(50ms);
        control.CloseData();
        control.Close();
    });
    const int result = session.StoreFile("big", big);
    EXPECT_NE(result, kCompletion);
    EXPECT_NE(result, kTransferCancelled);
    EXPECT_TRUE(LogHas(TakeLog(), "Error on Transfer, aborted"));
    EXPECT_EQ(fs::file_size(big), std::size_t(256) << 20);  // the local file is untouched
    ExpectSessionRecovers();
}

TEST_F(FaultInjectionTest, ControlConnectionDroppedDuringADirectoryDownload)
{
    server.ServeListing("-rw-r--r--   1 anna     staff       5 Mar  5 12:30 one\r\n"
                        "-rw-r--r--   1 anna     staff       5 Mar  5 12:30 two\r\n"
                        "-rw-r--r--   1 anna     staff       5 Mar  5 12:30 three\r\n");
    server.ServeFile("one", "first");
    server.ServeFile("three", "never");
    // The second file's RETR loses the control connection.
    OnDataCommand("RETR two", [](Control& control) { control.Close(); });
    EXPECT_FALSE(DownloadDirectory(remote, "tree", fs::path(local.path) / "copy"));
    ExpectLocalFiles({"copy", "copy/one"});
    EXPECT_TRUE(LogHas(TakeLog(), "Connection closed by the server."));
    ExpectSessionRecovers();
}

TEST_F(FaultInjectionTest, ADataConnectionThatStaysSilentEndsAtTheTimeOut)
{
    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    const fs::path target = fs::path(local.path) / "f";
    WriteFile(target, "earlier");
    server.ServeFile("f", "x");
    server.SetFaults({.dataPause = 3s});
    EXPECT_EQ(session.RetrieveFile("f", target), kInterrupted);
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Recv: Connection timed out, try connecting again."));
    EXPECT_TRUE(LogHas(log, "Deleted partially downloaded file"));
    EXPECT_EQ(ReadFile(target), "earlier");
    settings.retryMilliseconds = 0;
    ExpectSessionRecovers();
}

// A late reply would pass for the answer to the next command: after a time-out the session has
// ended, and a put over an existing remote file sends neither TYPE nor PORT nor STOR.
TEST_F(FaultInjectionTest, AfterATimeOutNothingMoreIsSent)
{
    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    const fs::path file = fs::path(local.path) / "f";
    WriteFile(file, "local");
    server.ServeFile("f", "x");
    struct Case {
        const char* name;
        ScriptedFtpServer::Faults faults;
        std::function<void()> timesOut;
    };
    for (const Case& c : {Case{"a reply after login",
                               {.command = "SYST", .pauseBeforeReply = 3s},
                               [this] {
                                   session.Quit();
                                   EXPECT_EQ(session.Connect(), kConnectFailed);
                               }},
                          Case{"the data of a download", {.dataPause = 3s}, [this, &file] {
                                   EXPECT_EQ(session.RetrieveFile("f", file), kInterrupted);
                               }}}) {
        SCOPED_TRACE(c.name);
        server.SetFaults(c.faults);
        c.timesOut();
        const std::size_t sent = server.Commands().size();
        EXPECT_FALSE(session.connected);
        EXPECT_NE(session.StoreFile("f", file), kCompletion);
        EXPECT_NE(session.DeleteFile("f"), kCompletion);
        EXPECT_EQ(server.Commands().size(), sent);
        server.SetFaults({});
        ASSERT_NE(session.Connect(), kConnectFailed);
    }
    EXPECT_EQ(ReadFile(file), "local");
}

TEST_F(FaultInjectionTest, FewerBytesThanThe150ReplyAnnouncedIsAFailure)
{
    const fs::path target = fs::path(local.path) / "f";
    WriteFile(target, "earlier");
    server.ServeFile("f", std::string(1000, 'z'), "150 Opening BINARY mode data connection for f (2000 bytes)\r\n");
    EXPECT_EQ(session.RetrieveFile("f", target), kPermanentNegative);
    EXPECT_TRUE(LogHas(TakeLog(), "Received 1000 of the 2000 bytes announced: the file is incomplete."));
    EXPECT_EQ(ReadFile(target), "earlier");
    ExpectLocalFiles({"f"});
}

TEST_F(FaultInjectionTest, AListingOf200000LinesIsReadWhole)
{
    std::string listing = "total 200000\r\n";
    listing.reserve(13'000'000);
    for (int i = 0; i < 200000; ++i)
        listing += "-rw-r--r--   1 anna     staff       5 Mar  5 12:30 file" + std::to_string(i) + "\r\n";
    server.ServeListing(listing);
    CListingReader reader(session);
    CDirEntry entry;
    int entries = 0;
    for (ListingStep step = reader.OpenListing(entry); step == ListingStep::Entry;
         step = reader.NextListingEntry(entry))
        ++entries;
    EXPECT_EQ(entries, 200000);
    EXPECT_EQ(entry.name, "file199999");
}

TEST_F(FaultInjectionTest, HostileNamesNeverLeaveTheTarget)
{
    const std::string longName(4000, 'L');
    const std::string invalidUtf8 = "caf\xe9\xff.txt";
    const std::string line = "-rw-r--r--   1 anna     staff       4 Mar  5 12:30 ";
    server.ServeListing(line + "ok.txt\r\n" + line + "../up\r\n" + line + "/etc/passwd-copy\r\n" + line + "a/b\r\n"
                        + line + std::string("nul\0name", 8) + "\r\n" + line + "cr\rname\r\n" + line + longName + "\r\n"
                        + line + invalidUtf8 + "\r\n" + "drwxr-xr-x   2 anna     staff     512 Mar  5 12:30 ..\r\n");
    for (const std::string& name : {std::string("ok.txt"), std::string("../up"), std::string("/etc/passwd-copy"),
                                    std::string("a/b"), std::string("cr\rname"), longName, invalidUtf8})
        server.ServeFile(name, "data");

    EXPECT_FALSE(DownloadDirectory(remote, "hostile", fs::path(local.path) / "copy"));
    ExpectLocalFiles({"copy", "copy/ok.txt", "copy/" + invalidUtf8});
    EXPECT_FALSE(fs::exists("/etc/passwd-copy"));
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Skipped unsafe name ../up"));
    EXPECT_TRUE(LogHas(log, "Skipped unsafe name a/b"));
    EXPECT_TRUE(LogHas(log, "Refused command containing a line break"));  // the name with a CR
    EXPECT_TRUE(LogHas(log, "Failed to create file"));                    // 4000 bytes is no file name here
    ExpectSessionRecovers();
}

}  // namespace
