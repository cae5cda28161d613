// SPDX-License-Identifier: GPL-3.0-or-later
// Files tried again after a failure that may pass, on a new connection and going on from what came
// through, and resumed downloads' partial files, against the scripted server.

#include "copies/file_retries.h"
#include "remote/local_names.h"
#include "support/transfer_fixture.h"

namespace {

using Pauses = std::vector<std::chrono::milliseconds>;

class FileRetriesTest : public TransferFixture {
protected:
    // Copies `name` in "/" with `retries`; the pauses asked for are noted, none is waited.
    int Copy(FileDirection direction, const std::string& name, int retries, bool keepPartial = false)
    {
        const auto pause = [this](std::chrono::milliseconds delay) {
            pauses.push_back(delay);
            return !cancelInPause;
        };
        return CopyFileWithRetries(remote, {direction, "/", name, Local(name)}, {retries, keepPartial, pause});
    }
    std::string Local(const std::string& name) const { return (fs::path(local.path) / name).string(); }

    Pauses pauses;
    bool cancelInPause = false;
};

TEST_F(FileRetriesTest, ADownloadCutHalfwayGoesOnFromItsPartialFileOnANewConnection)
{
    const std::string bytes = RandomBytes(200000);
    server.ServeFile("f.bin", bytes);
    server.SetFaults({.command = "RETR f.bin", .failDataAfter = 100000, .once = true});
    EXPECT_EQ(Copy(FileDirection::Download, "f.bin", 3), kCompletion);
    EXPECT_EQ(ReadFile(Local("f.bin")), bytes);
    EXPECT_FALSE(fs::exists(PartialDownloadPath(Local("f.bin"))));
    EXPECT_EQ(pauses, Pauses{1s});
    EXPECT_EQ(
        TranscriptAfterLogin(),
        (std::vector<std::string>{"TYPE I", kPortLine, "RETR f.bin", "quit", "USER anna", "PASS secret", "SYST", "FEAT",
                                  "CWD /", "TYPE I", "SIZE f.bin", kPortLine, "REST 100000", "RETR f.bin"}));
    EXPECT_TRUE(LogHas(TakeLog(), "Trying f.bin again in 1 s (try 2 of 4), from byte 100000: 426 "));
}

TEST_F(FileRetriesTest, AnUploadCutHalfwayGoesOnFromWhatTheServerHolds)
{
    const std::string bytes = RandomBytes(300000);
    WriteFile(Local("up.bin"), bytes);
    for (const char* resumedBy : {"STOR up.bin", "APPE up.bin"}) {
        if (resumedBy[0] == 'A')
            server.ReplyFromNowOn("REST", "502 Command not implemented.\r\n");
        server.SetFaults({.command = "STOR up.bin", .failDataAfter = 100000, .once = true});
        EXPECT_EQ(Copy(FileDirection::Upload, "up.bin", 1), kCompletion);
        EXPECT_EQ(server.Stored()["/up.bin"], bytes);
        EXPECT_EQ(Transcript(server, server.Commands().size() - 5),
                  (std::vector<std::string>{"SIZE up.bin", kPortLine, "REST 100000", resumedBy, "SIZE up.bin"}));
    }
}

TEST_F(FileRetriesTest, RefusalsAndCancelsAreNotTriedAgain)
{
    server.ServeFile("f.bin", RandomBytes(1000));
    EXPECT_EQ(Copy(FileDirection::Download, "missing", 3), kTransferNotStarted);  // 550
    server.SetFaults({.command = "RETR f.bin", .failDataAfter = 500});
    cancelInPause = true;
    EXPECT_EQ(Copy(FileDirection::Download, "f.bin", 3), kTransferCancelled);
    cancelInPause = false;
    server.ReplyFromNowOn("PASS", "530 Login incorrect.\r\n");
    EXPECT_EQ(Copy(FileDirection::Download, "f.bin", 3), kConnectFailed);  // the new connection's login
    EXPECT_EQ(pauses, (Pauses{1s, 1s}));
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_TRUE(fs::is_empty(local.path)) << "a partial file was left";
}

// A front end that must not block pauses on the session's worker; its cancel ends the pause at once.
TEST_F(FileRetriesTest, APauseOnTheSessionsWorkerEndsWithACancel)
{
    EXPECT_TRUE(PauseInBackground(remote, 10ms));
    host.cancelWhen = [](OperationRunner&) { return true; };
    EXPECT_FALSE(PauseInBackground(remote, 1h));
    host.cancelWhen = nullptr;
    EXPECT_TRUE(PauseInBackground(remote, 10ms));  // the cancel was cleared
}

// What the partial file holds is used only where the server agrees, and only when it is a file.
TEST_F(FileRetriesTest, AResumedDownloadStartsOverWhenItsPartialFileCannotBeContinued)
{
    const std::string bytes = RandomBytes(10000);
    server.ServeFile("f.bin", bytes);
    const std::string partial = PartialDownloadPath(Local("f.bin"));
    WriteFile(Local("victim"), "victim's");
    const struct {
        std::string kept;  // "->": a link to the victim
        std::vector<std::string> commands;
    } cases[] = {{bytes.substr(0, 4000), {"TYPE I", "SIZE f.bin", kPortLine, "REST 4000", "RETR f.bin"}},
                 {bytes + "more", {"SIZE f.bin", kPortLine, "RETR f.bin"}},
                 {"->", {kPortLine, "RETR f.bin"}},
                 {"garbage", {"SIZE f.bin", kPortLine, "REST 7", "RETR f.bin"}}};
    for (const auto& c : cases) {
        c.kept == "->" ? fs::create_symlink(Local("victim"), partial) : WriteFile(partial, c.kept);
        if (c.kept == "garbage")
            server.ReplyFromNowOn("REST", "502 Command not implemented.\r\n");
        const std::size_t before = server.Commands().size();
        EXPECT_EQ(session.RetrieveFile("f.bin", Local("f.bin"), {}, TransferStart::Resume), kCompletion);
        EXPECT_EQ(ReadFile(Local("f.bin")), bytes);
        EXPECT_EQ(Transcript(server, before), c.commands);
    }
    EXPECT_EQ(ReadFile(Local("victim")), "victim's");
}

}  // namespace
