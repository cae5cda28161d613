// SPDX-License-Identifier: GPL-3.0-or-later
// Passive data connections and the choice between active and passive mode, against the scripted
// server: the commands sent, where the data connection goes, the fall-backs, and the waits.

#include "support/stalled_listener.h"
#include "support/transfer_fixture.h"

namespace {

class PassiveModeTest : public TransferFixture {
protected:
    std::vector<std::string> LocalNames() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(local.path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(PassiveModeTest, PassiveTransfersUseEpsvAndKeepTheCopyRulesOfActiveOnes)
{
    settings.passiveMode = kPassiveMode;
    const std::string bytes = RandomBytes(300000);
    const std::string announced = "150 Opening BINARY mode data connection for f.bin (300000 bytes)\r\n";
    server.ServeFile("f.bin", bytes, announced);

    EXPECT_EQ(session.RetrieveFile("f.bin", fs::path(local.path) / "f.bin"), kCompletion);
    EXPECT_TRUE(ReadFile(fs::path(local.path) / "f.bin") == bytes);
    EXPECT_EQ(session.operations.TransferProgress().total, 300000);
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "data connection to 127.0.0.1 port"));
    EXPECT_FALSE(LogHas(log, "Passive mode:")) << "only automatic mode explains its choice";
    EXPECT_FALSE(LogHas(log, "listen"));

    const std::string listing = "-rw-r--r--   1 anna     staff          4 Jan 11  2021 f\r\n";
    server.ServeListing(listing);
    EXPECT_EQ(session.ReceiveToFile("LIST", session.listingFile), kCompletion);
    EXPECT_EQ(ReadFile(session.listingFile), listing);
    WriteFile(fs::path(local.path) / "up.bin", bytes);
    EXPECT_EQ(session.StoreFile("up.bin", fs::path(local.path) / "up.bin"), kCompletion);
    EXPECT_TRUE(server.Stored()["/up.bin"] == bytes);
    EXPECT_TRUE(SessionIdle());

