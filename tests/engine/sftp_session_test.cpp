// SPDX-License-Identifier: GPL-3.0-or-later
// The SFTP session: its reading of server packets, and against a real sshd the host-key
// question, a key's passphrase and a cancelled download.

#include "remote/exchange_result.h"
#include "remote/local_names.h"
#include "remote/operation_runner.h"
#include "remote/session_log.h"
#include "sftp/sftp_packets.h"
#include "sftp/sftp_remote_session.h"
#include "support/real_ftp_servers.h"
#include "support/stalled_listener.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string U32(std::uint32_t value)
{
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16 & 0xff), static_cast<char>(value >> 8 & 0xff),
            static_cast<char>(value & 0xff)};
}

std::string Text(const std::string& text)
{
    return U32(static_cast<std::uint32_t>(text.size())) + text;
}

std::string Packet(std::uint8_t type, std::uint32_t id, const std::string& body)
{
    const std::string inner = std::string(1, static_cast<char>(type)) + U32(id) + body;
    return U32(static_cast<std::uint32_t>(inner.size())) + inner;
}

TEST(SftpPacketsTest, RepliesAsServersSendThemAndAsHostileOnesDo)
{
    const std::string permissions = U32(kAttrPermissions) + U32(040755);
    struct Case {
        const char* name;
        std::string stream;
        bool whole;    // a packet can be taken
        bool tooLong;  // the length announced is refused
        int names;     // entries ParseNames reads; -1: malformed
    };
    const Case cases[] = {
        {"a NAME of two entries",
         Packet(kFxpName, 3, U32(2) + Text("a") + Text("") + U32(0) + Text("d") + Text("") + permissions), true, false,
         2},
        {"a count far beyond the packet", Packet(kFxpName, 3, U32(0xffffffff) + Text("a") + Text("") + U32(0)), true,
         false, -1},
        {"a name longer than the packet", Packet(kFxpName, 3, U32(1) + U32(1000) + "abc"), true, false, -1},
        {"attributes cut short", Packet(kFxpName, 3, U32(1) + Text("a") + Text("") + U32(kAttrSize) + "12"), true,
         false, -1},
        {"extended attributes without end",
         Packet(kFxpName, 3, U32(1) + Text("a") + Text("") + U32(kAttrExtended) + U32(0x7fffffff)), true, false, -1},
        {"half a packet", Packet(kFxpName, 3, U32(0)).substr(0, 6), false, false, 0},
        {"a length beyond any reply", U32(kLargestSftpPacket + 1) + std::string(16, 'x'), false, true, 0},
    };
    for (const Case& c : cases) {
        std::string_view stream = c.stream;
        bool tooLong = false;
        const auto packet = TakePacket(stream, tooLong);
        EXPECT_EQ(packet.has_value(), c.whole) << c.name;
        EXPECT_EQ(tooLong, c.tooLong) << c.name;
        if (!packet)
            continue;
        EXPECT_TRUE(stream.empty()) << c.name;
        const auto names = ParseNames(packet->body);
        EXPECT_EQ(names ? static_cast<int>(names->size()) : -1, c.names) << c.name;
    }
}

// One channel read brings many replies of a pipelined download and the start of the next.
TEST(SftpPacketsTest, ManyRepliesOfOneReadAreTakenInOrderAndAPartOneWaits)
{
    const std::string partial = Packet(kFxpData, 3, Text(std::string(100, 'c'))).substr(0, 50);
    const std::string bytes = Packet(kFxpData, 1, Text("aa")) + Packet(kFxpStatus, 2, U32(kFxEof)) + partial;
    std::string_view stream = bytes;
    bool tooLong = false;
    const auto first = TakePacket(stream, tooLong);
    const auto second = TakePacket(stream, tooLong);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->id, 1U);
    EXPECT_EQ(ParseData(first->body), "aa");
    EXPECT_EQ(second->type, kFxpStatus);
    EXPECT_EQ(second->id, 2U);
    EXPECT_FALSE(TakePacket(stream, tooLong));
    EXPECT_EQ(stream, partial);
}

