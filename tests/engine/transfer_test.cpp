// SPDX-License-Identifier: GPL-3.0-or-later
// Transfers, listings and directory copies against the scripted server: exact commands, the data
// that arrives, faults, and cancel in every waiting state.

#include "support/test_data.h"
#include "support/transfer_fixture.h"

#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sys/stat.h>
#include <thread>

namespace {

class TransferTest : public TransferFixture {};

// --- Downloads -----------------------------------------------------------------------------

TEST_F(TransferTest, DownloadIsByteExactAndTakesTheSizeFromThe150Reply)
{
    const std::string bytes = RandomBytes(1234);
    server.ServeFile("f.bin", bytes, "150 Opening BINARY mode data connection for f.bin (1234 bytes)\r\n");
    const fs::path target = fs::path(local.path) / "f.bin";

    EXPECT_EQ(session.RetrieveFile("f.bin", target), kCompletion);
    EXPECT_EQ(ReadFile(target), bytes);
    EXPECT_EQ(session.operations.TransferProgress().total, 1234);
    EXPECT_EQ(session.operations.TransferProgress().done, 1234);
    EXPECT_EQ(host.waits, (std::vector<std::string>{"Retrieving f.bin From " + session.hostName}));
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Tessaline: Closing Listener Socket"));
    EXPECT_TRUE(LogHas(log, "Received 1234 characters in "));
    EXPECT_TRUE(SessionIdle());
    // The listener's own port, the one PORT announces, not the control connection's.
    const auto commands = server.Commands();
    const auto port =
        std::find_if(commands.begin(), commands.end(), [](const std::string& c) { return c.starts_with("PORT "); });
    ASSERT_NE(port, commands.end());
    const std::size_t last = port->rfind(',');
    const std::size_t high = port->rfind(',', last - 1);
    const std::string announced =
        std::to_string(std::stoi(port->substr(high + 1)) * 256 + std::stoi(port->substr(last + 1)));
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&announced](const std::string& line) {
        return line.ends_with("going to listen 127.0.0.1 port " + announced);
    })) << *port;

    // Without a byte count in the reply the size stays unknown; an empty file is a file too.
    server.ServeFile("empty", "", "150 Here it comes.\r\n");
    EXPECT_EQ(session.RetrieveFile("empty", fs::path(local.path) / "empty"), kCompletion);
    EXPECT_EQ(session.operations.TransferProgress().total, 0);
    EXPECT_TRUE(fs::exists(fs::path(local.path) / "empty"));
    EXPECT_EQ(fs::file_size(fs::path(local.path) / "empty"), 0u);
    // The size a listing showed is the progress's total then; the file may have changed since.
    EXPECT_EQ(session.RetrieveFile("empty", fs::path(local.path) / "empty", {190700}), kCompletion);
    EXPECT_EQ(session.operations.TransferProgress().total, 190700);
    EXPECT_EQ(TranscriptAfterLogin(),
              (std::vector<std::string>{"TYPE I", kPortLine, "RETR f.bin", kPortLine, "RETR empty", kPortLine,
                                        "RETR empty"}));
}

// Replies whose lines end in LF alone, or that come a byte per segment, are read whole: the size
// in the 150, both lines of a multi-line reply, and nothing of the next reply.
TEST_F(TransferTest, RepliesEndingInLfAloneOrComingAByteASegmentAreReadWhole)
{
    const std::string bytes = RandomBytes(5000);
    server.ServeFile("f.bin", bytes, "150 Opening BINARY mode data connection for f.bin (5000 bytes)\r\n");
    server.Reply("NOOP", "200-Still\r\n200 here\r\n");
    WriteFile(fs::path(local.path) / "up.bin", bytes);
    using Faults = ScriptedFtpServer::Faults;
    for (const Faults& faults : {Faults{.lfOnly = true}, Faults{.bytePerSegment = true}}) {
        SCOPED_TRACE(faults.lfOnly ? "LF alone" : "a byte a segment");
        server.SetFaults(faults);
        EXPECT_EQ(session.RetrieveFile("f.bin", fs::path(local.path) / "f.bin"), kCompletion);
        EXPECT_EQ(session.operations.TransferProgress().total, 5000);
        EXPECT_TRUE(ReadFile(fs::path(local.path) / "f.bin") == bytes);
        EXPECT_EQ(session.StoreFile("up.bin", fs::path(local.path) / "up.bin"), kCompletion);
        EXPECT_EQ(session.control->Command("NOOP"), kCompletion);
        EXPECT_EQ(session.replyBuffer, "200 here");
    }
    EXPECT_EQ(TranscriptAfterLogin(),
              (std::vector<std::string>{"TYPE I", kPortLine, "RETR f.bin", kPortLine, "STOR up.bin", "NOOP", kPortLine,
                                        "RETR f.bin", kPortLine, "STOR up.bin", "NOOP"}));
}

TEST_F(TransferTest, AsciiDownloadsGetLocalLineEndsAndAsciiUploadsSendCrLf)
{
    server.ServeFile("notes.txt", "one\r\ntwo\r\nlone\rcr\r\n");
    session.transferMode = 'A';
    settings.transferMode = 'A';
    WriteFile(fs::path(local.path) / "up.txt", "x\ny\n");
    // The same in active and in passive mode: only the way the data connection is made differs.
    for (const std::string mode : {"active", "passive"}) {
        SCOPED_TRACE(mode);
        settings.passiveMode = mode == "passive" ? kPassiveMode : kActiveMode;
        const fs::path target = fs::path(local.path) / (mode + ".txt");
        EXPECT_EQ(session.RetrieveFile("notes.txt", target), kCompletion);
        EXPECT_EQ(ReadFile(target), "one\ntwo\nlone\rcr\n");
        EXPECT_EQ(session.StoreFile(mode + ".txt", fs::path(local.path) / "up.txt"), kCompletion);
    }
    EXPECT_EQ(server.Stored(),
              (std::map<std::string, std::string>{{"/active.txt", "x\r\ny\r\n"}, {"/passive.txt", "x\r\ny\r\n"}}));
}

