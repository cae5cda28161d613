// SPDX-License-Identifier: GPL-3.0-or-later
// tessaline-ftp over SFTP against a real sshd: each kind of key login, host keys unknown and
// changed, and copies and renames with names a shell would trip over.

#include "support/cli_runner.h"
#include "support/real_ftp_servers.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A new key pair at `file` (and file.pub); its public line.
std::string MakeKey(const std::string& file, const std::string& type)
{
    const std::string command = "ssh-keygen -q -t " + type + " -N '' -f " + file;
    return std::system(command.c_str()) == 0 ? ReadAll(file + ".pub") : std::string();
}

// The SHA256 fingerprint of the public key in `file`, as ssh-keygen -l shows it.
std::string FingerprintOf(const std::string& file)
{
    FILE* output = ::popen(("ssh-keygen -lf " + file).c_str(), "r");
    char line[512] = {};
    const bool read = output && std::fgets(line, sizeof line, output);
    if (output)
        ::pclose(output);
    const std::string text = read ? line : "";
    const std::size_t start = text.find("SHA256:");
    return start == std::string::npos ? text : text.substr(start, text.find(' ', start) - start);
}

class SftpCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(keys.path);
        for (const char* type : {"ed25519", "rsa", "ecdsa"})
            authorized += MakeKey(keys.path + "/" + type, type);
        server = std::make_unique<SshdServer>(root.path, authorized);
        ASSERT_TRUE(server->Started()) << server->ServerLog();
        url = "sftp://" + server->User() + "@127.0.0.1:" + std::to_string(server->Port()) + "/";
        fs::create_directories(home.path + "/.ssh");
    }
    void TearDown() override
    {
        if (agent > 0)
            ::kill(agent, SIGTERM);
    }

    CliRun Run(std::vector<std::string> args, bool trusted = true, const std::vector<std::string>& environment = {})
    {
        std::vector<std::string> full;
        if (trusted)
            full = {"--trust-host-key", server->HostKeyFingerprint()};
        full.push_back(url);
        full.insert(full.end(), args.begin(), args.end());
        return RunCli(full, home.path, environment);
    }
    void UseKey(const std::string& type, const std::string& as)
    {
        fs::copy_file(keys.path + "/" + type, home.path + "/.ssh/" + as, fs::copy_options::overwrite_existing);
        fs::copy_file(keys.path + "/" + type + ".pub", home.path + "/.ssh/" + as + ".pub",
                      fs::copy_options::overwrite_existing);
    }
    // An ssh-agent holding the ed25519 key; its socket.
    std::string StartAgent()
    {
        const std::string socket = home.path + "/agent.sock";
        FILE* output = ::popen(("ssh-agent -a " + socket).c_str(), "r");
        char line[256];
        while (output && std::fgets(line, sizeof line, output)) {
            if (const char* pid = std::strstr(line, "SSH_AGENT_PID="))
                agent = std::atoi(pid + std::strlen("SSH_AGENT_PID="));
        }
        if (output)
            ::pclose(output);
        const std::string add = "SSH_AUTH_SOCK=" + socket + " ssh-add -q " + keys.path + "/ed25519 2>/dev/null";
        return std::system(add.c_str()) == 0 ? socket : std::string();
    }

    TempDir root;
    TempDir home;
    TempDir keys;
    std::string authorized;
    std::unique_ptr<SshdServer> server;
    std::string url;
    pid_t agent = -1;
};