TEST(SftpPacketsTest, ModesFromThePermissionsDialogAndBack)
{
    struct Case {
        const char* text;
        std::optional<std::uint32_t> mode;
    };
    const Case cases[] = {{"644", 0644},        {"0755", 0755},        {"4711", 04711},        {"7", 07},
                          {"", std::nullopt},   {"888", std::nullopt}, {"64 4", std::nullopt}, {"00644", std::nullopt},
                          {"-rw", std::nullopt}};
    for (const Case& c : cases)
        EXPECT_EQ(ModeFromText(c.text), c.mode) << '"' << c.text << '"';
    EXPECT_EQ(PermissionsText(0100644), "-rw-r--r--");
    EXPECT_EQ(PermissionsText(040750), "drwxr-x---");
    EXPECT_EQ(PermissionsText(0120777), "lrwxrwxrwx");
}

// A listener the kernel completes connections for, but nobody reads from or writes to.
int SilentListener(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd, 8);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return fd;
}

TEST(SftpTimeOutTest, TheRetryTimeOutBoundsTheConnect)
{
    StalledListener stalled;
    int silentPort = 0;
    const int silent = SilentListener(silentPort);
    struct Case {
        const char* name;
        int port;
    };
    const Case cases[] = {{"the connect hangs", stalled.Port()}, {"the server never speaks", silentPort}};
    for (const Case& c : cases) {
        SessionSettings settings;
        settings.retryMilliseconds = 300;
        SftpRemoteSession session(settings);
        session.SetLogin({RemoteProtocol::Sftp, "127.0.0.1:" + std::to_string(c.port), "u", "", 0, 'I', {}});
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(session.Connect()) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3)) << c.name;
        EXPECT_NE(session.Failure().connectFailure, ConnectFailure::None) << c.name;
    }
    ::close(silent);
    DrainLogQueue([](const std::string&) {});
}