    // A download the server cuts short is not kept, in passive mode as in active mode.
    server.ServeFile("f.bin", RandomBytes(1000), announced);
    EXPECT_EQ(session.RetrieveFile("f.bin", fs::path(local.path) / "short.bin"), kPermanentNegative);
    EXPECT_EQ(LocalNames(), (std::vector<std::string>{"f.bin", "listing", "up.bin"}));
    EXPECT_EQ(TranscriptAfterLogin(),
              (std::vector<std::string>{"TYPE I", "EPSV", "RETR f.bin", "TYPE A", "EPSV", "LIST", "TYPE I", "EPSV",
                                        "STOR up.bin", "EPSV", "RETR f.bin"}));
}

TEST_F(PassiveModeTest, ARefusedEpsvIsFollowedByPasvForTheRestOfTheSession)
{
    settings.passiveMode = kPassiveMode;
    server.Reply("EPSV", "500 EPSV not understood\r\n");
    server.ServeFile("f", "data");
    const std::string listing = "-rw-r--r--   1 anna     staff          4 Jan 11  2021 f\r\n";
    server.ServeListing(listing);

    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    EXPECT_EQ(session.ReceiveToFile("LIST", session.listingFile), kCompletion);
    EXPECT_EQ(ReadFile(session.listingFile), listing);
    // The server named its own address: nothing to say about it.
    EXPECT_FALSE(LogHas(TakeLog(), "Ignoring the address"));

    // A new connection may go to another server: EPSV is tried again.
    session.Quit();
    ASSERT_NE(session.Connect(), kConnectFailed);
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    EXPECT_EQ(
        TranscriptAfterLogin(),
        (std::vector<std::string>{"TYPE I", "EPSV", "PASV", "RETR f", "TYPE A", "PASV", "LIST", "quit", "USER anna",
                                  "PASS secret", "SYST", "FEAT", "TYPE I", "EPSV", "PASV", "RETR f"}));
}

TEST_F(PassiveModeTest, TheAddressInAPasvReplyIsIgnoredForTheControlConnectionsPeer)
{
    settings.passiveMode = kPassiveMode;
    server.Reply("EPSV", "502 Command not implemented\r\n");
    server.AnnouncePassiveAddress("10.9.8.7");  // a server behind a router announces its private address
    server.ServeFile("f", "the data");
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    EXPECT_EQ(ReadFile(fs::path(local.path) / "f"), "the data");
    EXPECT_TRUE(
        LogHas(TakeLog(), "Ignoring the address 10.9.8.7 in the PASV reply: the data connection goes to 127.0.0.1."));
}

TEST_F(PassiveModeTest, AutomaticModeKeepsPortOnLoopbackAndSwitchesWhenAModeIsRefused)
{
    server.ServeFile("f", "data");
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    auto log = TakeLog();
    EXPECT_EQ(
        std::count_if(log.begin(), log.end(), [](const std::string& line) { return line.starts_with("Active mode"); }),
        1);
    EXPECT_TRUE(LogHas(log, "Active mode: this computer's address 127.0.0.1 is not private."));

    // A server that will not connect to us: passive at once, and for the rest of the session.
    server.Reply("PORT", "500 Illegal PORT command.\r\n");
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    EXPECT_TRUE(LogHas(TakeLog(), "Passive mode: the server refused PORT."));
    WriteFile(fs::path(local.path) / "up", "up");
    EXPECT_EQ(session.StoreFile("up", fs::path(local.path) / "up"), kCompletion);

    // A server that refuses passive mode: active again.
    server.ReplyFromNowOn("PORT", "200 PORT command successful\r\n");
    server.Reply("EPSV", "500 Unknown command\r\n");
    server.Reply("PASV", "500 Unknown command\r\n");
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    EXPECT_TRUE(LogHas(TakeLog(), "Active mode: the server refused passive mode."));

    // Every mode refused: the log says why the transfer failed.
    server.ReplyFromNowOn("PORT", "500 Illegal PORT command.\r\n");
    EXPECT_NE(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    EXPECT_TRUE(
        LogHas(TakeLog(), "The server refused both active and passive mode: no data connection can be opened."));

    // Active mode chosen in the settings never tries passive mode, refused PORT or not; a download
    // goes on to let the server's answer decide, an upload stops before STOR empties the remote file.
    settings.passiveMode = kActiveMode;
    server.ReplyFromNowOn("PORT", "500 Illegal PORT command.\r\n");
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    EXPECT_TRUE(LogHas(TakeLog(), "remote host not responding to port command."));
    EXPECT_EQ(session.StoreFile("up", fs::path(local.path) / "up"), kPermanentNegative);
    EXPECT_TRUE(session.transferAborted);
    EXPECT_TRUE(SessionIdle());
    EXPECT_EQ(TranscriptAfterLogin(),
              (std::vector<std::string>{"TYPE I", kPortLine, "RETR f", kPortLine, "RETR f",  // PORT accepted
                                        kPortLine, "EPSV", "RETR f", "EPSV", "STOR up",      // PORT refused
                                        "EPSV", "PASV", kPortLine, "RETR f",                 // passive refused
                                        kPortLine, "PASV",                                   // both refused
                                        kPortLine, "RETR f", kPortLine}));                   // active only
}

TEST_F(PassiveModeTest, APassiveConnectionThatCannotBeMadeFailsTheTransferAndSendsNoDataCommand)
{
    settings.passiveMode = kPassiveMode;
    int closedPort = 0;
    {
        const ScriptedFtpServer gone;  // a port that nothing listens on once it is gone
        closedPort = gone.Port();
    }
    server.Reply("EPSV", "229 Entering Extended Passive Mode (|||" + std::to_string(closedPort) + "|)\r\n");
    server.ServeFile("f", "data");
    WriteFile(fs::path(local.path) / "keep", "the file that was here");
    WriteFile(fs::path(local.path) / "up", "up");

    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "keep"), kTransferNotStarted);
    EXPECT_EQ(session.StoreFile("up", fs::path(local.path) / "up"), kPermanentNegative);
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Can't open the data connection to 127.0.0.1 port " + std::to_string(closedPort) + "."));
    EXPECT_TRUE(LogHas(log, "The server refused the connection."));
    EXPECT_EQ(ReadFile(fs::path(local.path) / "keep"), "the file that was here");
    EXPECT_EQ(LocalNames(), (std::vector<std::string>{"keep", "up"}));
    EXPECT_TRUE(SessionIdle());
    server.Reply("NOOP", "200 NOOP ok\r\n");
    EXPECT_EQ(session.control->Command("NOOP"), kCompletion);  // the session goes on
    EXPECT_EQ(TranscriptAfterLogin(), (std::vector<std::string>{"TYPE I", "EPSV", "EPSV", "NOOP"}));
}

TEST_F(PassiveModeTest, APassiveConnectThatHangsEndsAtTheTimeOutOrAtOnceOnCancel)
{
    settings.passiveMode = kPassiveMode;
    const StalledListener stalled;
    ASSERT_NE(stalled.Port(), 0);
    server.Reply("EPSV", "229 Entering Extended Passive Mode (|||" + std::to_string(stalled.Port()) + "|)\r\n");
    server.ServeFile("f", "data");

    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kTransferNotStarted);
    EXPECT_TRUE(LogHas(TakeLog(), "Connection timed out, try connecting again."));
    EXPECT_TRUE(fs::is_empty(local.path));

    session.Quit();
    ASSERT_NE(session.Connect(), kConnectFailed);
    settings.retryMilliseconds = 0;
    settings.retry = 0;  // nothing but the cancel ends the wait now
    std::chrono::steady_clock::time_point cancelled;
    host.cancelWhen = [&](OperationRunner&) {
        if (server.Commands().back() != "EPSV")
            return false;
        std::this_thread::sleep_for(50ms);  // the reply has come, the connect is under way
        cancelled = std::chrono::steady_clock::now();
        return true;
    };
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kTransferCancelled);
    const auto latency =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - cancelled);
    RecordProperty("cancel_latency_us", static_cast<int>(latency.count()));
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Can't open the data connection to 127.0.0.1"));
    EXPECT_TRUE(LogHas(log, "Cancelled."));
    EXPECT_TRUE(fs::is_empty(local.path));
    EXPECT_TRUE(SessionIdle());
}

}  // namespace
