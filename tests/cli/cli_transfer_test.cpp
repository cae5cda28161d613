// SPDX-License-Identifier: GPL-3.0-or-later
// File transfers through tessaline-ftp against real servers (pyftpdlib and vsftpd on loopback, over
// IPv6, and from a client behind a NAT router): the bytes that arrive on either side, where they
// land, and whether the exit status tells the truth.

#include "remote/local_names.h"
#include "support/cli_runner.h"
#include "support/network_namespaces.h"
#include "support/real_ftp_servers.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string RandomBytes(std::size_t size)
{
    std::mt19937 random(static_cast<unsigned>(size));
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xff);
    return bytes;
}

// The names in a directory, sorted; temporary download files would show up here too.
std::vector<std::string> NamesIn(const fs::path& directory)
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Size and hash of a file's contents: short enough to print when trees differ.
std::string Summary(const std::string& bytes)
{
    return std::to_string(bytes.size()) + " bytes #" + std::to_string(std::hash<std::string>{}(bytes));
}

// Everything below `top`: relative path -> Summary of the contents, "/" for a directory.
std::map<std::string, std::string> TreeOf(const fs::path& top)
{
    std::map<std::string, std::string> tree;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(top, error))
        tree[fs::relative(entry.path(), top).string()] = entry.is_directory() ? "/" : Summary(ReadFile(entry.path()));
    return tree;
}