TEST_F(TransferTest, RefusedPortStillTransfersAndARefusedDataCommandCreatesNothing)
{
    server.Reply("PORT", "500 Illegal PORT command\r\n");
    server.ServeFile("f", "data");
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    EXPECT_TRUE(LogHas(TakeLog(), "remote host not responding to port command."));

    EXPECT_EQ(session.RetrieveFile("missing", fs::path(local.path) / "missing"), kTransferNotStarted);
    EXPECT_TRUE(fs::is_empty(fs::path(local.path)) || !fs::exists(fs::path(local.path) / "missing"));
    for (const auto& entry : fs::directory_iterator(local.path))
        EXPECT_EQ(entry.path().filename(), "f") << "left behind: " << entry.path();
    EXPECT_TRUE(SessionIdle());
}

TEST_F(TransferTest, AServerThatNeverConnectsEndsTheDownloadAtTheTimeOut)
{
    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    OnDataCommand("RETR f", [](Control& control) { control.Pause(3s); });
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kTransferNotStarted);
    EXPECT_TRUE(LogHas(TakeLog(), "accept: Connection timed out, try connecting again."));
    EXPECT_TRUE(fs::is_empty(local.path));
    EXPECT_TRUE(SessionIdle());
}

// The time-out is for a silence: data that trickles in small pieces, each within it, is read as it
// comes however long the whole takes (a receive low-water mark left above 1 would hold it back).
TEST_F(TransferTest, ADownloadThatTricklesLongerThanTheTimeOutComesThrough)
{
    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    OnDataCommand("RETR f", [](Control& control) {
        if (!control.OpenData())
            return;
        for (int piece = 0; piece < 5; ++piece) {
            control.DataSend(std::string(100, static_cast<char>('a' + piece)));
            control.Pause(ScriptedFtpServer::kShortTimeOut / 3);
        }
        control.CloseData();
        control.SendLine("226 Transfer complete");
    });
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    EXPECT_EQ(ReadFile(fs::path(local.path) / "f"),
              std::string(100, 'a') + std::string(100, 'b') + std::string(100, 'c') + std::string(100, 'd')
                  + std::string(100, 'e'));
}

TEST_F(TransferTest, DataConnectionsFromAnotherAddressAreRefused)
{
    OnDataCommand("RETR f", [](Control& control) {
        ASSERT_TRUE(control.OpenData("127.0.0.2"));
        control.Pause(100ms);
        control.CloseData();
        ASSERT_TRUE(control.OpenData("127.0.0.1"));
        control.DataSend("the real data");
        control.CloseData();
        control.SendLine("226 Transfer complete");
    });
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    EXPECT_EQ(ReadFile(fs::path(local.path) / "f"), "the real data");
    EXPECT_TRUE(LogHas(TakeLog(), "Refused data connection from 127.0.0.2"));
}

TEST_F(TransferTest, ExtensionTableChoosesTheTypeOfAutomaticDownloads)
{
    TempDir data;
    ::setenv("XDG_DATA_HOME", data.path.c_str(), 1);
    fs::create_directories(fs::path(data.path) / "Tessaline");
    WriteFile(fs::path(data.path) / "Tessaline" / "Extension.ftp", "A TXT\nL BIN\nA UNK\nI GZ\na DOC\n");
    for (const char* name : {"notes.txt", "README", "a.tar.gz", "x.bin", "letter.doc"})
        server.ServeFile(name, "x");
    session.transferMode = 'F';
    for (const char* name : {"notes.txt", "README", "a.tar.gz", "x.bin", "letter.doc"})
        EXPECT_EQ(session.RetrieveFile(name, fs::path(local.path) / name), kCompletion) << name;
    // Uploads in automatic mode are always binary.
    settings.transferMode = 'F';
    WriteFile(fs::path(local.path) / "up.txt", "x");
    EXPECT_EQ(session.StoreFile("up.txt", fs::path(local.path) / "up.txt"), kCompletion);
    ::unsetenv("XDG_DATA_HOME");

    // A type the connection has already is not asked for again.
    EXPECT_EQ(TranscriptAfterLogin(),
              (std::vector<std::string>{"TYPE A", kPortLine, "RETR notes.txt", kPortLine, "RETR README", "TYPE I",
                                        kPortLine, "RETR a.tar.gz", "TYPE L 8", kPortLine, "RETR x.bin", "TYPE I",
                                        kPortLine, "RETR letter.doc", kPortLine, "STOR up.txt"}));
}

TEST_F(TransferTest, ADownloadOntoAPipeOrDeviceWritesIntoItAndLeavesItInPlace)
{
    const std::string bytes = RandomBytes(300000);
    server.ServeFile("f.bin", bytes);
    const fs::path fifo = fs::path(local.path) / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // The test holds a writer of its own, so the reader sees the end only after the test lets go,
    // whether or not the download wrote into the pipe.
    const int in = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(in, 0);
    const int held = ::open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ::fcntl(in, F_SETFL, 0);
    std::string read;
    std::thread reader([&] {
        char buffer[65536];
        for (ssize_t got; (got = ::read(in, buffer, sizeof buffer)) > 0;)
            read.append(buffer, static_cast<std::size_t>(got));
    });
    EXPECT_EQ(session.RetrieveFile("f.bin", fifo), kCompletion);
    ::close(held);
    reader.join();
    ::close(in);
    EXPECT_TRUE(read == bytes);
    EXPECT_TRUE(fs::is_fifo(fifo));
    // Nothing was made beside it either.
    EXPECT_EQ(std::distance(fs::directory_iterator(local.path), fs::directory_iterator()), 1);
    EXPECT_EQ(session.RetrieveFile("f.bin", "/dev/null"), kCompletion);

    // A pipe nobody reads does not hold the download, and another user's pipe planted under the
    // target name (only root can plant one here) receives nothing.
    EXPECT_EQ(session.RetrieveFile("f.bin", fifo), kPermanentNegative);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(fifo.c_str(), 65534, 65534), 0);
        const int planted = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_EQ(session.RetrieveFile("f.bin", fifo), kPermanentNegative);
        char byte = 0;
        EXPECT_EQ(::read(planted, &byte, 1), 0);
        ::close(planted);
        EXPECT_TRUE(LogHas(TakeLog(), "Failed to create file " + fifo.string() + " (1: Operation not permitted)"));
    }
}

