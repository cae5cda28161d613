// SPDX-License-Identifier: GPL-3.0-or-later
// tessaline-ftp run as a program against real servers (pyftpdlib and vsftpd on loopback).

#include "support/cli_runner.h"
#include "support/real_ftp_servers.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool HasLine(const std::string& text, const std::string& line)
{
    return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

void Touch(const fs::path& path)
{
    std::ofstream(path) << "content\n";
}

class PyftpdlibCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(server.Started()) << server.ServerLog();
        host = "127.0.0.1:" + std::to_string(server.Port());
    }

    CliRun Run(std::vector<std::string> args, const std::string& password = "p")
    {
        std::vector<std::string> full = {"--host", host, "--user", "u", "--password", password};
        full.insert(full.end(), args.begin(), args.end());
        return RunCli(full, config.path);
    }

    TempDir root;
    TempDir config;
    PyftpdlibServer server{root.path, "u", "p"};
    std::string host;
};

TEST_F(PyftpdlibCliTest, SystPrintsTheTypeAndTheLogShowsTheWholeSession)
{
    const CliRun run = Run({"syst"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "6010\n");
    EXPECT_TRUE(HasLine(run.err, "Connected to 127.0.0.1 port " + std::to_string(server.Port()))) << run.err;
    EXPECT_TRUE(HasLine(run.err, "Tessaline: USER u"));
    EXPECT_TRUE(HasLine(run.err, "Tessaline: PASS xxxxxx"));
    EXPECT_TRUE(HasLine(run.err, "230 Login successful."));
    EXPECT_TRUE(HasLine(run.err, "215 UNIX Type: L8"));
    EXPECT_TRUE(HasLine(run.err, "Tessaline: quit"));

    const CliRun quiet = Run({"-q", "syst"});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "6010\n");
    EXPECT_EQ(quiet.err, "");
}

struct FailureCase {
    const char* name;
    std::vector<std::string> args;  // after the login options, or whole when `ownHost`
    bool ownHost;
    int status;
    std::string reason;  // the line standard error ends with
};