void SetTime(const fs::path& path, std::time_t time)
{
    const timespec times[2] = {{0, UTIME_OMIT}, {time, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

std::time_t TimeOf(const fs::path& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mtime : 0;
}

// The modification time of every file below `top`, by relative path.
std::map<std::string, std::time_t> TimesIn(const fs::path& top)
{
    std::map<std::string, std::time_t> times;
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(top, error))
        if (entry.is_regular_file())
            times[fs::relative(entry.path(), top).string()] = TimeOf(entry.path());
    return times;
}

// Files at the top and one and two levels down, an empty directory, an empty file, blanks in names.
// "a sub" sorts before the top's own files, so an upload that did not find its way back out of it
// would store them in the wrong directory. Every directory with entries has at least two.
void MakeTree(const fs::path& top)
{
    fs::create_directories(top / "a sub" / "deep one");
    fs::create_directory(top / "empty dir");
    WriteFile(top / "a sub" / "deep one" / "d 1.bin", RandomBytes(3000));
    WriteFile(top / "a sub" / "deep one" / "d2.bin", "\r\n\0\r"s);
    WriteFile(top / "a sub" / "s 1.txt", "sub\n");
    WriteFile(top / "a sub" / "s2", "");
    WriteFile(top / "top file.txt", "top\r\nline\n");
    WriteFile(top / "z last", RandomBytes(70000));
}

// ls output by name: isFile and size; the other fields depend on the server's clock and users.
std::map<std::string, std::pair<std::string, std::string>> ListedByName(const std::string& out)
{
    std::map<std::string, std::pair<std::string, std::string>> entries;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (std::size_t tab; (tab = line.find('\t', from)) != std::string::npos; from = tab + 1)
            fields.push_back(line.substr(from, tab - from));
        fields.push_back(line.substr(from));
        if (fields.size() == 5)
            entries[fields[4]] = {fields[0], fields[1]};
        else
            entries["malformed: " + line] = {};
    }
    return entries;
}

// One server, a remote working directory in it (`remoteDir` on the server's disk), and a local
// directory of the test's own. Each server's fixture fills in how to reach it.
class TransferTest : public ::testing::Test {
protected:
    CliRun Run(std::vector<std::string> args) const { return RunIn(remoteCwd, std::move(args)); }

    CliRun RunIn(const std::string& cwd, std::vector<std::string> args) const
    {
        std::vector<std::string> full = {"--host", host, "--user", user, "--password", password, "--cwd", cwd};
        full.insert(full.end(), options.begin(), options.end());
        full.insert(full.end(), args.begin(), args.end());
        return RunCli(full, config.path, {}, netns);
    }

    fs::path Local(const std::string& name) const { return fs::path(local.path) / name; }
    fs::path Remote(const std::string& name) const { return remoteDir / name; }

    void WriteSettings(const std::string& text) const
    {
        fs::create_directories(fs::path(config.path) / "Corvane");
        WriteFile(fs::path(config.path) / "Corvane" / "Tessaline.conf", text);
    }

    void ExpectBinaryRoundTrips() const
    {
        for (const std::size_t size : {0, 1, 5 << 20}) {
            SCOPED_TRACE("size " + std::to_string(size));
            const std::string bytes = RandomBytes(size);
            const std::string name = "file " + std::to_string(size) + ".dat";
            WriteFile(Local(name), bytes);
            const CliRun put = Run({"--mode", "I", "put", Local(name), name});
            EXPECT_EQ(put.status, 0) << put.err;
            EXPECT_TRUE(ReadFile(Remote(name)) == bytes) << "the server's copy differs";
            const CliRun get = Run({"--mode", "I", "get", name, Local("back " + name)});
            EXPECT_EQ(get.status, 0) << get.err;
            EXPECT_TRUE(fs::exists(Local("back " + name)));
            EXPECT_TRUE(ReadFile(Local("back " + name)) == bytes) << "the downloaded copy differs";
        }
        EXPECT_EQ(NamesIn(local.path).size(), 6u) << "temporary download files left behind";
    }

    // LF text goes up in ASCII and comes back as LF, whatever the server keeps on its disk. One byte
    // per read, so every CR LF from the server arrives split in two.
    void ExpectAsciiRoundTrip(const std::string& expectedOnDisk) const
    {
        WriteSettings("[ProgramOptions]\nReceive Bytes=1\n");
        const std::string text = kText;
        WriteFile(Local("text.txt"), text);
        const CliRun put = Run({"--mode", "A", "put", Local("text.txt"), "text.txt"});
        EXPECT_EQ(put.status, 0) << put.err;
        EXPECT_EQ(ReadFile(Remote("text.txt")), expectedOnDisk);
        const CliRun get = Run({"--mode", "A", "get", "text.txt", Local("back.txt")});
        EXPECT_EQ(get.status, 0) << get.err;
        EXPECT_EQ(ReadFile(Local("back.txt")), text);
    }

    // putdir and getdir copy a tree exactly, into the directory asked for and nowhere else, and
    // finish a copy when run again.
    void ExpectTreeRoundTrip() const
    {
        MakeTree(Local("my tree"));
        const auto tree = TreeOf(Local("my tree"));
        const CliRun putdir = Run({"putdir", Local("my tree")});
        EXPECT_EQ(putdir.status, 0) << putdir.err;
        EXPECT_EQ(TreeOf(Remote("my tree")), tree);
        EXPECT_EQ(NamesIn(remoteDir), std::vector<std::string>{"my tree"});
        EXPECT_EQ(NamesIn(remoteDir.parent_path()), std::vector<std::string>{remoteDir.filename().string()});

        const CliRun getdir = Run({"getdir", "my tree", Local("copy")});
        EXPECT_EQ(getdir.status, 0) << getdir.err;
        EXPECT_EQ(TreeOf(Local("copy")), tree);

        // Run again, each goes on into the directory that is there; a file in its place stops getdir.
        fs::create_directory(Local("existing"));
        WriteFile(Local("existing") / "mine", "mine");
        const CliRun merged = Run({"getdir", "my tree", Local("existing")});
        EXPECT_EQ(merged.status, 0) << merged.err;
        auto withMine = tree;
        withMine["mine"] = Summary("mine");
        EXPECT_EQ(TreeOf(Local("existing")), withMine);
        WriteFile(Local("in the way"), "mine");
        EXPECT_EQ(Run({"getdir", "my tree", Local("in the way")}).status, 7);

        WriteFile(Local("my tree") / "top file.txt", "changed");
        const CliRun again = Run({"putdir", Local("my tree")});
        EXPECT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(TreeOf(Remote("my tree")), TreeOf(Local("my tree")));
    }

    void ExpectListingKeepsNamesWhole() const
    {
        fs::create_directory(Remote("names"));
        fs::create_directory(Remote("names") / "a dir");
        WriteFile(Remote("names") / "two  blanks", "123");
        WriteFile(Remote("names") / "trailing ", "12345");
        WriteFile(Remote("names") / "plain", "1");
        const CliRun ls = RunIn(remoteCwd + "/names", {"ls"});
        EXPECT_EQ(ls.status, 0) << ls.err;
        auto listed = ListedByName(ls.out);
        if (listed.count("a dir"))
            listed["a dir"].second.clear();  // a directory's size depends on the file system
        const std::map<std::string, std::pair<std::string, std::string>> expected = {
            {"a dir", {"0", ""}}, {"plain", {"1", "1"}}, {"trailing ", {"1", "5"}}, {"two  blanks", {"1", "3"}}};
        EXPECT_EQ(listed, expected) << ls.out;
    }

    // putdir keeps each file's time on a server that can set times (else the log says so once),
    // getdir the server's times where its listing gives them, get the one file's time the server
    // tells; --no-keep-times gives the time of the copy.
    void ExpectTimesKept(bool serverSetsTimes, bool listingGivesTimes) const
    {
        MakeTree(Local("timed"));
        std::time_t time = 1600000000;
        for (const auto& entry : fs::recursive_directory_iterator(Local("timed")))
            if (entry.is_regular_file())
                SetTime(entry.path(), time += 86400);
        const CliRun putdir = Run({"putdir", Local("timed")});
        EXPECT_EQ(putdir.status, 0) << putdir.err;
        const std::string cannot = "The server cannot set modification times";
        EXPECT_EQ(putdir.err.find(cannot) == std::string::npos, serverSetsTimes) << putdir.err;
        EXPECT_EQ(putdir.err.find(cannot), putdir.err.rfind(cannot)) << "said more than once";
        if (serverSetsTimes) {
            EXPECT_EQ(TimesIn(Remote("timed")), TimesIn(Local("timed")));
        }
        for (const auto& entry : fs::recursive_directory_iterator(Remote("timed")))
            if (entry.is_regular_file())
                SetTime(entry.path(), time += 86400);
        const CliRun getdir = Run({"getdir", "timed", Local("back")});
        EXPECT_EQ(getdir.status, 0) << getdir.err;
        EXPECT_EQ(getdir.err.find("Tessaline: MDTM"), std::string::npos) << "a copy asks no file's time";
        if (listingGivesTimes) {
            EXPECT_EQ(TimesIn(Local("back")), TimesIn(Remote("timed")));
        }
        const CliRun get = Run({"get", "timed/top file.txt", Local("one")});
        EXPECT_EQ(get.status, 0) << get.err;
        EXPECT_EQ(TimeOf(Local("one")), TimeOf(Remote("timed") / "top file.txt"));
        EXPECT_EQ(Run({"--no-keep-times", "get", "timed/top file.txt", Local("fresh")}).status, 0);
        EXPECT_GT(TimeOf(Local("fresh")), time);
    }

    static constexpr char kText[] = "first line\nsecond\n\na lone \r stays\nlast line without an end";
    static constexpr char kTextWithCrLf[] = "first line\r\nsecond\r\n\r\na lone \r stays\r\nlast line without an end";

    // vsftpd serves anonymous users as kVsftpdUser, who may read the root and write only below it.
    void PrepareVsftpdRoot()
    {
        fs::permissions(root.path,
                        fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read
                            | fs::perms::others_exec);
        remoteCwd = "pub";
        remoteDir = fs::path(root.path) / remoteCwd;
        fs::create_directory(remoteDir);
        const passwd* ftp = ::getpwnam(kVsftpdUser);
        ASSERT_NE(ftp, nullptr);
        ASSERT_EQ(::chown(remoteDir.c_str(), ftp->pw_uid, ftp->pw_gid), 0);
        user = "anonymous";
        password = "me@example.org";
    }

    TempDir root;
    TempDir config;
    TempDir local;
    std::vector<std::string> options;  // given before the command in every run
    std::string netns;                 // the network namespace the runs are made in; empty: ours
    std::string host;
    std::string user;
    std::string password;
    std::string remoteCwd;
    fs::path remoteDir;
};

// pyftpdlib 1.5 stalls when several active-mode transfers run at once (curl's too: the server
// never ends some of the data connections), and on loopback automatic mode is active.
const std::vector<std::string> kOneActiveConnection = {"--parallel", "1"};

class PyftpdlibTransferTest : public TransferTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Started()) << server.ServerLog();
        host = "127.0.0.1:" + std::to_string(server.Port());
        user = "u";
        password = "p";
        remoteCwd = "home dir";
        remoteDir = fs::path(root.path) / remoteCwd;
        fs::create_directory(remoteDir);
        options = kOneActiveConnection;
    }

    PyftpdlibServer server{root.path, "u", "p"};
};

