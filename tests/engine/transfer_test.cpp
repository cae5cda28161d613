// Transfers, listings and directory copies against the scripted server: exact commands, the data
// that arrives, faults, and cancel in every waiting state.

#include "support/transfer_fixture.h"

#include <cstdlib>

namespace {

class TransferTest : public TransferFixture {};

// --- Downloads -----------------------------------------------------------------------------

TEST_F(TransferTest, DownloadIsByteExactAndTakesTheSizeFromThe150Reply)
{
    const std::string bytes = RandomBytes(1234);
    served.files["f.bin"] = bytes;
    served.preliminary = "150 Opening BINARY mode data connection for f.bin (1234 bytes)\r\n";
    const fs::path target = fs::path(local.path) / "f.bin";

    EXPECT_EQ(session.RetrieveFile("f.bin", target), kCompletion);
    EXPECT_EQ(ReadFile(target), bytes);
    EXPECT_EQ(session.transferTotal, 1234);
    EXPECT_EQ(session.transferDone, 1234);
    const auto commands = Commands();
    ASSERT_EQ(commands.size(), 3u);
    EXPECT_EQ(commands[0], "TYPE I");
    EXPECT_TRUE(commands[1].starts_with("PORT 127,0,0,1,"));
    EXPECT_EQ(commands[2], "RETR f.bin");
    EXPECT_EQ(host.waits, (std::vector<std::string>{"Retrieving f.bin From " + session.hostName}));
    const auto log = TakeLog();
    EXPECT_TRUE(LogHas(log, "Tessaline: Closing Listener Socket"));
    EXPECT_TRUE(LogHas(log, "Received 1234 characters in 0 seconds (1234 bytes/sec)"));
    EXPECT_TRUE(SessionIdle());

    // Without a byte count in the reply the size stays unknown; an empty file is a file too.
    served.files["empty"] = "";
    served.preliminary = "150 Here it comes.\r\n";
    EXPECT_EQ(session.RetrieveFile("empty", fs::path(local.path) / "empty"), kCompletion);
    EXPECT_EQ(session.transferTotal, 0);
    EXPECT_TRUE(fs::exists(fs::path(local.path) / "empty"));
    EXPECT_EQ(fs::file_size(fs::path(local.path) / "empty"), 0u);
}

TEST_F(TransferTest, AsciiDownloadsGetLocalLineEndsAndAsciiUploadsSendCrLf)
{
    served.files["notes.txt"] = "one\r\ntwo\r\nlone\rcr\r\n";
    session.transferMode = 'A';
    EXPECT_EQ(session.RetrieveFile("notes.txt", fs::path(local.path) / "notes.txt"), kCompletion);
    EXPECT_EQ(ReadFile(fs::path(local.path) / "notes.txt"), "one\ntwo\nlone\rcr\n");

    settings.transferMode = 'A';
    WriteFile(fs::path(local.path) / "up.txt", "x\ny\n");
    EXPECT_EQ(session.StoreFile("up.txt", fs::path(local.path) / "up.txt"), kCompletion);
    std::lock_guard guard(served.lock);
    EXPECT_EQ(served.stored["up.txt"], "x\r\ny\r\n");
}

TEST_F(TransferTest, RefusedPortStillTransfersAndARefusedDataCommandCreatesNothing)
{
    served.replies["PORT"] = "500 Illegal PORT command\r\n";
    served.files["f"] = "data";
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
    EXPECT_TRUE(LogHas(TakeLog(), "remote host not responding to port command."));

    EXPECT_EQ(session.RetrieveFile("missing", fs::path(local.path) / "missing"), 0);
    EXPECT_TRUE(fs::is_empty(fs::path(local.path)) || !fs::exists(fs::path(local.path) / "missing"));
    for (const auto& entry : fs::directory_iterator(local.path))
        EXPECT_EQ(entry.path().filename(), "f") << "left behind: " << entry.path();
    EXPECT_TRUE(SessionIdle());
}

TEST_F(TransferTest, AServerThatNeverConnectsEndsTheDownloadAtTheTimeOut)
{
    settings.retry = 1;
    served.files["f"] = "never sent";
    served.instead = [](Control& control) { control.Pause(3s); };
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), 0);
    EXPECT_TRUE(LogHas(TakeLog(), "accept: Connection timed out, try connecting again."));
    EXPECT_TRUE(fs::is_empty(local.path));
    EXPECT_TRUE(SessionIdle());
}