TEST_F(SftpCliTest, EachKindOfKeyLogsIn)
{
    struct Case {
        const char* name;
        std::function<std::vector<std::string>()> prepare;  // the environment of the run
        const char* accepted;                               // the key type sshd logs
    };
    const Case cases[] = {
        {"ed25519 in ~/.ssh",
         [&] {
             UseKey("ed25519", "id_ed25519");
             return std::vector<std::string>{};
         },
         "ED25519"},
        // Debian's sshd takes no SHA-1 signatures: this login needs rsa-sha2.
        {"rsa in ~/.ssh",
         [&] {
             UseKey("rsa", "id_rsa");
             return std::vector<std::string>{};
         },
         "RSA"},
        {"IdentityFile of ~/.ssh/config",
         [&] {
             UseKey("ecdsa", "work_key");
             std::ofstream(home.path + "/.ssh/config")
                 << "Host 127.0.0.1\n  IdentityFile " << home.path << "/.ssh/work_key\n";
             return std::vector<std::string>{};
         },
         "ECDSA"},
        {"agent", [&] { return std::vector<std::string>{"SSH_AUTH_SOCK=" + StartAgent()}; }, "ED25519"},
    };
    for (const Case& c : cases) {
        fs::remove_all(home.path + "/.ssh");
        fs::create_directories(home.path + "/.ssh");
        const std::vector<std::string> environment = c.prepare();
        const CliRun run = Run({"ls"}, true, environment);
        EXPECT_EQ(run.status, 0) << c.name << "\n" << run.err;
        EXPECT_NE(server->ServerLog().rfind(std::string("Accepted publickey for ") + server->User()), std::string::npos)
            << c.name;
        const std::string log = server->ServerLog();
        const std::size_t last = log.rfind("Accepted publickey");
        EXPECT_NE(log.find(c.accepted, last), std::string::npos) << c.name << "\n" << log.substr(last);
    }
}

// A stored site whose protocol is SFTP is reached over SSH; --protocol ftp still wins.
TEST_F(SftpCliTest, AStoredSftpSiteIsReachedOverSsh)
{
    UseKey("ed25519", "id_ed25519");
    fs::create_directories(home.path + "/Tessaline");
    std::ofstream(home.path + "/Tessaline/Tessaline.site", std::ios::binary)
        << "[Box]\r\nHOST=127.0.0.1:" << server->Port() << "\r\nUID=" << server->User()
        << "\r\nGROUP=Work\r\nPROTOCOL=SFTP\r\n";
    const std::vector<std::string> trust = {"--trust-host-key", server->HostKeyFingerprint()};
    std::vector<std::string> args = trust;
    args.insert(args.end(), {"--site", "Box", "ls"});
    const CliRun run = RunCli(args, home.path);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(server->ServerLog().rfind("Accepted publickey for " + server->User()), std::string::npos);
    args = trust;
    args.insert(args.end(), {"--site", "Box", "--protocol", "ftp", "ls"});
    EXPECT_NE(RunCli(args, home.path).status, 0);
}

TEST_F(SftpCliTest, HostKeysUnknownChangedAndKnown)
{
    UseKey("ed25519", "id_ed25519");
    const std::string server22 = "[127.0.0.1]:" + std::to_string(server->Port());
    const std::string otherKey = MakeKey(keys.path + "/other", "ed25519");
    struct Case {
        const char* name;
        std::string knownHosts;  // empty: no file
        bool trusted;            // --trust-host-key with the server's key
        int status;
        std::vector<std::string> said;  // on standard error
    };
    const Case cases[] = {
        {"unknown", "", false, 2, {"--trust-host-key " + server->HostKeyFingerprint()}},
        {"unknown, trusted for the run", "", true, 0, {}},
        {"known", server22 + " " + server->HostKeyLine(), false, 0, {}},
        {"changed: never accepted",
         "other.example " + otherKey + server22 + " " + otherKey,
         true,
         2,
         {"has changed", FingerprintOf(keys.path + "/other.pub"), server->HostKeyFingerprint(), "line 2 of"}},
    };
    for (const Case& c : cases) {
        fs::remove(home.path + "/.ssh/known_hosts");
        if (!c.knownHosts.empty())
            std::ofstream(home.path + "/.ssh/known_hosts") << c.knownHosts;
        const CliRun run = Run({"ls"}, c.trusted);
        EXPECT_EQ(run.status != 0, c.status != 0) << c.name << "\n" << run.err;
        for (const std::string& text : c.said)
            EXPECT_NE(run.err.find(text), std::string::npos) << c.name << ": " << text << "\n" << run.err;
    }
    // Nothing of a login went to the servers whose keys were refused.
    EXPECT_EQ(server->ServerLog().find("Failed"), std::string::npos) << server->ServerLog();
}