TEST_F(TransferTest, ACompleteDownloadIsKeptWhenOnlyTheServersConfirmationIsLost)
{
    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    const std::string bytes = RandomBytes(200000);
    server.ServeFile("f.bin", bytes, "150 Opening BINARY mode data connection for f.bin (200000 bytes)\r\n");
    // Every byte arrives and the data connection ends in order; then the server falls silent.
    server.SetFaults({.command = "RETR f.bin", .pauseBeforeReply = 20s});
    const fs::path target = fs::path(local.path) / "f.bin";
    EXPECT_EQ(session.RetrieveFile("f.bin", target), kCompletion);
    EXPECT_TRUE(ReadFile(target) == bytes);
    EXPECT_TRUE(
        LogHas(TakeLog(),
               "The server did not confirm the transfer; all 200000 announced bytes arrived and the file was kept."));

    // Without an announced size a whole file cannot be told from a cut one: it is not kept.
    session.Quit();
    ASSERT_NE(session.Connect(), kConnectFailed);
    server.ServeFile("f.bin", bytes, "150 Here it comes.\r\n");
    EXPECT_NE(session.RetrieveFile("f.bin", fs::path(local.path) / "unknown"), kCompletion);
    EXPECT_TRUE(LogHas(TakeLog(), "Deleted partially downloaded file"));
    EXPECT_EQ(std::distance(fs::directory_iterator(local.path), fs::directory_iterator()), 1);
}

TEST_F(TransferTest, NamesAsLongAsTheFileSystemTakesCanBeDownloaded)
{
    std::string name;
    for (int i = 0; i < 85; ++i)
        name += "\xe3\x81\x82";  // 255 bytes: the longest name a Linux file system takes
    server.ServeFile(name, "long");
    EXPECT_EQ(session.RetrieveFile(name, fs::path(local.path) / name), kCompletion);
    EXPECT_EQ(ReadFile(fs::path(local.path) / name), "long");
    EXPECT_EQ(std::distance(fs::directory_iterator(local.path), fs::directory_iterator()), 1);
}

TEST_F(TransferTest, FileErrorsGiveTheirTextBesideTheirNumber)
{
    const std::string tooLong(300, 'n');
    server.ServeFile(tooLong, "x");
    const std::string target = local.path + "/" + tooLong;
    EXPECT_EQ(session.RetrieveFile(tooLong, target), kPermanentNegative);
    EXPECT_TRUE(LogHas(TakeLog(), "Failed to create file " + target + " (36: File name too long)"));
    EXPECT_EQ(session.StoreFile("null", "/dev/null"), kPermanentNegative);
    EXPECT_TRUE(LogHas(TakeLog(), "Could not open file /dev/null (22: Invalid argument)"));
}

// --- Uploads -------------------------------------------------------------------------------

// Uploads are read and sent in pieces of "Send Bytes", whatever that is; ASCII ones have their
// line ends turned on the way.
TEST_F(TransferTest, UploadsArriveWholeInPiecesOfAnySizeAndAsciiOnesWithCrLf)
{
    const std::string bytes = RandomBytes(300001);
    WriteFile(fs::path(local.path) / "up.bin", bytes);
    for (const int pieceBytes : {1000, 65536, 1 << 20}) {
        SCOPED_TRACE("Send Bytes " + std::to_string(pieceBytes));
        settings.sendBytes = pieceBytes;
        EXPECT_EQ(session.StoreFile("up.bin", fs::path(local.path) / "up.bin"), kCompletion);
        EXPECT_EQ(session.operations.TransferProgress().total, 300001);
        EXPECT_EQ(session.operations.TransferProgress().done, 300001);
        EXPECT_TRUE(server.Stored()["/up.bin"] == bytes);
    }
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Transferring 300001 bytes"));
    EXPECT_TRUE(LogHas(log, "Transmitted 300001 characters in "));

    session.transferMode = 'A';
    settings.transferMode = 'A';
    settings.sendBytes = 4;  // a line end split between two pieces
    WriteFile(fs::path(local.path) / "up.txt", "one\ntwo\r\n\n");
    EXPECT_EQ(session.StoreFile("up.txt", fs::path(local.path) / "up.txt"), kCompletion);
    EXPECT_EQ(server.Stored()["/up.txt"], "one\r\ntwo\r\r\n\r\n");
    EXPECT_TRUE(SessionIdle());
}