// A front end that answers the host-key question and gives a passphrase, counting both; its waits
// end, as a user's Cancel does, once `cancelAfter` bytes of a transfer came.
class AnsweringHost final : public OperationHost {
public:
    bool WaitWhileBusy(WaitKind kind, const std::string&, OperationRunner& runner) override
    {
        while (runner.WorkerBusy()) {
            if (kind == WaitKind::FileTransfer && cancelAfter > 0 && runner.TransferProgress().done >= cancelAfter)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    void WorkerEnded() override {}
    void Inform(const std::string&) override {}
    void AskHostKey(const HostKeyQuestion& question, std::shared_ptr<TrustReply> reply) override
    {
        ++keyQuestions;
        asked = question;
        reply->Answer(keyAnswer);
    }
    std::optional<std::string> AskPassphrase(const std::string&) override
    {
        ++passphraseQuestions;
        return passphrase;
    }

    TrustAnswer keyAnswer = TrustAnswer::Always;
    std::string passphrase;
    long long cancelAfter = 0;
    HostKeyQuestion asked;
    std::atomic<int> keyQuestions{0};
    std::atomic<int> passphraseQuestions{0};
};

std::string MakeKey(const std::string& file, const std::string& passphrase)
{
    const std::string command = "ssh-keygen -q -t ed25519 -N '" + passphrase + "' -f " + file;
    if (std::system(command.c_str()) != 0)
        return {};
    std::ifstream in(file + ".pub");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class SftpSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(home.path + "/.ssh");
        keyLine = MakeKey(home.path + "/.ssh/id_ed25519", "secret words");
        server = std::make_unique<SshdServer>(root.path, keyLine);
        ASSERT_TRUE(server->Started()) << server->ServerLog();
        savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        ::setenv("HOME", home.path.c_str(), 1);
        ::unsetenv("SSH_AUTH_SOCK");
        host.passphrase = "secret words";
        session.Operations().host = &host;
        session.SetLogin(
            {RemoteProtocol::Sftp, "127.0.0.1:" + std::to_string(server->Port()), server->User(), "", 0, 'I', {}});
    }
    void TearDown() override
    {
        session.Quit();
        ::setenv("HOME", savedHome.c_str(), 1);
        DrainLogQueue([](const std::string&) {});
    }

    TempDir home;
    TempDir root;
    std::string keyLine;
    std::unique_ptr<SshdServer> server;
    std::string savedHome;
    SessionSettings settings;
    AnsweringHost host;
    SftpRemoteSession session{settings};
};

TEST_F(SftpSessionTest, TrustAndRememberWritesKnownHostsAsOpenSshFindsIt)
{
    ASSERT_TRUE(session.Connect()) << session.Failure().refusal;
    EXPECT_EQ(host.keyQuestions, 1);
    EXPECT_EQ(host.asked.fingerprint, server->HostKeyFingerprint());
    EXPECT_EQ(host.asked.keyType, "ssh-ed25519");
    // The key's passphrase was asked once, and a copy's connection asks neither question again.
    EXPECT_EQ(host.passphraseQuestions, 1);
    const std::string find = "ssh-keygen -F '[127.0.0.1]:" + std::to_string(server->Port()) + "' -f " + home.path
        + "/.ssh/known_hosts >/dev/null";
    EXPECT_EQ(std::system(find.c_str()), 0);
    const auto another = session.NewSession();
    another->Operations().host = &host;
    ASSERT_TRUE(another->Connect());
    EXPECT_EQ(host.keyQuestions, 1);
    EXPECT_EQ(host.passphraseQuestions, 1);
    another->Quit();
}

TEST_F(SftpSessionTest, RefusedKeyAndMissingPassphraseSendNoLogin)
{
    host.keyAnswer = TrustAnswer::Refuse;
    EXPECT_FALSE(session.Connect());
    EXPECT_EQ(host.passphraseQuestions, 0);
    EXPECT_EQ(server->ServerLog().find("publickey"), std::string::npos) << server->ServerLog();

    host.keyAnswer = TrustAnswer::Once;
    host.passphrase.clear();
    EXPECT_FALSE(session.Connect());
    EXPECT_EQ(session.Failure().connectFailure, ConnectFailure::LoginRefused);
    EXPECT_NE(session.Failure().refusal.find("it offers: publickey"), std::string::npos) << session.Failure().refusal;
    EXPECT_FALSE(fs::exists(home.path + "/.ssh/known_hosts"));
}

TEST_F(SftpSessionTest, CancelEndsADownloadAtOnceAndLeavesNoFile)
{
    {
        std::ofstream big(root.path + "/big.bin", std::ios::binary);
        const std::string block(1 << 20, 'x');
        for (int i = 0; i < 256; ++i)
            big << block;
    }
    ASSERT_TRUE(session.Connect());
    settings.retry = 0;  // no time-out: only the cancel can end the wait
    host.cancelAfter = 1 << 20;
    TempDir target;
    const auto started = std::chrono::steady_clock::now();
    const int result = session.RetrieveFile("big.bin", target.path + "/big.bin", {}, TransferStart::Fresh);
    EXPECT_EQ(result, kTransferCancelled);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_TRUE(fs::is_empty(target.path)) << "neither the file nor its temporary may stay";
    EXPECT_FALSE(session.Connected());
}

TEST_F(SftpSessionTest, ListingLooksThroughLinksAndLinksToDirectoriesAreEntered)
{
    fs::create_directory(root.path + "/sub");
    fs::permissions(root.path + "/sub", fs::perms(0750));
    std::ofstream(root.path + "/a.txt") << "12345";
    const utimbuf times{1700000000, 1700000000};
    ::utime((root.path + "/a.txt").c_str(), &times);
    fs::create_symlink("sub", root.path + "/tosub");
    fs::create_symlink("a.txt", root.path + "/toa");
    fs::create_symlink("missing", root.path + "/nowhere");
    ASSERT_TRUE(session.Connect());
    std::vector<CDirEntry> entries;
    ASSERT_EQ(session.ListDirectory(ListingUse::Show, entries), ListingResult::Listed);
    struct Row {
        int isFile;
        std::string permissions;  // the start of it
        std::string size;         // empty: not looked at
    };
    const std::map<std::string, Row> expected = {
        {"a.txt", {1, "-rw-r--r--", "5"}}, {"sub", {0, "drwxr-x---", ""}},
        {"tosub -> sub", {0, "l", ""}},    {"toa", {1, "l", "5"}},
        {"nowhere", {1, "l", ""}},
    };
    ASSERT_EQ(entries.size(), expected.size());
    for (const CDirEntry& entry : entries) {
        SCOPED_TRACE(entry.name);
        const auto row = expected.find(entry.name);
        ASSERT_NE(row, expected.end());
        EXPECT_EQ(entry.isFile, row->second.isFile);
        EXPECT_TRUE(entry.permissions.starts_with(row->second.permissions)) << entry.permissions;
        if (!row->second.size.empty()) {
            EXPECT_EQ(entry.size, row->second.size);
        }
        if (entry.name == "a.txt") {
            EXPECT_EQ(entry.modifiedTime, std::optional<std::time_t>(1700000000));
        }
    }
    ASSERT_EQ(session.EnterLink("tosub -> sub"), kCompletion);
    std::string here;
    ASSERT_EQ(session.CurrentDirectory(here), kCompletion);
    EXPECT_TRUE(here.ends_with("/sub")) << here;
    EXPECT_EQ(session.ChangeDirectory(".."), kCompletion);
    EXPECT_EQ(session.ChangeDirectory("a.txt"), kPermanentNegative);
}

TEST_F(SftpSessionTest, CommandsAndTransfersThatGoOnFromWhatCameThrough)
{
    ASSERT_TRUE(session.Connect());
    EXPECT_EQ(session.MakeDirectory("new"), kCompletion);
    EXPECT_EQ(session.SetPermissions("750", "new"), kCompletion);
    EXPECT_EQ(fs::status(root.path + "/new").permissions(), fs::perms(0750));
    EXPECT_EQ(session.SetPermissions("rwx", "new"), kPermanentNegative);
    EXPECT_EQ(session.RemoveDirectory("new"), kCompletion);
    EXPECT_EQ(session.DeleteFile("gone"), kPermanentNegative);
    EXPECT_FALSE(session.Failure().reply.empty());
    EXPECT_TRUE(session.Connected()) << "a refusal keeps the session";

    std::string content;
    for (int i = 0; content.size() < 300000; ++i)
        content += std::to_string(i) + ",";
    std::ofstream(root.path + "/data.txt", std::ios::binary) << content;
    const utimbuf times{1600000000, 1600000000};
    ::utime((root.path + "/data.txt").c_str(), &times);
    TempDir local;
    const std::string target = local.path + "/data.txt";
    std::ofstream(PartialDownloadPath(target), std::ios::binary) << content.substr(0, 100000);
    ASSERT_EQ(session.RetrieveFile("data.txt", target, {}, TransferStart::Resume), kCompletion);
    std::ifstream got(target, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(got), {}), content);
    EXPECT_FALSE(fs::exists(PartialDownloadPath(target)));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtime, 1600000000) << "the server's time is kept";

    std::ofstream(root.path + "/up.txt", std::ios::binary) << content.substr(0, 1000);
    // The part an earlier upload left is the login's own, as a server would have written it.
    const passwd* login = ::getpwnam(server->User().c_str());
    ASSERT_TRUE(login);
    ASSERT_EQ(::chown((root.path + "/up.txt").c_str(), login->pw_uid, login->pw_gid), 0);
    ASSERT_EQ(session.StoreFile("up.txt", target, TransferStart::Resume), kCompletion);
    std::ifstream sent(root.path + "/up.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(sent), {}), content);
}

}  // namespace