TEST_F(SftpCliTest, CopiesAndRenamesNamesAsTheyAre)
{
    UseKey("ed25519", "id_ed25519");
    TempDir local;
    const std::vector<std::string> names = {"-rf", "two  spaces", "new\nline", "star*?", "..dots"};
    for (const std::string& name : names)
        std::ofstream(local.path + "/" + name) << "content of " << name;
    for (const std::string& name : names) {
        const CliRun put = Run({"put", local.path + "/" + name, name});
        EXPECT_EQ(put.status, 0) << name << "\n" << put.err;
        EXPECT_EQ(ReadAll(root.path + "/" + name), "content of " + name) << name;
        const CliRun get = Run({"get", name, local.path + "/back"});
        EXPECT_EQ(get.status, 0) << name << "\n" << get.err;
        EXPECT_EQ(ReadAll(local.path + "/back"), "content of " + name) << name;
        fs::remove(local.path + "/back");
    }
    // Onto a name that is there: the server replaces it (posix-rename), as the user asked.
    const CliRun rename = Run({"rename", "-rf", "..dots"});
    EXPECT_EQ(rename.status, 0) << rename.err;
    EXPECT_EQ(ReadAll(root.path + "/..dots"), "content of -rf");
    EXPECT_FALSE(fs::exists(root.path + "/-rf"));
    const CliRun listed = Run({"ls"});
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_NE(listed.out.find("two  spaces"), std::string::npos) << listed.out;
}

// A directory named from the server's root is copied by every connection from there, not from
// the directory the login started in.
TEST_F(SftpCliTest, ADirectoryNamedFromTheRootIsCopiedOverSeveralConnections)
{
    UseKey("ed25519", "id_ed25519");
    fs::create_directories(root.path + "/tree/sub");
    std::ofstream(root.path + "/tree/a.txt") << "a";
    std::ofstream(root.path + "/tree/sub/b.txt") << "b";
    TempDir local;
    const CliRun run = Run({"getdir", fs::absolute(root.path).string() + "/tree", local.path + "/tree"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadAll(local.path + "/tree/a.txt"), "a");
    EXPECT_EQ(ReadAll(local.path + "/tree/sub/b.txt"), "b");
}

// A server with virtual users that takes passwords only, by each method alone. A refused login
// names what the server offers.
TEST(SftpCliPasswordTest, PasswordAndKeyboardInteractiveLogins)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "proftpd runs only as root";
    const std::string password = "pass word\\$'\"";
    for (const std::string method : {"password", "keyboard-interactive"}) {
        TempDir root;
        TempDir home;
        std::ofstream(root.path + "/greeting.txt") << "hello";
        const ProftpdSftpServer server(root.path, "anna", password, method);
        ASSERT_TRUE(server.Started()) << method << "\n" << server.ServerLog();
        const std::string url = "sftp://anna@127.0.0.1:" + std::to_string(server.Port()) + "/";
        for (const std::string& given : {password, std::string("wrong")}) {
            const CliRun run =
                RunCli({"--trust-host-key", server.HostKeyFingerprint(), "--password", given, url, "ls"}, home.path);
            if (given == password) {
                EXPECT_EQ(run.status, 0) << method << "\n" << run.err << server.ServerLog();
                EXPECT_NE(run.out.find("greeting.txt"), std::string::npos) << method << "\n" << run.out;
            } else {
                EXPECT_EQ(run.status, 5) << method << "\n" << run.err;
                const std::string last = run.err.substr(run.err.rfind("tessaline-ftp: "));
                EXPECT_NE(last.find("offers: " + method), std::string::npos) << method << "\n" << last;
            }
        }
    }
}

}  // namespace