// Each failure a script tells apart has its status, and with -q one line that says why.
TEST_F(PyftpdlibCliTest, EveryFailureExitsWithItsStatusAndOneReasonLine)
{
    Touch(fs::path(root.path) / "there.txt");
    // A label longer than 63 bytes: the resolver refuses the name without asking any server, so
    // the test sends nothing beyond this machine.
    const std::string unresolvable = std::string(64, 'a') + ".invalid";
    const std::string closed = "127.0.0.1:" + std::to_string(FreeTcpPort());
    const std::vector<FailureCase> cases = {
        {"wrong password",
         {"--host", host, "--user", "u", "--password", "wrong", "syst"},
         true,
         5,
         "tessaline-ftp: login to " + host + " refused: 530 Authentication failed."},
        {"closed port",
         {"--host", closed, "--password", "x", "syst"},
         true,
         4,
         "tessaline-ftp: could not connect to " + closed + ": Connection refused"},
        {"unknown host",
         {"--host", unresolvable, "--password", "x", "syst"},
         true,
         3,
         "tessaline-ftp: could not resolve the host " + unresolvable},
        {"missing file",
         {"get", "missing.txt", "/dev/null"},
         false,
         6,
         "tessaline-ftp: get missing.txt: 550 No such file or directory."},
        {"missing directory",
         {"--cwd", "missing", "ls"},
         false,
         6,
         "tessaline-ftp: cwd missing: 550 No such file or directory."},
        {"missing local directory",
         {"get", "there.txt", "/nonexistent/"},
         false,
         7,
         "tessaline-ftp: /nonexistent: No such file or directory"},
        {"unreadable upload",
         {"put", "/nonexistent.txt"},
         false,
         7,
         "tessaline-ftp: /nonexistent.txt: No such file or directory"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args = {"-q"};
        if (!c.ownHost)
            args.insert(args.end(), {"--host", host, "--user", "u", "--password", "p"});
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliRun quiet = RunCli(args, config.path);
        EXPECT_EQ(quiet.status, c.status) << quiet.err;
        EXPECT_EQ(quiet.err, c.reason + "\n");
        // Without -q the same line ends the log.
        args.erase(args.begin());
        const CliRun logged = RunCli(args, config.path);
        EXPECT_EQ(logged.status, c.status);
        EXPECT_TRUE(("\n" + logged.err).ends_with("\n" + c.reason + "\n")) << logged.err;
    }
}

TEST_F(PyftpdlibCliTest, RemoteCommandsChangeTheServersFilesAndRefusalsExitWithOne)
{
    const fs::path top(root.path);
    Touch(top / "file.txt");

    EXPECT_EQ(Run({"mkdir", "new dir"}).status, 0);
    EXPECT_TRUE(fs::is_directory(top / "new dir"));
    EXPECT_EQ(Run({"rename", "file.txt", "new dir/moved.txt"}).status, 0);
    EXPECT_TRUE(fs::exists(top / "new dir" / "moved.txt"));
    EXPECT_EQ(Run({"--cwd", "new dir", "chmod", "600", "moved.txt"}).status, 0);
    EXPECT_EQ(fs::status(top / "new dir" / "moved.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Run({"--cwd", "new dir", "rm", "moved.txt"}).status, 0);
    EXPECT_FALSE(fs::exists(top / "new dir" / "moved.txt"));
    EXPECT_EQ(Run({"rmdir", "new dir"}).status, 0);
    EXPECT_FALSE(fs::exists(top / "new dir"));

    // A missing entry is the server's 550: the status scripts test for it.
    EXPECT_EQ(Run({"rm", "missing"}).status, 6);
    EXPECT_EQ(Run({"rmdir", "missing"}).status, 6);
    EXPECT_EQ(Run({"rename", "missing", "other"}).status, 6);
    EXPECT_EQ(Run({"chmod", "644", "missing"}).status, 6);
    EXPECT_EQ(Run({"--cwd", "missing", "syst"}).status, 6);
}

TEST_F(PyftpdlibCliTest, ANameWithALineBreakSendsNothing)
{
    const fs::path top(root.path);
    Touch(top / "a");
    Touch(top / "b");
    const CliRun run = Run({"rm", "a\r\nDELE b"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(HasLine(run.err, "Refused command containing a line break")) << run.err;
    EXPECT_TRUE(fs::exists(top / "a"));
    EXPECT_TRUE(fs::exists(top / "b"));
}

TEST_F(PyftpdlibCliTest, AnonymousLoginsUseTheEmailSettingOrAFixedPassword)
{
    // No options dialog to ask for an address: a fixed word, as other command-line clients send.
    const CliRun without = RunCli({"--host", host, "syst"}, config.path);
    EXPECT_EQ(without.status, 0) << without.err;
    EXPECT_TRUE(HasLine(without.err, "230 Login successful.")) << without.err;

    fs::create_directories(fs::path(config.path) / "Corvane");
    std::ofstream(fs::path(config.path) / "Corvane" / "Tessaline.conf") << "[ProgramOptions]\ne-mail=me@example.org\n";
    const CliRun with = RunCli({"--host", host, "syst"}, config.path);
    EXPECT_EQ(with.status, 0) << with.err;
    EXPECT_TRUE(HasLine(with.err, "Tessaline: USER anonymous"));
}

TEST_F(PyftpdlibCliTest, StoredSitesLogInAndEnterTheirDirectoryWithoutTouchingTheProfileFiles)
{
    fs::create_directory(fs::path(root.path) / "docs");
    Touch(fs::path(root.path) / "docs" / "inside.txt");
    const fs::path data = fs::path(config.path) / "Tessaline";
    fs::create_directories(data);
    // The earlier file is read in preference, so the site only "Tessaline.site" has is not found.
    const std::string earlier = "[Work]\r\nHOST=" + host
        + "\r\nUID=u\r\nPASSWORD=p\r\nSAVPWD=TRUE\r\n"
          "GROUP=Office\r\nREMOTEDIR=docs\r\n\r\n[Work]\r\nHOST="
        + host + "\r\nGROUP=Home\r\n";
    const std::string current = "[Work]\r\nHOST=127.0.0.1:1\r\nGROUP=Elsewhere\r\n";
    std::ofstream(data / "Tessa.INI", std::ios::binary) << earlier;
    std::ofstream(data / "Tessaline.site", std::ios::binary) << current;
    // An hour back, so that a rewrite within the same second would still show.
    const auto before = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(data / "Tessa.INI", before);
    fs::last_write_time(data / "Tessaline.site", before);

    const CliRun run = RunCli({"--site", "Work", "--group", "Office", "ls"}, config.path);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(HasLine(run.err, "Tessaline: USER u")) << run.err;
    EXPECT_TRUE(HasLine(run.err, "Tessaline: CWD docs"));
    EXPECT_NE(run.out.find("inside.txt\n"), std::string::npos) << run.out;

    const CliRun top = RunCli({"--site", "Work", "--group", "Office", "--cwd", "/", "ls"}, config.path);
    EXPECT_EQ(top.status, 0) << top.err;
    EXPECT_NE(top.out.find("\tdocs\n"), std::string::npos) << top.out;
    EXPECT_EQ(RunCli({"--site", "Work", "--group", "Office", "--password", "wrong", "syst"}, config.path).status, 5);

    const CliRun ambiguous = RunCli({"--site", "Work", "syst"}, config.path);
    EXPECT_EQ(ambiguous.status, 2);
    EXPECT_NE(ambiguous.err.find("\"Home\", \"Office\""), std::string::npos) << ambiguous.err;
    EXPECT_EQ(RunCli({"--site", "Nowhere", "syst"}, config.path).status, 2);
    EXPECT_EQ(RunCli({"--site", "Work", "--group", "Elsewhere", "syst"}, config.path).status, 2);

    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(data))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Tessa.INI", "Tessaline.site"}));
    std::ostringstream earlierNow;
    std::ostringstream currentNow;
    earlierNow << std::ifstream(data / "Tessa.INI", std::ios::binary).rdbuf();
    currentNow << std::ifstream(data / "Tessaline.site", std::ios::binary).rdbuf();
    EXPECT_EQ(earlierNow.str(), earlier);
    EXPECT_EQ(currentNow.str(), current);
    EXPECT_EQ(fs::last_write_time(data / "Tessa.INI"), before);
    EXPECT_EQ(fs::last_write_time(data / "Tessaline.site"), before);
}

TEST_F(PyftpdlibCliTest, AnFtpUrlOrTheNetrcLogsInWithoutThePasswordOnTheCommandLine)
{
    fs::create_directory(fs::path(root.path) / "sub dir");
    Touch(fs::path(root.path) / "sub dir" / "inside.txt");
    const CliRun escaped = RunCli({"ftp://%75:%70@" + host + "/sub%20dir/", "ls"}, config.path);
    EXPECT_EQ(escaped.status, 0) << escaped.err;
    EXPECT_TRUE(HasLine(escaped.err, "Tessaline: USER u")) << escaped.err;
    EXPECT_TRUE(HasLine(escaped.err, "Tessaline: CWD sub dir"));
    EXPECT_TRUE(escaped.out.ends_with("\tinside.txt\n")) << escaped.out;

    const fs::path netrc = fs::path(config.path) / ".netrc";
    std::ofstream(netrc) << "machine 127.0.0.1 login u password p\n";
    fs::permissions(netrc, fs::perms::owner_read | fs::perms::owner_write);
    const CliRun fromNetrc = RunCli({"ftp://" + host + "/sub%20dir/", "ls"}, config.path);
    EXPECT_EQ(fromNetrc.status, 0) << fromNetrc.err;
    EXPECT_TRUE(HasLine(fromNetrc.err, "Tessaline: USER u")) << fromNetrc.err;
    EXPECT_TRUE(fromNetrc.out.ends_with("\tinside.txt\n")) << fromNetrc.out;
}

TEST_F(PyftpdlibCliTest, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(RunCli({"syst"}, config.path).status, 2);
    EXPECT_EQ(RunCli({"--host", host, "mkdir"}, config.path).status, 2);
    EXPECT_EQ(RunCli({"--host", host, "dance"}, config.path).status, 2);
    const CliRun help = RunCli({"--help"}, config.path);
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("usage: tessaline-ftp"));
}

TEST(VsftpdCliTest, RemoteCommandsWorkAgainstVsftpd)
{
    const VsftpdOptions options{.chmodLogin = true};
    if (!VsftpdServer::Available(options))
        GTEST_SKIP() << "vsftpd runs only as root";
    TempDir root;
    TempDir config;
    fs::permissions(root.path,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read
                        | fs::perms::others_exec);
    // Anonymous users may write only below the root, where kVsftpdUser may.
    const fs::path pub = fs::path(root.path) / "pub";
    fs::create_directory(pub);
    const passwd* ftp = ::getpwnam(kVsftpdUser);
    ASSERT_NE(ftp, nullptr);
    ASSERT_EQ(::chown(pub.c_str(), ftp->pw_uid, ftp->pw_gid), 0);
    Touch(pub / "file.txt");
    ASSERT_EQ(::chown((pub / "file.txt").c_str(), ftp->pw_uid, ftp->pw_gid), 0);

    VsftpdServer server(root.path, options);
    ASSERT_TRUE(server.Started()) << server.ServerLog();
    const std::string host = "127.0.0.1:" + std::to_string(server.Port());
    const auto run = [&](const std::string& user, std::vector<std::string> args) {
        std::vector<std::string> full = {"--host",         host,    "--user", user, "--password",
                                         "me@example.org", "--cwd", "pub"};
        full.insert(full.end(), args.begin(), args.end());
        return RunCli(full, config.path);
    };

    const CliRun syst = run("anonymous", {"syst"});
    EXPECT_EQ(syst.status, 0) << syst.err;
    EXPECT_EQ(syst.out, "6010\n");
    EXPECT_EQ(run("anonymous", {"mkdir", "made"}).status, 0);
    EXPECT_TRUE(fs::is_directory(pub / "made"));
    EXPECT_EQ(run("anonymous", {"rmdir", "made"}).status, 0);
    EXPECT_FALSE(fs::exists(pub / "made"));
    EXPECT_EQ(run("anonymous", {"rename", "file.txt", "renamed.txt"}).status, 0);
    EXPECT_TRUE(fs::exists(pub / "renamed.txt"));
    // vsftpd never lets anonymous users change modes; a login of its own may.
    EXPECT_EQ(run("anonymous", {"chmod", "600", "renamed.txt"}).status, 6);
    EXPECT_EQ(run(kVsftpdChmodUser, {"chmod", "600", "renamed.txt"}).status, 0);
    EXPECT_EQ(fs::status(pub / "renamed.txt").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(run("anonymous", {"rm", "renamed.txt"}).status, 0);
    EXPECT_FALSE(fs::exists(pub / "renamed.txt"));
    EXPECT_EQ(run("anonymous", {"rm", "renamed.txt"}).status, 6);
}

}  // namespace