TEST_F(PyftpdlibTransferTest, BinaryFilesComeBackByteForByte)
{
    ExpectBinaryRoundTrips();
}

TEST_F(PyftpdlibTransferTest, AsciiTextComesBackWithLocalLineEnds)
{
    // pyftpdlib sends CR LF in ASCII and keeps LF on its disk.
    ExpectAsciiRoundTrip(kText);
}

TEST_F(PyftpdlibTransferTest, DirectoryTreesCopyExactlyBothWays)
{
    ExpectTreeRoundTrip();
}

TEST_F(PyftpdlibTransferTest, ListingKeepsNamesWithBlanksWhole)
{
    ExpectListingKeepsNamesWhole();
}

TEST_F(PyftpdlibTransferTest, CopiesKeepModificationTimes)
{
    ExpectTimesKept(true, true);
}

TEST_F(PyftpdlibTransferTest, GetContinueGoesOnFromThePartialFileByteForByte)
{
    const std::string bytes = RandomBytes(300000);
    WriteFile(Remote("f.bin"), bytes);
    WriteFile(PartialDownloadPath(Local("f.bin").string()), bytes.substr(0, 120000));
    const CliRun run = Run({"--continue", "get", "f.bin", Local("f.bin")});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("Tessaline: REST 120000\n"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(Local("f.bin")), bytes);
    EXPECT_EQ(NamesIn(local.path), std::vector<std::string>{"f.bin"});
}

TEST_F(PyftpdlibTransferTest, FailedDownloadsLeaveNoFileAndKeepTheOldOne)
{
    fs::create_directory(Remote("a directory"));

    EXPECT_EQ(Run({"get", "missing", Local("new.txt")}).status, 6);
    EXPECT_FALSE(fs::exists(Local("new.txt")));

    WriteFile(Local("old.txt"), "old");
    EXPECT_EQ(Run({"get", "missing", Local("old.txt")}).status, 6);
    EXPECT_EQ(Run({"get", "a directory", Local("old.txt")}).status, 6);
    EXPECT_EQ(ReadFile(Local("old.txt")), "old");
    EXPECT_EQ(NamesIn(local.path), std::vector<std::string>{"old.txt"});
}