TEST_F(TransferTest, DataConnectionsFromAnotherAddressAreRefused)
{
    served.files["f"] = "the real data";
    served.instead = [](Control& control) {
        ASSERT_TRUE(control.OpenData("127.0.0.2"));
        control.Pause(100ms);
        control.CloseData();
        ASSERT_TRUE(control.OpenData("127.0.0.1"));
        control.DataSend("the real data");
        control.CloseData();
        control.SendLine("226 Transfer complete");
    };
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
        served.files[name] = "x";
    session.transferMode = 'F';
    for (const char* name : {"notes.txt", "README", "a.tar.gz", "x.bin", "letter.doc"})
        EXPECT_EQ(session.RetrieveFile(name, fs::path(local.path) / name), kCompletion) << name;
    // Uploads in automatic mode are always binary.
    settings.transferMode = 'F';
    WriteFile(fs::path(local.path) / "up.txt", "x");
    EXPECT_EQ(session.StoreFile("up.txt", fs::path(local.path) / "up.txt"), kCompletion);
    ::unsetenv("XDG_DATA_HOME");

    std::vector<std::string> types;
    for (const std::string& command : Commands()) {
        if (command.starts_with("TYPE"))
            types.push_back(command);
    }
    // A type the connection has already is not asked for again.
    EXPECT_EQ(types, (std::vector<std::string>{"TYPE A", "TYPE I", "TYPE L 8", "TYPE I"}));
}

// --- Cancel --------------------------------------------------------------------------------

TEST_F(TransferTest, CancelWhileWaitingForTheDataConnection)
{
    served.files["f"] = "never sent";
    // The server never connects, but answers the quit that follows the cancel.
    served.instead = [this](Control& control) {
        while (control.Connected() && server.Commands().back() != "quit")
            control.Pause(10ms);
        control.SendLine("221 Goodbye.");
        control.Close();
    };
    host.cancelWhen = [this](CFtpSession&) { return server.Commands().back() == "RETR f"; };
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), -1);
    EXPECT_TRUE(session.transferAborted);
    EXPECT_FALSE(session.connected);
    EXPECT_TRUE(SessionIdle());
    EXPECT_TRUE(fs::is_empty(local.path));

    // The next connect begins with quit and works.
    session.Quit();
    ASSERT_NE(session.Connect(), -1);
    host.cancelWhen = nullptr;
    {
        std::lock_guard guard(served.lock);
        served.instead = nullptr;
    }
    EXPECT_EQ(session.RetrieveFile("f", fs::path(local.path) / "f"), kCompletion);
}

TEST_F(TransferTest, CancelInTheMiddleOfADownloadKeepsTheEarlierFile)
{
    const fs::path target = fs::path(local.path) / "f";
    WriteFile(target, "the file that was here");
    served.files["f"] = "x";
    served.instead = [](Control& control) {
        if (control.OpenData()) {
            control.DataSend(RandomBytes(100000));
            control.Pause(30s);
        }
    };
    host.cancelWhen = [](CFtpSession& session) {
        std::lock_guard guard(session.operationStatus.lock);
        return session.transferDone >= 100000;
    };
    EXPECT_EQ(session.RetrieveFile("f", target), -1);
    EXPECT_EQ(ReadFile(target), "the file that was here");
    EXPECT_EQ(std::distance(fs::directory_iterator(local.path), fs::directory_iterator()), 1);
    EXPECT_TRUE(LogHas(TakeLog(), "Deleted partially downloaded file"));
    EXPECT_TRUE(SessionIdle());
}

TEST_F(TransferTest, CancelInTheMiddleOfAnUploadThatTheServerStoppedReading)
{
    const fs::path big = fs::path(local.path) / "big";
    WriteFile(big, "");
    fs::resize_file(big, 64 << 20);
    settings.sendBytes = 65536;
    served.instead = [](Control& control) {
        if (control.OpenData())
            control.Pause(30s);
    };
    host.cancelWhen = [](CFtpSession& session) {
        std::lock_guard guard(session.operationStatus.lock);
        return session.transferDone > 0;
    };
    EXPECT_EQ(session.StoreFile("big", big), -1);
    EXPECT_TRUE(session.transferAborted);
    EXPECT_TRUE(LogHas(TakeLog(), "Transfer aborted by User"));
    EXPECT_TRUE(SessionIdle());
}

// --- Listings ------------------------------------------------------------------------------

const char* const kListing =
    "total 12\r\n"
    "drwxr-xr-x   2 anna     staff        512 Mar  5 12:30 docs\r\n"
    "-rw-r--r--   1 anna     staff       1234 Jan 11  2021 read me.txt\r\n"
    "lrwxrwxrwx   1 anna     staff          4 Jan 11  2021 pub -> ../pub\r\n"
    "crw-rw-rw-   1 root     root       1,   3 Jan 11  2021 null\r\n";