TEST_F(TransferTest, AnUploadWhoseFileShrinksOrGrowsWhileItIsSentFails)
{
    const fs::path big = BigLocalFile(64 << 20);
    // Another program cuts the file down, or adds to it, as soon as the upload begins.
    for (const std::uintmax_t changedSize : {std::uintmax_t{5} << 20, std::uintmax_t{65} << 20}) {
        SCOPED_TRACE("changed to " + std::to_string(changedSize));
        fs::resize_file(big, 64 << 20);
        OnDataCommand("STOR big", [big, changedSize](Control& control) {
            if (!control.OpenData())
                return;
            fs::resize_file(big, changedSize);
            control.DataReceiveAll();
            control.CloseData();
            control.SendLine("226 Transfer complete");
        });
        EXPECT_EQ(session.StoreFile("big", big), kPermanentNegative);
        const auto log = TakeLog();
        EXPECT_TRUE(LogHas(log,
                           "The file " + big.string() + " changed while it was sent: it had 67108864 bytes, "
                               + std::to_string(session.operations.TransferProgress().done) + " were sent."));
        EXPECT_EQ(session.operations.TransferProgress().done, static_cast<long long>(changedSize));
        EXPECT_TRUE(LogHas(log, "Error on Transfer, aborted"));
    }
}

TEST_F(TransferTest, AnUploadThatTimesOutSaysSo)
{
    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    const fs::path big = BigLocalFile(64 << 20);
    server.SetFaults({.dataPause = 20s});  // never reads
    EXPECT_EQ(session.StoreFile("big", big), kInterrupted);
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Send: Connection timed out, try connecting again."));
    EXPECT_FALSE(LogHas(log, "Transfer aborted by User"));
    EXPECT_GT(session.operations.TransferProgress().done, 0);
}

TEST_F(TransferTest, AServerThatResetsTheDataConnectionFailsTheUploadAndTheSessionGoesOn)
{
    const fs::path big = BigLocalFile(64 << 20);
    // Closed with the client's data unread: the kernel resets the connection.
    server.SetFaults({.failDataAfter = 65536});
    EXPECT_EQ(session.StoreFile("big", big), kPermanentNegative);
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Send: "));
    EXPECT_TRUE(LogHas(log, "Error on Transfer, aborted"));
    EXPECT_TRUE(LogHas(log, "426 Connection closed"));
    EXPECT_TRUE(SessionIdle());

    server.SetFaults({});
    WriteFile(fs::path(local.path) / "small", "after the reset");
    EXPECT_EQ(session.StoreFile("small", fs::path(local.path) / "small"), kCompletion);
    EXPECT_EQ(server.Stored()["/small"], "after the reset");
}

// --- Cancel --------------------------------------------------------------------------------

// Cancels from the worker's own thread the moment it posts a log line that holds `step`, so
// the cancel lands exactly between two steps of a transfer. The lines it takes from the log are
// kept in `lines`. With `dataFirst`, a cancel after the accept waits until data is there to be
// read: a cancel that the download then ignored would show in the bytes read.
class CancelAtStep final {
public:
    CancelAtStep(CFtpSession& session, std::string step, bool dataFirst)
        : session(session)
        , step(std::move(step))
        , dataFirst(dataFirst)
    {
        SetLogWakeUp([this] { DrainLogQueue([this](const std::string& line) { Take(line); }); });
    }
    ~CancelAtStep() { SetLogWakeUp(nullptr); }

    std::atomic<bool> fired{false};
    std::vector<std::string> lines;  // under `lock`
    std::mutex lock;

private:
    void Take(const std::string& line)
    {
        std::lock_guard guard(lock);
        lines.push_back(line);
        if (fired || line.find(step) == std::string::npos)
            return;
        if (dataFirst && session.data->socket != -1) {
            pollfd readable = {session.data->socket, POLLIN, 0};
            ::poll(&readable, 1, 10000);
        }
        session.Cancel();
        fired = true;
    }

    CFtpSession& session;
    const std::string step;
    const bool dataFirst;
};

TEST_F(TransferTest, ACancelIsNeverLostWhateverStepOfATransferItComesAt)
{
    server.ServeFile("f", RandomBytes(4 << 20));
    const fs::path upload = fs::path(local.path) / "up";
    WriteFile(upload, RandomBytes(4 << 20));
    const std::vector<std::string> downloadSteps = {
        "Tessaline: TYPE", "200 Type set", "going to listen",
        "Tessaline: PORT", "200 PORT",     "listener",
        "Tessaline: RETR", "150 ",         "Tessaline: Closing Listener Socket",
        "Socket closed.",  "Accepted from"};
    const std::vector<std::string> uploadSteps = {
        "Tessaline: TYPE", "200 Type set", "going to listen", "Tessaline: PORT", "200 PORT", "listener",
        "Tessaline: STOR", "150 ",         "Socket closed.",  "accept from"};
    for (const bool download : {true, false}) {
        for (const std::string& step : download ? downloadSteps : uploadSteps) {
            SCOPED_TRACE((download ? "download, cancel at " : "upload, cancel at ") + step);
            session.Quit();
            ASSERT_NE(session.Connect(), kConnectFailed);
            TakeLog();
            int result = 0;
            {
                CancelAtStep cancel(session, step, download);
                host.cancelWhen = [&cancel](OperationRunner&) { return cancel.fired.load(); };
                result =
                    download ? session.RetrieveFile("f", fs::path(local.path) / "f") : session.StoreFile("up", upload);
                host.cancelWhen = nullptr;
                EXPECT_TRUE(cancel.fired);
            }
            EXPECT_EQ(result, kTransferCancelled);
            EXPECT_EQ(session.operations.TransferProgress().done, 0) << "bytes moved after the cancel";
            EXPECT_FALSE(fs::exists(fs::path(local.path) / "f"));
            EXPECT_EQ(std::distance(fs::directory_iterator(local.path), fs::directory_iterator()), 1);
            EXPECT_TRUE(SessionIdle());
        }
    }
}