// A download that cannot be kept locally fails, whatever the server's final reply says.
TEST_F(PyftpdlibTransferTest, DownloadsThatCannotBeStoredLocallyExitWithTheLocalFileStatus)
{
    WriteFile(Remote("file.txt"), "content");
    // An empty file: the server has nothing left to send when we close, so it always answers 226.
    WriteFile(Remote("empty.txt"), "");

    const CliRun noDirectory = Run({"get", "empty.txt", Local("no such directory/empty.txt")});
    EXPECT_EQ(noDirectory.status, 7) << noDirectory.err;
    EXPECT_FALSE(fs::exists(Local("no such directory")));

    // A directory of that name in the way of a file inside a target directory.
    fs::create_directories(Local("a directory") / "file.txt");
    const CliRun ontoDirectory = Run({"get", "file.txt", Local("a directory")});
    EXPECT_EQ(ontoDirectory.status, 7) << ontoDirectory.err;
    EXPECT_TRUE(fs::is_directory(Local("a directory") / "file.txt"));
    EXPECT_EQ(NamesIn(local.path), std::vector<std::string>{"a directory"});
}

// An upload whose local side cannot be read fails before anything reaches the server, so no remote
// file is emptied and no empty remote directory is made.
TEST_F(PyftpdlibTransferTest, UploadsOfMissingLocalFilesExitWithSevenAndKeepTheRemoteFile)
{
    WriteFile(Remote("keep.txt"), "precious");
    const CliRun put = Run({"put", Local("missing.txt"), "keep.txt"});
    EXPECT_EQ(put.status, 7) << put.err;
    EXPECT_EQ(ReadFile(Remote("keep.txt")), "precious");

    const CliRun putdir = Run({"putdir", Local("missing dir")});
    EXPECT_EQ(putdir.status, 7) << putdir.err;
    EXPECT_FALSE(fs::exists(Remote("missing dir")));

    // A link to a directory cannot go up as a file: either it is copied as the directory or the
    // upload is reported as failed, never an empty file and success.
    MakeTree(Local("tree"));
    fs::create_directory_symlink("a sub", Local("tree") / "link");
    const CliRun withLink = Run({"putdir", Local("tree")});
    const fs::path remoteLink = Remote("tree") / "link";
    EXPECT_TRUE(withLink.status == 1 || TreeOf(remoteLink) == TreeOf(Local("tree") / "a sub"))
        << "exit status " << withLink.status << "; remote \"link\" is "
        << (fs::is_regular_file(remoteLink) ? "a file of " + std::to_string(fs::file_size(remoteLink)) + " bytes"
                                            : "not a file");
}

struct TargetCase {
    std::vector<std::string> args;  // the command, run in the local directory
    std::string written;            // where the file or tree lands, relative to it
};

// get and getdir write into the current directory (never the desktop's download directory), and a
// file goes inside a directory named as its target.
TEST_F(PyftpdlibTransferTest, WhereGetAndGetdirWrite)
{
    WriteSettings("[TransOptions]\nDefault Download Directory=" + Local("downloads").string() + "/\n");
    fs::create_directories(Remote("sub") / "tree");
    WriteFile(Remote("sub") / "f.txt", "remote");
    WriteFile(Remote("sub") / "tree" / "t.txt", "tree");
    fs::create_directories(Local("into"));
    const std::vector<TargetCase> cases = {
        {{"get", "sub/f.txt"}, "f.txt"},
        {{"get", "sub/f.txt", "."}, "f.txt"},
        {{"get", "sub/f.txt", "into/"}, "into/f.txt"},
        {{"get", "sub/f.txt", "into"}, "into/f.txt"},
        {{"get", "sub/f.txt", "renamed.txt"}, "renamed.txt"},
        {{"get", "sub/f.txt", "into/renamed.txt"}, "into/renamed.txt"},
        {{"getdir", "sub/tree"}, "tree/t.txt"},
        {{"getdir", "sub/tree", "into/copy"}, "into/copy/t.txt"},
    };
    const fs::path before = fs::current_path();
    fs::current_path(local.path);
    for (const TargetCase& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const CliRun run = Run(c.args);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_TRUE(fs::is_regular_file(Local(c.written)));
        EXPECT_EQ(NamesIn(local.path).size(), c.written.starts_with("into/") ? 1u : 2u) << "written elsewhere too";
        const bool inside = c.written.starts_with("into/");
        for (const std::string& name : NamesIn(local.path)) {
            if (name != "into")
                fs::remove_all(Local(name));
            else if (inside)
                fs::remove_all(Local("into") / *std::next(fs::path(c.written).begin()));
        }
    }
    fs::current_path(before);
    EXPECT_FALSE(fs::exists(Local("downloads")));

    // Uploads take the local name.
    WriteFile(Local("up load.txt"), "up");
    MakeTree(Local("up tree"));
    EXPECT_EQ(Run({"put", Local("up load.txt")}).status, 0);
    EXPECT_EQ(ReadFile(Remote("up load.txt")), "up");
    EXPECT_EQ(Run({"putdir", Local("up tree")}).status, 0);
    EXPECT_EQ(TreeOf(Remote("up tree")), TreeOf(Local("up tree")));
}

