// SPDX-License-Identifier: GPL-3.0-or-later
// tessaline-ftp run as a program against the scripted server: what a user meets when the server
// misbehaves or the run is interrupted, and what the run leaves on the disk.

#include "remote/local_names.h"
#include "support/cli_runner.h"
#include "support/scripted_ftp_server.h"
#include "support/temp_dir.h"
#include "support/test_files.h"
#include "support/transcript.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using Control = ScriptedFtpServer::Control;
using namespace std::chrono_literals;
using namespace std::string_literals;

namespace {

// The directories whose names begin with "listing-" in `directory`.
std::vector<fs::path> ListingDirectories(const fs::path& directory)
{
    std::vector<fs::path> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        if (entry.path().filename().string().starts_with("listing-"))
            found.push_back(entry.path());
    }
    return found;
}

// A process number that no process has now: one that has just ended.
pid_t EndedProcess()
{
    pid_t pid = -1;
    char program[] = "/bin/true";
    char* argv[] = {program, nullptr};
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, nullptr) == 0)
        ::waitpid(pid, nullptr, 0);
    return pid;
}

template <typename Condition>
bool WaitFor(Condition condition)
{
    for (int i = 0; i < 2000; ++i) {
        if (condition())
            return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

// A pseudo-terminal to stand for the user's: the program gets its other end as standard input.
class PseudoTerminal final {
public:
    PseudoTerminal()
    {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) {
            if (const char* name = ::ptsname(master))
                terminal = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        }
    }
    ~PseudoTerminal()
    {
        for (const int fd : {master, terminal}) {
            if (fd >= 0)
                ::close(fd);
        }
    }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    int Terminal() const { return terminal; }
    void Type(const std::string& keys) const
    {
        ASSERT_EQ(::write(master, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    bool Echoes() const
    {
        termios modes{};
        return ::tcgetattr(terminal, &modes) == 0 && (modes.c_lflag & ECHO);
    }
    // What the terminal showed, once `text` is among it or after 20 s without.
    const std::string& ShownOnceItHas(const std::string& text)
    {
        while (shown.find(text) == std::string::npos && Read(20000)) {
        }
        return shown;
    }
    // Everything shown so far, without waiting for more.
    const std::string& Shown()
    {
        while (Read(0)) {
        }
        return shown;
    }

private:
    bool Read(int timeoutMs)
    {
        pollfd ready{master, POLLIN, 0};
        char buffer[256];
        const ssize_t n = ::poll(&ready, 1, timeoutMs) == 1 ? ::read(master, buffer, sizeof buffer) : -1;
        if (n > 0)
            shown.append(buffer, static_cast<std::size_t>(n));
        return n > 0;
    }

    int master = -1;
    int terminal = -1;
    std::string shown;
};

class CliScriptedTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.Reply("USER", "331 Password required\r\n");
        server.Reply("PASS", "230 Logged in\r\n");
        server.Reply("SYST", "215 UNIX Type: L8\r\n");
        server.Reply("TYPE", "200 Type set\r\n");
        server.Reply("PORT", "200 PORT command successful\r\n");
        server.Reply("CWD", "250 Directory changed\r\n");
        fs::create_directory(PrivateTemporary());
        fs::permissions(PrivateTemporary(), fs::perms::owner_all);
    }

    std::vector<std::string> Arguments(std::vector<std::string> command) const
    {
        std::vector<std::string> args = {
            "--host", "127.0.0.1:" + std::to_string(server.Port()), "--user", "anna", "--password", "secret"};
        args.insert(args.end(), command.begin(), command.end());
        return args;
    }

    // The runs' private temporary directory.
    fs::path PrivateTemporary() const { return fs::path(runtime.path) / "tessaline"; }
    std::vector<std::string> Environment() const { return {"XDG_RUNTIME_DIR=" + runtime.path}; }

    bool ServerGot(const std::string& command) const
    {
        const auto commands = server.Commands();
        return std::find(commands.begin(), commands.end(), command) != commands.end();
    }

    // The commands the server got during one run.
    std::vector<std::string> CommandsOfRun(const std::vector<std::string>& args, std::string* err = nullptr)
    {
        const std::size_t before = server.Commands().size();
        const CliRun run = RunCli(args, home.path, Environment());
        if (err)
            *err = run.err;
        return Transcript(server, before);
    }

    std::string HostText() const { return "127.0.0.1:" + std::to_string(server.Port()); }

    void WriteHomeFile(const std::string& name, const std::string& text, fs::perms mode) const
    {
        std::ofstream(fs::path(home.path) / name) << text;
        fs::permissions(fs::path(home.path) / name, mode);
    }

    TempDir runtime;
    TempDir home;
    TempDir local;
    ScriptedFtpServer server;
};

// What a run of syst sends when it logs in as `user` with `password`, changing into pub first
// when `inPub`.
std::vector<std::string> SystRun(const std::string& user, const std::string& password, bool inPub)
{
    std::vector<std::string> commands = {"AUTH TLS", "USER " + user, "PASS " + password, "SYST", "FEAT"};
    if (inPub)
        commands.push_back("CWD pub");
    commands.insert(commands.end(), {"SYST", "quit"});
    return commands;
}

TEST_F(CliScriptedTest, TheNetrcGivesThePasswordOfItsLoginWhenNoOtherUsersCanReadIt)
{
    constexpr fs::perms kPrivate = fs::perms::owner_read | fs::perms::owner_write;
    WriteHomeFile(".netrc", "machine 127.0.0.1\n  login anna\n  password from-netrc\n", kPrivate);
    const std::string url = "ftp://anna@" + HostText() + "/pub/";
    EXPECT_EQ(CommandsOfRun({url, "syst"}), SystRun("anna", "from-netrc", true));
    // Without a user the entry names it.
    EXPECT_EQ(CommandsOfRun({"--host", HostText(), "syst"}), SystRun("anna", "from-netrc", false));

    // Another login's entry is not used, and with no terminal to ask on the password is empty.
    EXPECT_EQ(CommandsOfRun({"--host", HostText(), "--user", "bob", "syst"}), SystRun("bob", "", false));

    // Precedence: --password-file before ~/.netrc, the URL's password before the file, --password first.
    WriteHomeFile("pw", "from-file\n", kPrivate);
    const std::string file = home.path + "/pw";
    EXPECT_EQ(CommandsOfRun({url, "--password-file", file, "syst"}), SystRun("anna", "from-file", true));
    const std::string withPassword = "ftp://anna:from-url@" + HostText() + "/";
    EXPECT_EQ(CommandsOfRun({withPassword, "--password-file", file, "syst"}), SystRun("anna", "from-url", false));
    EXPECT_EQ(CommandsOfRun({withPassword, "--password", "given", "syst"}), SystRun("anna", "given", false));

    fs::permissions(fs::path(home.path) / ".netrc", fs::perms::group_read | fs::perms::others_read,
                    fs::perm_options::add);
    std::string err;
    EXPECT_EQ(CommandsOfRun({url, "syst"}, &err), SystRun("anna", "", true)) << "a ~/.netrc others can read was used";
    EXPECT_NE(err.find("tessaline-ftp: " + home.path
                       + "/.netrc is not used: other users can read or change it "
                         "(mode 0644); chmod 600 "
                       + home.path + "/.netrc makes it usable\n"),
              std::string::npos)
        << err;
}

TEST_F(CliScriptedTest, ThePromptReadsThePasswordOnTheTerminalWithoutShowingIt)
{
    PseudoTerminal terminal;
    ASSERT_GE(terminal.Terminal(), 0);
    CliProcess run({"--host", HostText(), "--user", "anna", "syst"}, home.path, Environment(), terminal.Terminal());
    const std::string prompt = "Password for anna@" + HostText() + ": ";
    ASSERT_NE(terminal.ShownOnceItHas(prompt).find(prompt), std::string::npos) << terminal.Shown();
    EXPECT_FALSE(terminal.Echoes());
    terminal.Type("typed secret\n");
    const CliRun done = run.Finish();
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_EQ(Transcript(server), SystRun("anna", "typed secret", false));
    // Nothing typed appeared: only the prompt and the line end the program gives for the Enter.
    EXPECT_EQ(terminal.Shown(), prompt + "\r\n");
    EXPECT_TRUE(terminal.Echoes()) << "the terminal was left without echo";
    EXPECT_EQ(done.err.find("Password for"), std::string::npos) << "the prompt went into the log";
}

TEST_F(CliScriptedTest, AnInterruptAtThePromptGivesTheTerminalItsEchoBack)
{
    PseudoTerminal terminal;
    ASSERT_GE(terminal.Terminal(), 0);
    CliProcess run({"--host", HostText(), "--user", "anna", "syst"}, home.path, Environment(), terminal.Terminal());
    ASSERT_NE(terminal.ShownOnceItHas("Password for").find("Password for"), std::string::npos);
    run.Signal(SIGINT);
    EXPECT_EQ(run.Finish().status, 128 + SIGINT);
    EXPECT_TRUE(terminal.Echoes()) << "the terminal was left without echo";
    EXPECT_EQ(server.Connections(), 0);
}

TEST_F(CliScriptedTest, ARunListsIntoADirectoryOfItsOwnThatGoesWithIt)
{
    const fs::path temporary = PrivateTemporary();
    const fs::path stale = temporary / ("listing-" + std::to_string(EndedProcess()) + "-AbCdEf");
    fs::create_directory(stale);
    std::ofstream(stale / "FTP1B.TMP") << "left by a program that is gone\n";

    const std::string foreign = "-rw-r--r--   1 eve      eve          666 Mar  5 12:30 not-yours.txt\r\n";
    std::atomic<pid_t> run{-1};
    std::atomic<int> ownMode{-1};
    server.OnCommand([foreign, temporary, &run, &ownMode](const std::string& command, Control& control) {
        if (command != "LIST") {
            control.Answer(command);
            return;
        }
        // Another program's listing lands where a shared listing file would be, and even in the
        // run's own directory; then this LIST fails.
        std::ofstream(temporary / "FTP1B.TMP", std::ios::binary) << foreign;
        for (const fs::path& directory : ListingDirectories(temporary)) {
            if (directory.filename().string().starts_with("listing-" + std::to_string(run.load()) + "-")) {
                ownMode = static_cast<int>(fs::status(directory).permissions() & fs::perms::all);
                std::ofstream(directory / "FTP1B.TMP", std::ios::binary) << foreign;
            }
        }
        control.SendLine("150 Opening data connection.");
        control.SendLine("425 Can't open data connection.");
    });

    CliProcess ls(Arguments({"ls"}), home.path, Environment());
    run = ls.Pid();
    const CliRun done = ls.Finish();
    EXPECT_EQ(done.status, 1) << done.err;
    EXPECT_EQ(done.out, "") << "a listing that was not this run's was printed";
    EXPECT_EQ(ownMode, 0700);
    // The run's own directory is gone with it, and so is the one left behind by a program that ended.
    EXPECT_TRUE(ListingDirectories(temporary).empty());
}

// Without XDG_RUNTIME_DIR the runs share TMPDIR's "tessaline-<uid>", a name anyone may take first:
// a run then lists in a private directory of its own, gone with it.
TEST_F(CliScriptedTest, ARunWhoseSharedTemporaryNameIsTakenListsInADirectoryOfItsOwn)
{
    server.ServeFiles();
    server.ServeListing("-rw-r--r--   1 anna     staff       4 Mar  5 12:30 a.txt\r\n");
    fs::create_directory_symlink("/", fs::path(local.path) / ("tessaline-" + std::to_string(::getuid())));
    const CliRun run = RunCli(Arguments({"ls"}), home.path, {"XDG_RUNTIME_DIR=", "TMPDIR=" + local.path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("a.txt"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator(local.path), fs::directory_iterator()), 1);
}

// Every user reads a process's arguments in /proc/PID/cmdline. After the command, "--password" is an argument.
TEST_F(CliScriptedTest, PasswordsOnTheCommandLineAreBlankedOnceRead)
{
    server.ReplyFromNowOn("PASS", "");  // the run waits for the answer while its arguments are read
    CliProcess run({"ftp://anna:s%3Fcret@" + HostText() + "/", "--password", "given", "--firewall-password", "fw",
                    "mkdir", "--password"},
                   home.path, Environment());
    ASSERT_TRUE(WaitFor([this] { return ServerGot("PASS given"); }));
    std::ifstream in("/proc/" + std::to_string(run.Pid()) + "/cmdline", std::ios::binary);
    const std::string shown(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(shown.substr(shown.find('\0') + 1),
              "ftp://anna:********@" + HostText()
                  + "/\0--password\0*****\0--firewall-password\0**\0mkdir\0--password\0"s);
}

// A server's greeting, replies and names could otherwise drive the user's terminal.
TEST_F(CliScriptedTest, ControlCharactersOfServerTextAreShownEscaped)
{
    server.OnAccept([](Control& control) { control.SendLine("220 \x1b]0;title\x07\x1b[2Jready"); });
    server.ServeFiles();
    server.ServeListing("-rw-r--r--   1 anna     staff       5 Mar  5 12:30 hide\b\bxy\x01 caf\xc3\xa9\xc2\x85\\\r\n");
    const CliRun run = RunCli(Arguments({"ls"}), home.path, Environment());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "1\t5\tMar  5 12:30\t-rw-r--r--\thide\\x08\\x08xy\\x01 caf\xc3\xa9\\xc2\\x85\\\\\n");
    EXPECT_NE(run.err.find("\n220 \\x1b]0;title\\x07\\x1b[2Jready\n"), std::string::npos) << run.err;
}

class CliSignalTest : public CliScriptedTest, public ::testing::WithParamInterface<int> {
protected:
    // RETR "big" sends data slowly and for as long as the client takes it.
    void ServeAnEndlessDownload()
    {
        server.OnCommand([this](const std::string& command, Control& control) {
            if (command != "RETR big" || !control.OpenData()) {
                if (command == "quit" && silentQuit) {
                    control.Pause(30s);
                    control.Close();
                    return;
                }
                control.Answer(command);
                return;
            }
            control.SendLine("150 Opening BINARY mode data connection for big.");
            const std::string chunk(65536, 'x');
            bool sent = true;
            for (int i = 0; i < 600 && sent; ++i) {
                sent = control.DataSend(chunk);
                control.Pause(50ms);
            }
            control.CloseData();
            if (sent)
                control.SendLine("226 Transfer complete");
        });
    }

    // Starts `get big` and waits until the data flows: the partial file beside the target (made
    // before RETR by a download that may be retried) holds bytes.
    std::unique_ptr<CliProcess> StartDownload()
    {
        auto run = std::make_unique<CliProcess>(Arguments({"get", "big", (fs::path(local.path) / "big").string()}),
                                                home.path, Environment());
        EXPECT_TRUE(WaitFor([this] {
            std::error_code error;
            for (const auto& entry : fs::directory_iterator(local.path, error))
                if (entry.file_size(error) > 0)
                    return true;
            return false;
        })) << "the download never began";
        return run;
    }

    std::atomic<bool> silentQuit{false};
};

TEST_P(CliSignalTest, ASignalDeletesThePartialFileQuitsAndExitsWith128PlusItsNumber)
{
    ServeAnEndlessDownload();
    auto run = StartDownload();
    run->Signal(GetParam());
    const CliRun done = run->Finish();
    EXPECT_EQ(done.status, 128 + GetParam()) << done.err;
    EXPECT_TRUE(fs::is_empty(local.path)) << "a partial file was left behind";
    EXPECT_NE(done.err.find("Deleted partially downloaded file"), std::string::npos) << done.err;
    EXPECT_EQ(Transcript(server),
              (std::vector<std::string>{"AUTH TLS", "USER anna", "PASS secret", "SYST", "FEAT", "PWD", "TYPE I",
                                        "PORT 127,0,0,1,*", "RETR big", "quit"}));
}

// The pause before a retry ends at the signal, not after its seconds.
TEST_F(CliSignalTest, ASignalEndsThePauseBeforeARetryAtOnce)
{
    server.ServeFiles();
    server.ServeFile("big", std::string(200000, 'x'));
    server.SetFaults({.command = "RETR big", .failDataAfter = 50000});
    CliProcess run(Arguments({"get", "big", local.path + "/big"}), home.path, Environment());
    const std::string partial = PartialDownloadPath(local.path + "/big");
    std::error_code none;
    ASSERT_TRUE(WaitFor([&] { return fs::file_size(partial, none) == 100000; }));  // the second try's cut
    std::this_thread::sleep_for(200ms);                                            // inside the second pause, of 2 s
    const auto signalled = std::chrono::steady_clock::now();
    run.Signal(SIGINT);
    const CliRun done = run.Finish();
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, 1s);
    EXPECT_EQ(done.status, 130);
    EXPECT_NE(done.err.find("Trying big again in 2 s (try 3 of 4), from byte 100000: 426 "), std::string::npos)
        << done.err;
    EXPECT_EQ(server.Connections(), 2);
    EXPECT_TRUE(fs::is_empty(local.path)) << "the partial file was left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Signals, CliSignalTest, ::testing::Values(SIGINT, SIGTERM, SIGHUP), [](const ::testing::TestParamInfo<int>& info) {
        return std::string(info.param == SIGINT ? "Interrupt" : info.param == SIGTERM ? "Terminate" : "HangUp");
    });

TEST_F(CliSignalTest, ASecondSignalEndsTheRunAtOnce)
{
    silentQuit = true;  // the quit after the first signal would wait for its answer
    ServeAnEndlessDownload();
    auto run = StartDownload();
    run->Signal(SIGINT);
    ASSERT_TRUE(WaitFor([this] { return ServerGot("quit"); }));
    run->Signal(SIGINT);
    const CliRun done = run->Finish();
    EXPECT_EQ(done.status, 130);
    // The quit's own limit would have ended its wait with the time-out text.
    EXPECT_EQ(done.err.find("Connection timed out"), std::string::npos) << done.err;
    EXPECT_TRUE(fs::is_empty(local.path));
}

// A download's local target and an upload's source are checked before the server is even asked:
// a file fetched for nowhere to go wastes the transfer, and says so only at its end.
TEST_F(CliScriptedTest, LocalFilesThatCannotServeFailBeforeAnythingIsSent)
{
    fs::create_directory(fs::path(local.path) / "there");
    WriteFile(fs::path(local.path) / "a file", "mine");
    fs::create_directory(fs::path(local.path) / "locked");
    fs::permissions(fs::path(local.path) / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    std::vector<std::vector<std::string>> commands = {
        {"get", "f.txt", local.path + "/missing/"},
        {"get", "f.txt", local.path + "/missing/f.txt"},
        {"get", "there", local.path},
        {"getdir", "there", local.path + "/a file"},
        {"put", local.path + "/absent.txt"},
        {"putdir", local.path + "/absent"},
    };
    // Root writes anywhere: only others meet the directory without write permission.
    if (::geteuid() != 0) {
        commands.push_back({"get", "f.txt", local.path + "/locked/"});
        commands.push_back({"getdir", "there", local.path + "/locked"});
    }
    for (const auto& command : commands) {
        SCOPED_TRACE(testing::PrintToString(command));
        std::vector<std::string> args = Arguments(command);
        args.insert(args.begin(), "-q");
        const CliRun run = RunCli(args, home.path, Environment());
        EXPECT_EQ(run.status, 7);
        EXPECT_TRUE(run.err.starts_with("tessaline-ftp: ") && run.err.find('\n') + 1 == run.err.size()) << run.err;
    }
    EXPECT_EQ(server.Connections(), 0);
}

// A get whose tries are used up leaves nothing, unless --continue keeps its partial file for the next
// such run to go on from. Without retries a get sends what a single try always did.
TEST_F(CliScriptedTest, GetContinueKeepsThePartialFileForTheNextRunToGoOnFrom)
{
    server.ServeFiles();
    server.ServeFile("big", std::string(200000, 'x'));
    server.SetFaults({.command = "RETR big", .failDataAfter = 80000});
    const std::string target = local.path + "/big";
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--retries", "0"}, {"--retries", "1"}, {"--retries", "1", "--continue"}}) {
        const std::size_t before = server.Commands().size();
        std::vector<std::string> args = Arguments(options);
        args.insert(args.end(), {"get", "big", target});
        const CliRun run = RunCli(args, home.path, Environment());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(fs::is_empty(local.path), options.size() < 3);
        EXPECT_EQ(run.err.find("(try 2 of 2), from byte 80000:") == std::string::npos, options[1] == "0") << run.err;
        if (options[1] == "0") {
            EXPECT_EQ(Transcript(server, before),
                      (std::vector<std::string>{"AUTH TLS", "USER anna", "PASS secret", "SYST", "FEAT", "TYPE I",
                                                "PORT 127,0,0,1,*", "RETR big", "quit"}));
        }
    }
    server.SetFaults({});
    const CliRun done = RunCli(Arguments({"--continue", "get", "big", target}), home.path, Environment());
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_TRUE(ServerGot("REST 160000"));
    EXPECT_EQ(ReadFile(target), std::string(200000, 'x'));
}

TEST_F(CliScriptedTest, AServerThatFallsSilentExitsWithTheTimeOutStatus)
{
    fs::create_directories(fs::path(home.path) / "Corvane");
    std::ofstream(fs::path(home.path) / "Corvane" / "Tessaline.conf") << "[ProgramOptions]\nRetry=1\n";
    server.ReplyFromNowOn("CWD", "");  // nothing comes back
    const CliRun run = RunCli(Arguments({"-q", "--cwd", "pub", "ls"}), home.path, Environment());
    EXPECT_EQ(run.status, 8);
    EXPECT_EQ(run.err, "tessaline-ftp: cwd pub: timed out: the server did not answer within the time-out\n");
}

// On a terminal a transfer shows one line, rewritten in place and kept with its last state; a
// pipe, as scripts read standard error, gets none of it.
TEST_F(CliScriptedTest, ATerminalShowsOneProgressLineAndAPipeNone)
{
    constexpr std::size_t kSize = 3 << 20;
    server.ServeFiles();
    server.ServeFile("big.bin", std::string(kSize, 'x'),
                     "150 Opening BINARY mode data connection for big.bin (3145728 bytes)\r\n");
    ScriptedFtpServer::Faults slow;
    slow.command = "RETR big.bin";
    slow.dataPauseAfter = 1 << 20;
    slow.dataPause = 800ms;
    server.SetFaults(slow);
    const std::string target = local.path + "/big.bin";
    const CliRun shown =
        CliProcess(Arguments({"get", "big.bin", target}), home.path, Environment(), -1, {}, true).Finish();
    EXPECT_EQ(shown.status, 0) << shown.out;
    EXPECT_EQ(fs::file_size(target), kSize);
    EXPECT_NE(shown.out.find("\r1.0 MiB of 3.0 MiB  33%"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("\r3.0 MiB of 3.0 MiB  100%"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("left"), std::string::npos) << shown.out;

    for (const bool quiet : {false, true}) {
        std::vector<std::string> args = Arguments({"get", "big.bin", target});
        if (quiet)
            args.insert(args.begin(), "-q");
        const CliRun run = quiet ? CliProcess(args, home.path, Environment(), -1, {}, true).Finish()
                                 : RunCli(args, home.path, Environment());
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ((run.out + run.err).find("MiB"), std::string::npos) << (quiet ? "-q" : "a pipe");
    }
}

}  // namespace