TEST_F(TransferTest, ListingsAreReadThroughTheParserWithTheCountedColumns)
{
    served.files["LIST"] = kListing;
    CListingReader reader(session);
    CDirEntry entry;
    std::vector<std::string> names;
    for (ListingStep step = reader.OpenListing(entry); step == ListingStep::Entry; step = reader.NextListingEntry(entry))
        names.push_back(entry.name + "|" + entry.size + "|" + std::to_string(entry.isFile));
    EXPECT_EQ(session.listColumnCount, 9);
    EXPECT_EQ(names, (std::vector<std::string>{"docs|512|0", "read me.txt|1234|1", "pub -> ../pub|4|0"}));
    EXPECT_EQ(ReadFile(session.listingFile), kListing);  // the raw bytes, CR LF and all
    EXPECT_EQ(host.waits.back(), "Getting Directory From: " + session.hostName);

    // A one-line listing keeps the count of the last one.
    served.files["LIST"] = "-rw-r--r--   1 anna     1234 Jan 11  2021 only\r\n";
    reader.OpenListing(entry);
    EXPECT_EQ(session.listColumnCount, 9);
}

TEST_F(TransferTest, PermissionDeniedEndsTheListingAndTellsTheUser)
{
    served.files["LIST"] =
        "total 4\r\n"
        "-rw-r--r--   1 anna     staff       1 Jan 11  2021 first\r\n"
        "ls: cannot open directory .: Permission denied\r\n"
        "-rw-r--r--   1 anna     staff       1 Jan 11  2021 never\r\n";
    CListingReader reader(session);
    CDirEntry entry;
    ASSERT_EQ(reader.OpenListing(entry), ListingStep::Entry);
    EXPECT_EQ(entry.name, "first");
    EXPECT_EQ(reader.NextListingEntry(entry), ListingStep::PermissionDenied);
    EXPECT_EQ(host.informed, (std::vector<std::string>{"Permission to obtain a directory listing was denied"}));
}

TEST_F(TransferTest, CancelBeforeTheListingArrivesShowsAnEmptyDirectory)
{
    served.files["LIST"] = "x";
    served.instead = [](Control& control) { control.Pause(30s); };
    host.cancelWhen = [this](CFtpSession&) { return server.Commands().back() == "LIST"; };
    CListingReader reader(session);
    CDirEntry entry;
    EXPECT_EQ(reader.OpenListing(entry), ListingStep::End);
    EXPECT_TRUE(LogHas(TakeLog(), "Couldn't open TempDirFile for reading."));
    EXPECT_TRUE(SessionIdle());
}

// --- Directory copies ----------------------------------------------------------------------

TEST_F(TransferTest, DirectoryDownloadNeverWritesOutsideItsTarget)
{
    served.files["LIST"] =
        "total 4\r\n"
        "drwxr-xr-x   2 anna     staff     512 Mar  5 12:30 .\r\n"
        "drwxr-xr-x   2 anna     staff     512 Mar  5 12:30 ..\r\n"
        "-rw-r--r--   1 anna     staff       4 Mar  5 12:30 ../escaped\r\n"
        "-rw-r--r--   1 anna     staff       4 Mar  5 12:30 /tmp/absolute\r\n"
        "-rw-r--r--   1 anna     staff       4 Mar  5 12:30 a/b\r\n"
        "-rw-r--r--   1 anna     staff       4 Mar  5 12:30 ok.txt\r\n";
    for (const char* name : {"../escaped", "/tmp/absolute", "a/b", "ok.txt"})
        served.files[name] = "data";
    const fs::path target = fs::path(local.path) / "copy";

    EXPECT_TRUE(DownloadDirectory(session, "evil", target));
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
    const auto commands = Commands();
    EXPECT_EQ(commands.front(), "CWD evil");
    EXPECT_EQ(commands.back(), "CWD ..");
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "RETR ok.txt"), 1);
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const std::string& c) { return c.starts_with("RETR"); }), 1);

    // Into a directory that exists already nothing is copied and the server is not asked.
    const auto before = server.Commands().size();
    EXPECT_FALSE(DownloadDirectory(session, "evil", target));
    EXPECT_EQ(server.Commands().size(), before);
}

TEST_F(TransferTest, DirectoryUploadStopsAtARefusedDirectory)
{
    const fs::path tree = fs::path(local.path) / "tree";
    fs::create_directories(tree / "sub");
    WriteFile(tree / "a.txt", "a");
    WriteFile(tree / "sub" / "b.txt", "b");

    EXPECT_TRUE(session.UploadDirectory(tree, "tree"));
    EXPECT_EQ(Commands().front(), "MKD tree");
    EXPECT_EQ(Commands().back(), "CWD ..");
    {
        std::lock_guard guard(served.lock);
        EXPECT_EQ(served.stored, (std::map<std::string, std::string>{{"a.txt", "a"}, {"b.txt", "b"}}));
    }

    {
        std::lock_guard guard(served.lock);
        served.replies["MKD"] = "550 Permission denied\r\n";
    }
    const auto before = server.Commands().size();
    EXPECT_FALSE(session.UploadDirectory(tree, "tree"));
    EXPECT_EQ(server.Commands().size(), before + 2);  // MKD and its VMS-style retry, nothing else
    EXPECT_EQ(host.informed, (std::vector<std::string>{"Error Creating Remote Directory\nPossibly a Premissions Problem"}));
    EXPECT_TRUE(session.transferAborted);
}

} // namespace