class VsftpdTransferTest : public TransferTest {
protected:
    void SetUp() override
    {
        if (!VsftpdServer::Available())
            GTEST_SKIP() << "vsftpd runs only as root";
        PrepareVsftpdRoot();
        server = std::make_unique<VsftpdServer>(root.path);
        ASSERT_TRUE(server->Started()) << server->ServerLog();
        host = "127.0.0.1:" + std::to_string(server->Port());
    }

    std::unique_ptr<VsftpdServer> server;
};

// Hosts that take two connections from one address (vsftpd's max_per_ip, pure-ftpd's -C): each
// copy goes on with the two it has, and every file arrives whole, down and up.
TEST_F(VsftpdTransferTest, ACopyGoesOnWithTheConnectionsAHostThatCapsThemTakes)
{
    VsftpdOptions capped;
    capped.maxPerIp = 2;
    server = std::make_unique<VsftpdServer>(root.path, capped);
    ASSERT_TRUE(server->Started()) << server->ServerLog();
    const PureFtpdServer pureFtpd(root.path, "anna", "secret", 2);
    ASSERT_TRUE(pureFtpd.Started()) << pureFtpd.ServerLog();
    fs::create_directory(Local("many"));
    for (int i = 0; i < 200; ++i)
        WriteFile(Local("many") / ("f" + std::to_string(i)), std::string(static_cast<std::size_t>(i) * 37, 'x'));
    const auto tree = TreeOf(Local("many"));

    const struct {
        int port;
        std::string user;
        std::string refusal;
    } hosts[] = {{server->Port(), "anonymous", "(421 There are too many connections from your internet address.)"},
                 {pureFtpd.Port(), "anna", "(421 Too many connections (2) from this IP)"}};
    for (const auto& h : hosts) {
        host = "127.0.0.1:" + std::to_string(h.port);
        user = h.user;
        password = "secret";
        const std::string name = "many " + h.user;
        for (const std::vector<std::string>& copy :
             {std::vector<std::string>{"putdir", Local("many"), name}, {"getdir", name, Local(name)}}) {
            const CliRun run = Run(copy);
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_NE(run.err.find("Connections lowered to 2 for this copy: the server refused 2 more " + h.refusal),
                      std::string::npos)
                << run.err;
            // The connection that was let in carried files too, its lines marked with its number.
            const std::string command = copy[0] == "putdir" ? "STOR" : "RETR";
            bool others = false;
            for (const char* number : {"\n(2) ", "\n(3) ", "\n(4) "})
                others = others || run.err.find(number + ("Tessaline: " + command)) != std::string::npos;
            EXPECT_TRUE(others) << run.err;
        }
        EXPECT_EQ(TreeOf(Remote(name)), tree);
        EXPECT_EQ(TreeOf(Local(name)), tree);
    }
}

// An interrupted copy stops every connection at once and leaves no part of a file behind.
TEST_F(VsftpdTransferTest, AnInterruptedCopyStopsEveryConnectionAndLeavesNoPartOfAFile)
{
    VsftpdOptions slow;
    slow.maxRate = 100000;
    server = std::make_unique<VsftpdServer>(root.path, slow);
    ASSERT_TRUE(server->Started()) << server->ServerLog();
    host = "127.0.0.1:" + std::to_string(server->Port());
    fs::create_directory(Remote("slow"));
    for (int i = 0; i < 8; ++i)
        WriteFile(Remote("slow") / ("f" + std::to_string(i)), std::string(400000, 'x'));

    CliProcess copy(
        {"--host", host, "--user", user, "--password", password, "--cwd", remoteCwd, "getdir", "slow", Local("slow")},
        config.path);
    std::this_thread::sleep_for(std::chrono::seconds(1));  // each of the four is well into a file
    copy.Signal(SIGINT);
    const CliRun run = copy.Finish();
    EXPECT_EQ(run.status, 128 + SIGINT) << run.err;
    for (const char* connection : {"(1) ", "(2) ", "(3) ", "(4) "})
        EXPECT_NE(run.err.find(std::string(connection) + "Deleted partially downloaded file"), std::string::npos)
            << connection << run.err;
    EXPECT_NE(run.err.find(" of the 8 files were not copied.\n"), std::string::npos) << run.err;
    EXPECT_EQ(NamesIn(Local("slow")), std::vector<std::string>{});
}

TEST_F(VsftpdTransferTest, BinaryFilesComeBackByteForByte)
{
    ExpectBinaryRoundTrips();
}