TEST_F(TransferTest, CancelWhileWaitingForTheDataConnection)
{
    server.ServeFile("f", "sent once the cancel is over");
    // The server never connects, but answers the quit that follows the cancel.
    OnDataCommand("RETR f", [this](Control& control) {
        while (control.Connected() && server.Commands().back() != "quit")
            control.Pause(10ms);
        control.SendLine("221 Goodbye.");
        control.Close();
    });
    host.cancelWhen = [this](OperationRunner&) { return server.Commands().back() == "RETR f"; };
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kTransferCancelled);
    EXPECT_TRUE(session.transferAborted);
    EXPECT_FALSE(session.connected);
    EXPECT_TRUE(SessionIdle());
    EXPECT_TRUE(fs::is_empty(local.path));

    // The next connect begins with quit and works.
    session.Quit();
    ASSERT_NE(session.Connect(), kConnectFailed);
    host.cancelWhen = nullptr;
    server.OnCommand(nullptr);
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
}

TEST_F(TransferTest, CancelInTheMiddleOfADownloadKeepsTheEarlierFile)
{
    const fs::path target = fs::path(local.path) / "f";
    WriteFile(target, "the file that was here");
    server.ServeFile("f", RandomBytes(200000));
    server.SetFaults({.dataPauseAfter = 100000, .dataPause = 30s});
    host.cancelWhen = [](OperationRunner& runner) { return runner.TransferProgress().done >= 100000; };
    EXPECT_EQ(session.RetrieveFile("f", target), kTransferCancelled);
    EXPECT_EQ(ReadFile(target), "the file that was here");
    EXPECT_EQ(std::distance(fs::directory_iterator(local.path), fs::directory_iterator()), 1);
    EXPECT_TRUE(LogHas(TakeLog(), "Deleted partially downloaded file"));
    EXPECT_TRUE(SessionIdle());
}

TEST_F(TransferTest, CancelInTheMiddleOfAnUploadThatTheServerStoppedReading)
{
    const fs::path big = BigLocalFile(64 << 20);
    server.SetFaults({.dataPause = 30s});
    host.cancelWhen = [](OperationRunner& runner) { return runner.TransferProgress().done > 0; };
    EXPECT_EQ(session.StoreFile("big", big), kTransferCancelled);
    EXPECT_TRUE(session.transferAborted);
    EXPECT_TRUE(LogHas(TakeLog(), "Transfer aborted by User"));
    EXPECT_TRUE(SessionIdle());
}

// --- Listings ------------------------------------------------------------------------------

TEST_F(TransferTest, ListingsAreReadThroughTheParserWithTheCountedColumns)
{
    const std::string listing = TestData("listings/unix_crlf.txt");
    server.ServeListing(listing);
    CListingReader reader(session);
    CDirEntry entry;
    std::vector<std::string> names;
    for (ListingStep step = reader.OpenListing(entry); step == ListingStep::Entry;
         step = reader.NextListingEntry(entry))
        names.push_back(entry.name + "|" + entry.size + "|" + std::to_string(entry.isFile));
    EXPECT_EQ(session.listColumnCount, 9);
    EXPECT_EQ(names, (std::vector<std::string>{"docs|512|0", "read me.txt|1234|1", "pub -> ../pub|4|0"}));
    EXPECT_EQ(ReadFile(session.listingFile), listing);  // the raw bytes, CR LF and all
    EXPECT_EQ(host.waits.back(), "Getting Directory From: " + session.hostName);
}

TEST_F(TransferTest, AOneLineListingIsReadInItsOwnColumns)
{
    // A fresh session: no listing has been counted yet.
    server.ServeListing("-rw-r--r--   1 root     root            5 Mar  5 00:06 a.txt\r\n");
    CListingReader reader(session);
    CDirEntry entry;
    ASSERT_EQ(reader.OpenListing(entry), ListingStep::Entry);
    EXPECT_EQ(entry.name, "a.txt");
    EXPECT_EQ(entry.size, "5");
    EXPECT_EQ(session.listColumnCount, 9);

    server.ServeListing("-rw-r--r--   1 anna     1234 Jan 11  2021 only\r\n");
    ASSERT_EQ(reader.OpenListing(entry), ListingStep::Entry);
    EXPECT_EQ(entry.name, "only");
    EXPECT_EQ(session.listColumnCount, 8);

    // A total line alone says nothing about the columns: the count stays.
    server.ServeListing("total 0\r\n");
    EXPECT_EQ(reader.OpenListing(entry), ListingStep::End);
    EXPECT_EQ(session.listColumnCount, 8);
}

// The most memory the process has held, in KiB, since the high-water mark was last reset.
long PeakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:"))
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

TEST_F(TransferTest, AnOverlongListingLineDoesNotMakeMemoryGrow)
{
    const fs::path path = fs::path(local.path) / "huge listing";
    {
        std::ofstream out(path, std::ios::binary);
        out << "total 2\r\n-rw-r--r--   1 anna     staff       1 Mar  5 12:30 first\r\n";
        const std::string chunk(1 << 20, 'x');
        for (int i = 0; i < 50; ++i)
            out << chunk;
        out << "\r\n-rw-r--r--   1 anna     staff       1 Mar  5 12:30 last\r\n";
    }
    if (!(std::ofstream("/proc/self/clear_refs") << "5"))
        GTEST_SKIP() << "the high-water mark of memory cannot be reset here";
    const long before = PeakResidentKiB();

    CountListingColumns(session, path);
    CListingReader reader(session);
    ASSERT_TRUE(reader.Open(path));
    std::vector<std::string> names;
    CDirEntry entry;
    while (reader.NextListingEntry(entry) == ListingStep::Entry)
        names.push_back(entry.name);

    EXPECT_EQ(names, (std::vector<std::string>{"first", "last"}));
    EXPECT_EQ(session.listColumnCount, 9);
    EXPECT_LT(PeakResidentKiB() - before, 16 * 1024) << "a 50 MB line was held in memory";
}