TEST_F(VsftpdTransferTest, AsciiSendsCrLfAndDownloadsGiveLocalLineEnds)
{
    // vsftpd stores what arrives, so its disk shows the line ends that went over the wire.
    ExpectAsciiRoundTrip(kTextWithCrLf);

    // Binary leaves the server's bytes alone; mode F picks ASCII or binary by extension.
    fs::create_directories(fs::path(config.path) / "Tessaline");
    WriteFile(fs::path(config.path) / "Tessaline" / "Extension.ftp", "A TXT\n");
    WriteFile(Remote("text.bin"), kTextWithCrLf);
    EXPECT_EQ(Run({"--mode", "I", "get", "text.txt", Local("binary.txt")}).status, 0);
    EXPECT_EQ(ReadFile(Local("binary.txt")), kTextWithCrLf);
    EXPECT_EQ(Run({"--mode", "F", "get", "text.txt", Local("auto.txt")}).status, 0);
    EXPECT_EQ(ReadFile(Local("auto.txt")), kText);
    EXPECT_EQ(Run({"--mode", "F", "get", "text.bin", Local("auto.bin")}).status, 0);
    EXPECT_EQ(ReadFile(Local("auto.bin")), kTextWithCrLf);
}

TEST_F(VsftpdTransferTest, DirectoryTreesCopyExactlyBothWays)
{
    ExpectTreeRoundTrip();

    // A file the server will not hand out to anonymous users fails the whole copy.
    const fs::path secret = Remote("my tree") / "a sub" / "secret";
    WriteFile(secret, "secret");
    fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
    const CliRun getdir = Run({"getdir", "my tree", Local("partial")});
    // 6 when the refused file's 550 is the copy's last word, 1 when files after it came through.
    EXPECT_TRUE(getdir.status == 6 || getdir.status == 1) << getdir.err;
    EXPECT_FALSE(fs::exists(Local("partial") / "a sub" / "secret"));
}

TEST_F(VsftpdTransferTest, ListingKeepsNamesWithBlanksWhole)
{
    ExpectListingKeepsNamesWhole();
}

// vsftpd sets no times and lists without them: only get keeps one, by MDTM.
TEST_F(VsftpdTransferTest, CopiesSucceedWhereTheServerCannotKeepTimes)
{
    ExpectTimesKept(false, false);
}

// pure-ftpd whose clock is nine hours ahead of UTC: its LIST says 21:00 for a file of 12:00 UTC,
// MLSD says 12:00 UTC, and that is what ls shows, in local time with the year.
class PureFtpdTransferTest : public TransferTest {
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "pure-ftpd runs only as root";
        PrepareVsftpdRoot();
        user = "anna";
        password = "secret";
        server = std::make_unique<PureFtpdServer>(root.path, user, password, 0, "Asia/Tokyo");
        ASSERT_TRUE(server->Started()) << server->ServerLog();
        host = "127.0.0.1:" + std::to_string(server->Port());
    }

    std::unique_ptr<PureFtpdServer> server;
};

TEST_F(PureFtpdTransferTest, ListingsShowTheTrueTimeWhateverTheServersZone)
{
    constexpr std::time_t kNoonUtc = 1796126400;  // 2026-12-01 12:00 UTC
    WriteFile(Remote("noon"), "x");
    SetTime(Remote("noon"), kNoonUtc);
    std::tm local{};
    ::localtime_r(&kNoonUtc, &local);
    char shown[32];
    std::strftime(shown, sizeof shown, "%Y-%m-%d %H:%M", &local);
    const CliRun ls = Run({"ls"});
    EXPECT_EQ(ls.status, 0) << ls.err;
    EXPECT_NE(ls.out.find(std::string("\t") + shown + "\t-rw-r--r--\tnoon\n"), std::string::npos) << ls.out;
}

TEST_F(PureFtpdTransferTest, CopiesKeepModificationTimes)
{
    ExpectTimesKept(true, true);
}

// --- IPv6 on ::1, in active mode (EPRT) and passive mode (EPSV) ------------------------------

bool Ipv6LoopbackWorks()
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    const bool works = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return works;
}

// The parameter is the mode option of every run.
class Ipv6TransferTest : public TransferTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        if (!Ipv6LoopbackWorks())
            GTEST_SKIP() << "this machine has no IPv6 loopback address";
        options = {GetParam()};
    }

    // Lists, downloads and uploads, and the log shows the session went over IPv6 in the mode asked.
    void ExpectEverythingOverIpv6(int port)
    {
        host = "[::1]:" + std::to_string(port);
        const CliRun ls = Run({"ls"});
        EXPECT_EQ(ls.status, 0) << ls.err;
        EXPECT_NE(ls.err.find("Connected to ::1 port " + std::to_string(port) + "\n"), std::string::npos) << ls.err;
        const std::string dataCommand = options[0] == "--active"s ? "Tessaline: EPRT |2|::1|" : "Tessaline: EPSV\n";
        EXPECT_NE(ls.err.find(dataCommand), std::string::npos) << ls.err;
        ExpectBinaryRoundTrips();
        ExpectListingKeepsNamesWhole();
    }

    ServerPlace Loopback6() const
    {
        ServerPlace place;
        place.address = "::1";
        return place;
    }
};