TEST_F(TransferTest, PermissionDeniedEndsTheListingAndTellsTheUser)
{
    server.ServeListing("total 4\r\n"
                        "-rw-r--r--   1 anna     staff       1 Jan 11  2021 first\r\n"
                        "ls: cannot open directory .: Permission denied\r\n"
                        "-rw-r--r--   1 anna     staff       1 Jan 11  2021 never\r\n");
    CListingReader reader(session);
    CDirEntry entry;
    ASSERT_EQ(reader.OpenListing(entry), ListingStep::Entry);
    EXPECT_EQ(entry.name, "first");
    EXPECT_EQ(reader.NextListingEntry(entry), ListingStep::PermissionDenied);
    EXPECT_EQ(host.informed, (std::vector<std::string>{"Permission to obtain a directory listing was denied"}));
}

TEST_F(TransferTest, CancelBeforeTheListingArrivesFailsTheListing)
{
    server.ServeListing("x");
    server.SetFaults({.dataPause = 30s});
    host.cancelWhen = [this](OperationRunner&) { return server.Commands().back() == "LIST"; };
    CListingReader reader(session);
    CDirEntry entry;
    EXPECT_EQ(reader.OpenListing(entry), ListingStep::Failed);
    EXPECT_TRUE(reader.Cancelled());
    EXPECT_TRUE(SessionIdle());
}

// --- Directory copies ----------------------------------------------------------------------

TEST_F(TransferTest, DirectoryDownloadNeverWritesOutsideItsTarget)
{
    server.ServeListing("total 4\r\n"
                        "drwxr-xr-x   2 anna     staff     512 Mar  5 12:30 .\r\n"
                        "drwxr-xr-x   2 anna     staff     512 Mar  5 12:30 ..\r\n"
                        "-rw-r--r--   1 anna     staff       4 Mar  5 12:30 ../escaped\r\n"
                        "-rw-r--r--   1 anna     staff       4 Mar  5 12:30 /tmp/absolute\r\n"
                        "-rw-r--r--   1 anna     staff       4 Mar  5 12:30 a/b\r\n"
                        "-rw-r--r--   1 anna     staff       4 Mar  5 12:30 ok.txt\r\n");
    for (const char* name : {"../escaped", "/tmp/absolute", "a/b", "ok.txt"})
        server.ServeFile(name, "data");
    const fs::path target = fs::path(local.path) / "copy";

    EXPECT_FALSE(DownloadDirectory(remote, "evil", target));  // not every file came through
    EXPECT_EQ(ReadFile(target / "ok.txt"), "data");
    std::vector<std::string> made;
    for (const auto& entry : fs::recursive_directory_iterator(local.path))
        made.push_back(fs::relative(entry.path(), local.path).string());
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, (std::vector<std::string>{"copy", "copy/ok.txt"}));
    EXPECT_FALSE(fs::exists("/tmp/absolute"));
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Skipped unsafe name ../escaped"));
    EXPECT_TRUE(LogHas(log, "Skipped unsafe name a/b"));

    // A second copy goes on into the directory the first made, overwriting what is there; into a
    // file or a link of that name nothing is copied and the server is not asked.
    const std::vector<std::string> copy{"CWD evil", "TYPE A",  kPortLine,     "LIST",
                                        "TYPE I",   kPortLine, "RETR ok.txt", "CWD .."};
    WriteFile(target / "ok.txt", "older");
    EXPECT_FALSE(DownloadDirectory(remote, "evil", target));
    EXPECT_EQ(ReadFile(target / "ok.txt"), "data");
    WriteFile(fs::path(local.path) / "file", "mine");
    fs::create_directory_symlink(target, fs::path(local.path) / "link");
    for (const char* name : {"file", "link"})
        EXPECT_FALSE(DownloadDirectory(remote, "evil", fs::path(local.path) / name)) << name;
    EXPECT_EQ(ReadFile(fs::path(local.path) / "file"), "mine");
    std::vector<std::string> twice = copy;
    twice.insert(twice.end(), copy.begin(), copy.end());
    EXPECT_EQ(TranscriptAfterLogin(), twice);
}

const std::string kFileLine = "-rw-r--r--   1 anna     staff       4 Mar  5 12:30 ";
const std::string kDirectoryLine = "drwxr-xr-x   2 anna     staff     512 Mar  5 12:30 ";

TEST_F(TransferTest, ADirectoryDownloadFailsWhenADirectoryCannotBeListedOrEntered)
{
    const std::string tree = kDirectoryLine + "empty\r\n" + kDirectoryLine + "sub\r\n" + kFileLine + "top.txt\r\n";
    server.ServeDirectory("/", kDirectoryLine + "tree\r\n");
    server.ServeDirectory("/tree", tree);
    server.ServeDirectory("/tree/empty", "");
    server.ServeUnlistableDirectory("/tree/sub");
    server.ServeFile("/tree/top.txt", "top!");
    server.ServeFile("/tree/sub/inner.txt", "never listed");
    const fs::path target = fs::path(local.path) / "copy";

    EXPECT_FALSE(DownloadDirectory(remote, "tree", target));
    EXPECT_TRUE(LogHas(TakeLog(), "Could not list directory tree/sub"));
    // Everything else came, and the session is back where it started.
    EXPECT_EQ(ReadFile(target / "top.txt"), "top!");
    EXPECT_TRUE(fs::is_directory(target / "empty"));
    // The directory that could not be listed is not left behind looking like an empty copy.
    EXPECT_FALSE(fs::exists(target / "sub"));

    server.ServeDirectory("/tree/sub", kFileLine + "inner.txt\r\n");
    server.ServeDirectory("/tree", tree + kDirectoryLine + "gone\r\n");
    EXPECT_FALSE(DownloadDirectory(remote, "tree", fs::path(local.path) / "again"));
    EXPECT_TRUE(LogHas(TakeLog(), "Could not enter directory tree/gone"));
    EXPECT_EQ(ReadFile(fs::path(local.path) / "again" / "sub" / "inner.txt"), "never listed");
    // Each time the session is back where it started.
    EXPECT_EQ(TranscriptAfterLogin(),
              (std::vector<std::string>{"CWD tree",     "TYPE A",         kPortLine,      "LIST",    // tree
                                        "CWD empty",    kPortLine,        "LIST",         "CWD ..",  // empty
                                        "CWD sub",      kPortLine,        "LIST",         "CWD ..",  // sub: 425
                                        "TYPE I",       kPortLine,        "RETR top.txt", "CWD ..",  // top.txt
                                        "CWD tree",     "TYPE A",         kPortLine,      "LIST",    // again
                                        "CWD empty",    kPortLine,        "LIST",         "CWD ..",  // empty
                                        "CWD sub",      kPortLine,        "LIST",         "TYPE I",  // sub
                                        kPortLine,      "RETR inner.txt", "CWD ..",       kPortLine,
                                        "RETR top.txt", "CWD gone",       "CWD gone",     "CWD .."}));  // top.txt, gone
}

TEST_F(TransferTest, ADirectoryThatContainsItselfIsNotCopiedForEver)
{
    // Every directory holds "a" again, as behind a server that follows a link to ".".
    server.ServeListing(kDirectoryLine + "a\r\n");
    EXPECT_FALSE(DownloadDirectory(remote, "a", fs::path(local.path) / "endless"));
    EXPECT_TRUE(LogHas(TakeLog(), "is more than 100 levels deep; it was not copied"));

    // A link to the directory itself or above it is seen for what it is.
    for (const char* link : {"self -> .", "up -> .."}) {
        server.ServeListing("lrwxrwxrwx   1 anna     staff       1 Mar  5 12:30 " + std::string(link) + "\r\n"
                            + kFileLine + "f.txt\r\n");
        server.ServeFile("f.txt", "data");
        const fs::path target = fs::path(local.path) / (std::string("link ") + link[0]);
        EXPECT_FALSE(DownloadDirectory(remote, "top", target));
        EXPECT_TRUE(LogHas(TakeLog(),
                           "Directory link top/" + std::string(link) + " leads back into the copy; it was not copied"));
        EXPECT_EQ(ReadFile(target / "f.txt"), "data");
    }

    std::vector<std::string> expected;
    for (int level = 1; level <= 100; ++level) {
        expected.push_back("CWD a");
        if (level == 1)
            expected.push_back("TYPE A");
        expected.insert(expected.end(), {kPortLine, "LIST"});
    }
    expected.insert(expected.end(), 100, "CWD ..");
    expected.insert(expected.end(), {"CWD top", kPortLine, "LIST", "TYPE I", kPortLine, "RETR f.txt", "CWD .."});
    expected.insert(expected.end(),
                    {"CWD top", "TYPE A", kPortLine, "LIST", "TYPE I", kPortLine, "RETR f.txt", "CWD .."});
    EXPECT_EQ(TranscriptAfterLogin(), expected);
}

TEST_F(TransferTest, ALostConnectionEndsADirectoryDownloadAtOnce)
{
    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    const std::vector<std::string> names = {"one", "two", "three", "four", "five", "six"};
    std::string listing;
    for (const std::string& name : names) {
        listing += kFileLine + name + "\r\n";
        server.ServeFile(name, "data");
    }
    server.ServeListing(listing);
    // The first file's data stalls until the time-out gives up on it.
    server.SetFaults({.command = "RETR one", .dataPause = 20s});
    const fs::path target = fs::path(local.path) / "copy";
    EXPECT_FALSE(DownloadDirectory(remote, "tree", target));
    // Nothing more goes over the dead connection: no PORT, RETR or CWD .. that would each wait.
    EXPECT_EQ(TranscriptAfterLogin(),
              (std::vector<std::string>{"CWD tree", "TYPE A", kPortLine, "LIST", "TYPE I", kPortLine, "RETR one"}));
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Recv: Connection timed out, try connecting again."));
    for (const std::string& name : names)
        EXPECT_TRUE(LogHas(log, "Not downloaded: " + (target / name).string())) << name;
}

TEST_F(TransferTest, DirectoryCopiesChangeDirectoriesOnAWorkerAndStopAtACancel)
{
    server.ServeDirectory("/", kDirectoryLine + "tree\r\n");
    server.ServeDirectory("/tree", kFileLine + "a.txt\r\n");
    server.ServeFile("/tree/a.txt", "a");
    const fs::path up = fs::path(local.path) / "up";
    fs::create_directories(up);
    WriteFile(up / "b.txt", "b");
    const std::string waitForServer = "Waiting for " + session.hostName + " to answer";

    // Like the view's own commands, each CWD and MKD is a wait the front end can show and cancel.
    EXPECT_TRUE(DownloadDirectory(remote, "tree", fs::path(local.path) / "copy"));
    EXPECT_EQ(std::count(host.waits.begin(), host.waits.end(), waitForServer), 2);  // CWD tree, CWD ..
    host.waits.clear();
    EXPECT_TRUE(UploadDirectory(remote, up, "up"));
    EXPECT_EQ(std::count(host.waits.begin(), host.waits.end(), waitForServer), 3);  // MKD, CWD up, CWD ..

    // A CWD the server never finishes answering: Cancel ends the copy at once.
    server.Reply("CWD", "250-Changing\r\n");
    host.cancelWhen = [this](OperationRunner&) { return server.Commands().back() == "CWD tree"; };
    EXPECT_FALSE(DownloadDirectory(remote, "tree", fs::path(local.path) / "cancelled"));
    EXPECT_TRUE(session.transferAborted);
    EXPECT_FALSE(fs::exists(fs::path(local.path) / "cancelled"));
    EXPECT_TRUE(SessionIdle());
}