TEST_P(Ipv6TransferTest, Pyftpdlib)
{
    PyftpdlibOptions serverOptions;
    serverOptions.place = Loopback6();
    const PyftpdlibServer server(root.path, "u", "p", serverOptions);
    ASSERT_TRUE(server.Started()) << server.ServerLog();
    user = "u";
    password = "p";
    remoteCwd = "home";
    remoteDir = fs::path(root.path) / remoteCwd;
    fs::create_directory(remoteDir);
    ExpectEverythingOverIpv6(server.Port());
}

TEST_P(Ipv6TransferTest, Vsftpd)
{
    VsftpdOptions serverOptions;
    serverOptions.place = Loopback6();
    if (!VsftpdServer::Available(serverOptions))
        GTEST_SKIP() << "vsftpd runs only as root";
    PrepareVsftpdRoot();
    const VsftpdServer server(root.path, serverOptions);
    ASSERT_TRUE(server.Started()) << server.ServerLog();
    ExpectEverythingOverIpv6(server.Port());
}

INSTANTIATE_TEST_SUITE_P(Modes, Ipv6TransferTest, ::testing::Values("--active", "--passive"),
                         [](const auto& info) { return std::string(info.param).substr(2); });

// --- A client behind a NAT router -----------------------------------------------------------

// tessaline-ftp runs in the client namespace, the server in the server namespace; nothing but the
// router's address rewriting connects them. The parameter names the server.
class NatTransferTest : public TransferTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override
    {
        if (!network.Ready())
            GTEST_SKIP() << "no network namespaces for the NAT test: " << network.Why();
        netns = network.Client();
        ServerPlace place;
        place.address = NatNetwork::kServerAddress;
        place.netns = network.Server();
        int port = 0;
        if (GetParam() == "vsftpd"s) {
            VsftpdOptions serverOptions;
            serverOptions.place = place;
            if (!VsftpdServer::Available(serverOptions))
                GTEST_SKIP() << "vsftpd runs only as root";
            PrepareVsftpdRoot();
            vsftpd = std::make_unique<VsftpdServer>(root.path, serverOptions);
            ASSERT_TRUE(vsftpd->Started()) << vsftpd->ServerLog();
            port = vsftpd->Port();
        } else {
            PyftpdlibOptions serverOptions;
            serverOptions.place = place;
            pyftpdlib = std::make_unique<PyftpdlibServer>(root.path, "u", "p", serverOptions);
            ASSERT_TRUE(pyftpdlib->Started()) << pyftpdlib->ServerLog();
            port = pyftpdlib->Port();
            user = "u";
            password = "p";
            remoteCwd = "home";
            remoteDir = fs::path(root.path) / remoteCwd;
            fs::create_directory(remoteDir);
        }
        host = std::string(NatNetwork::kServerAddress) + ":" + std::to_string(port);
    }

    NatNetwork network;  // made first, so it goes after the servers in it
    std::unique_ptr<PyftpdlibServer> pyftpdlib;
    std::unique_ptr<VsftpdServer> vsftpd;
};

TEST_P(NatTransferTest, WithNoSettingsPassiveModeIsChosenAndFilesAndListingsComeThrough)
{
    const CliRun ls = Run({"ls"});
    EXPECT_EQ(ls.status, 0) << ls.err;
    EXPECT_NE(ls.err.find("Passive mode: this computer's address 10.0.0.2 is private and the server's is not.\n"),
              std::string::npos)
        << ls.err;
    EXPECT_EQ(ls.err.find("Tessaline: PORT"), std::string::npos) << ls.err;
    ExpectBinaryRoundTrips();
    ExpectListingKeepsNamesWhole();
}

TEST_P(NatTransferTest, WithNoSettingsDirectoryTreesComeThrough)
{
    ExpectTreeRoundTrip();
}

TEST_P(NatTransferTest, ActiveModeFailsClearlyWithinTheTimeOutAndLeavesNothingBehind)
{
    WriteSettings("[ProgramOptions]\nRetry=3\n");
    options = {"--active"};
    WriteFile(Remote("remote.txt"), "remote");
    WriteFile(Local("local.txt"), "local");
    MakeTree(Remote("tree"));
    const auto remoteBefore = TreeOf(remoteDir);
    const auto localBefore = TreeOf(local.path);
    for (const std::vector<std::string>& command : {std::vector<std::string>{"ls"},
                                                    {"get", "remote.txt", Local("got.txt")},
                                                    {"put", Local("local.txt")},
                                                    {"getdir", "tree", Local("got tree")}}) {
        SCOPED_TRACE(command[0]);
        const CliRun run = Run(command);
        // Failed at the server's refusal, or at the time-out of the wait for its connection.
        EXPECT_TRUE(run.status == 1 || run.status == 8) << run.status << run.err;
        EXPECT_NE(run.err.find("remote host not responding to port command."), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("This computer's address 10.0.0.2 is private and the server's is not: "
                               "passive mode may work where active mode does not."),
                  std::string::npos)
            << run.err;
    }
    EXPECT_EQ(TreeOf(remoteDir), remoteBefore);
    EXPECT_EQ(TreeOf(local.path), localBefore);
}