// A link is copied under its own name: one to a directory beside it as that directory, one to a
// file, or one that leads elsewhere, as the file the server resolves it to.
TEST_F(TransferTest, LinksAreCopiedUnderTheirOwnNames)
{
    const std::string linkLine = "lrwxrwxrwx   1 anna     staff       5 Mar  5 12:30 ";
    server.ServeDirectory("/top",
                          linkLine + "current -> release\r\n" + linkLine + "latest -> v2.txt\r\n" + linkLine
                              + "elsewhere -> ../v1.txt\r\n" + kDirectoryLine + "release\r\n");
    server.ServeDirectory("/top/release", kFileLine + "r.txt\r\n");
    server.ServeFile("/top/release/r.txt", "r");
    server.ServeFile("/top/latest", "2");
    server.ServeFile("/top/elsewhere", "1");
    const fs::path copy = fs::path(local.path) / "copy";
    EXPECT_TRUE(DownloadDirectory(remote, "top", copy));
    EXPECT_EQ(ReadFile(copy / "current" / "r.txt"), "r");
    EXPECT_EQ(ReadFile(copy / "release" / "r.txt"), "r");
    EXPECT_EQ(ReadFile(copy / "latest"), "2");
    EXPECT_EQ(ReadFile(copy / "elsewhere"), "1");
}

TEST_F(TransferTest, ALostConnectionEndsADirectoryUploadAtOnce)
{
    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    const fs::path tree = fs::path(local.path) / "tree";
    fs::create_directories(tree);
    for (const char* name : {"a", "b", "c"})
        WriteFile(tree / name, name);
    // The server takes the first file but never confirms it.
    server.SetFaults({.command = "STOR a", .pauseBeforeReply = 20s});
    EXPECT_FALSE(UploadDirectory(remote, tree, "tree"));
    EXPECT_EQ(TranscriptAfterLogin(),
              (std::vector<std::string>{"MKD tree", "CWD tree", "TYPE I", kPortLine, "STOR a"}));
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Not uploaded: " + (tree / "b").string()));
    EXPECT_TRUE(LogHas(log, "Not uploaded: " + (tree / "c").string()));
}

TEST_F(TransferTest, DirectoryUploadStopsAtARefusedDirectory)
{
    const fs::path tree = fs::path(local.path) / "tree";
    // A local name that reads like a listed link is still only a name.
    fs::create_directories(tree / "sub -> ..");
    WriteFile(tree / "a.txt", "a");
    WriteFile(tree / "sub -> .." / "b.txt", "b");

    EXPECT_TRUE(UploadDirectory(remote, tree, "tree"));
    EXPECT_EQ(server.Stored(),
              (std::map<std::string, std::string>{{"/tree/a.txt", "a"}, {"/tree/sub -> ../b.txt", "b"}}));

    // A refused MKD of a directory that can be entered: the copy goes on into it. One that cannot
    // be entered either stops the copy.
    server.Reply("MKD", "550 Permission denied\r\n");
    WriteFile(tree / "a.txt", "again");
    EXPECT_TRUE(UploadDirectory(remote, tree, "tree"));
    EXPECT_EQ(server.Stored().at("/tree/a.txt"), "again");
    EXPECT_TRUE(LogHas(TakeLog(), "Uploading into the existing directory tree"));
    const std::size_t before = server.Commands().size();
    EXPECT_FALSE(UploadDirectory(remote, tree, "other"));
    // Nothing follows the refused MKD and CWD, each with its VMS-style retry.
    EXPECT_EQ(Transcript(server, before),
              (std::vector<std::string>{"MKD other", "MKD other", "CWD other", "CWD other"}));
    EXPECT_EQ(host.informed,
              (std::vector<std::string>{"Error Creating Remote Directory\nPossibly a Premissions Problem"}));
    EXPECT_TRUE(session.transferAborted);
}

// Sessions share nothing but the log: two on two threads at once, each with a server of its own,
// each brings its own file whole and lists its own directory (the ThreadSanitizer build runs this
// too).
TEST_F(TransferTest, TwoSessionsWorkAtOnceWithoutSharingState)
{
    EngineSettings otherSettings;
    otherSettings.retry = settings.retry.load();
    CFtpSession other(otherSettings);
    TestHost otherHost;
    ScriptedFtpServer otherServer;
    LogIn(other, otherHost, otherServer, local.path + "/other-listing");
    const std::string bytes = RandomBytes(3 * 1024 * 1024);
    const std::string otherBytes = RandomBytes(2 * 1024 * 1024 + 7);
    server.ServeFile("f.bin", bytes);
    otherServer.ServeFile("f.bin", otherBytes);
    server.ServeListing("-rw-r--r--   1 root     root            5 Mar  5 00:06 mine\r\n");
    otherServer.ServeListing("-rw-r--r--   1 root     root            5 Mar  5 00:06 theirs\r\n");
    const auto work = [this](CFtpSession& each, const std::string& name, std::vector<std::string>& names) {
        EXPECT_EQ(each.RetrieveFile("f.bin", fs::path(local.path) / name), kCompletion);
        CListingReader reader(each);
        CDirEntry entry;
        for (ListingStep step = reader.OpenListing(entry); step == ListingStep::Entry;
             step = reader.NextListingEntry(entry))
            names.push_back(entry.name);
    };
    std::vector<std::string> names;
    std::vector<std::string> otherNames;
    std::thread first([&] { work(session, "one", names); });
    std::thread second([&] { work(other, "two", otherNames); });
    first.join();
    second.join();
    EXPECT_EQ(ReadFile(fs::path(local.path) / "one"), bytes);
    EXPECT_EQ(ReadFile(fs::path(local.path) / "two"), otherBytes);
    EXPECT_EQ(names, std::vector<std::string>{"mine"});
    EXPECT_EQ(otherNames, std::vector<std::string>{"theirs"});
    other.Quit();
}

}  // namespace