INSTANTIATE_TEST_SUITE_P(Servers, NatTransferTest, ::testing::Values("pyftpdlib", "vsftpd"),
                         [](const auto& info) { return std::string(info.param); });

// --- FTP over TLS: vsftpd as hosting servers run it (TLS forced for logins and data, data
// connections only in the control connection's TLS session), explicit and implicit, and
// pyftpdlib's TLS handler; each in active and in passive mode ----------------------------------

struct TlsCase {
    const char* name;
    const char* server;  // "vsftpd" or "pyftpdlib"
    bool implicitTls;
    const char* mode;  // --active or --passive
};

class TlsTransferTest : public TransferTest, public ::testing::WithParamInterface<TlsCase> {
protected:
    void SetUp() override
    {
        const TlsCase& c = GetParam();
        certificate = certificates.SelfSigned("server");
        ASSERT_FALSE(certificate.fingerprint.empty()) << certificates.Failures();
        const ServerTls tls{certificate.certificate, certificate.key};
        if (std::string(c.server) == "vsftpd") {
            if (!VsftpdServer::Available())
                GTEST_SKIP() << "vsftpd runs only as root";
            PrepareVsftpdRoot();
            VsftpdOptions vsftpdOptions;
            vsftpdOptions.tls = tls;
            vsftpdOptions.implicitTls = c.implicitTls;
            vsftpd = std::make_unique<VsftpdServer>(root.path, vsftpdOptions);
            ASSERT_TRUE(vsftpd->Started()) << vsftpd->ServerLog();
            host = "127.0.0.1:" + std::to_string(vsftpd->Port());
        } else {
            PyftpdlibOptions pyftpdlibOptions;
            pyftpdlibOptions.tls = tls;
            pyftpdlib = std::make_unique<PyftpdlibServer>(root.path, "u", "p", pyftpdlibOptions);
            ASSERT_TRUE(pyftpdlib->Started()) << pyftpdlib->ServerLog();
            host = "127.0.0.1:" + std::to_string(pyftpdlib->Port());
            user = "u";
            password = "p";
            remoteCwd = "home dir";
            remoteDir = fs::path(root.path) / remoteCwd;
            fs::create_directory(remoteDir);
        }
        options = {"--tls", c.implicitTls ? "implicit" : "require", "--trust-certificate", certificate.fingerprint,
                   c.mode};
        if (pyftpdlib && std::string(c.mode) == "--active")
            options.insert(options.end(), kOneActiveConnection.begin(), kOneActiveConnection.end());
    }

    TempDir certificateDirectory;
    TestCertificates certificates{certificateDirectory.path};
    CertificateFiles certificate;
    std::unique_ptr<VsftpdServer> vsftpd;
    std::unique_ptr<PyftpdlibServer> pyftpdlib;
};

TEST_P(TlsTransferTest, FilesComeBackByteForByte)
{
    ExpectBinaryRoundTrips();
}

TEST_P(TlsTransferTest, DirectoryTreesCopyExactlyBothWays)
{
    ExpectTreeRoundTrip();
}

TEST_P(TlsTransferTest, ListingsKeepNamesWholeAndTheLogTellsWhatProtectsTheSession)
{
    ExpectListingKeepsNamesWhole();

    const CliRun ls = Run({"ls"});
    EXPECT_EQ(ls.status, 0) << ls.err;
    EXPECT_NE(ls.err.find("TLS 1.3 connection established (TLS_"), std::string::npos) << ls.err;
    EXPECT_NE(ls.err.find("trusted by the user for this connection: " + certificate.fingerprint), std::string::npos)
        << ls.err;
    EXPECT_NE(ls.err.find("Tessaline: PROT P\n200 "), std::string::npos) << ls.err;
    EXPECT_NE(ls.err.find("TLS data connection (session resumed)"), std::string::npos) << ls.err;
    EXPECT_NE(ls.err.find("Tessaline: PASS xxxxxx"), std::string::npos) << ls.err;
    if (vsftpd) {
        // The server saw the whole session in TLS, so it let the login and the transfers through.
        const std::string log = vsftpd->ProtocolLog();
        EXPECT_NE(log.find("\"PROT P\""), std::string::npos) << log;
        EXPECT_EQ(log.find("session reuse required"), std::string::npos) << log;
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, TlsTransferTest,
                         ::testing::Values(TlsCase{"VsftpdPassive", "vsftpd", false, "--passive"},
                                           TlsCase{"VsftpdActive", "vsftpd", false, "--active"},
                                           TlsCase{"VsftpdImplicitPassive", "vsftpd", true, "--passive"},
                                           TlsCase{"VsftpdImplicitActive", "vsftpd", true, "--active"},
                                           TlsCase{"PyftpdlibPassive", "pyftpdlib", false, "--passive"},
                                           TlsCase{"PyftpdlibActive", "pyftpdlib", false, "--active"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
