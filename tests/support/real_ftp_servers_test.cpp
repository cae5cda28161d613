// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/real_ftp_servers.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

namespace {

int ConnectTo(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// Just enough of a client to log in and issue commands that need no data connection.
class Control final {
public:
    explicit Control(int port) : fd(ConnectTo(port))
    {
        const timeval fiveSeconds{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &fiveSeconds, sizeof fiveSeconds);
        greeting = Reply();
    }
    ~Control()
    {
        if (fd >= 0)
            close(fd);
    }

    // The last line of the next reply; empty on end of stream or time-out.
    std::string Reply()
    {
        std::string first;
        for (;;) {
            std::string line;
            char byte = 0;
            while (recv(fd, &byte, 1, 0) == 1 && byte != '\n')
                line += byte;
            if (byte != '\n')
                return {};
            if (first.empty())
                first = line;
            if (line.size() >= 4 && line.compare(0, 3, first, 0, 3) == 0 && line[3] == ' ')
                return line;
        }
    }

    std::string Command(const std::string& line)
    {
        const std::string sent = line + "\r\n";
        if (send(fd, sent.data(), sent.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(sent.size()))
            return {};
        return Reply();
    }

    // Whether the server side has gone: end of stream or a reset, not merely silence.
    bool ClosedByPeer()
    {
        char byte = 0;
        const ssize_t got = recv(fd, &byte, 1, 0);
        return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
    }

    int fd;
    std::string greeting;
};

// Sends each command in turn and checks the code of its reply.
void ExpectReplies(Control& control, std::initializer_list<std::pair<std::string, std::string>> steps)
{
    for (const auto& [command, code] : steps) {
        const std::string reply = control.Command(command);
        EXPECT_EQ(reply.substr(0, 4), code + " ") << command << " -> " << reply;
    }
}

struct stat StatOf(const std::string& path)
{
    struct stat info {};
    stat(path.c_str(), &info);
    return info;
}

passwd* VsftpdUser()
{
    return getpwnam(kVsftpdUser);
}

// After the server object is gone: its process reaped, its logins cut off, its port refusing.
template <typename Server>
void ExpectStopsCompletely(std::unique_ptr<Server> server, const std::string& user)
{
    ASSERT_TRUE(server->Started()) << server->ServerLog();
    const pid_t pid = server->Pid();
    const int port = server->Port();
    Control session(port);
    ExpectReplies(session, {{"USER " + user, "331"}, {"PASS any@where", "230"}});

    server.reset();

    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(kill(pid, 0), -1);
    EXPECT_TRUE(session.ClosedByPeer());
    EXPECT_EQ(ConnectTo(port), -1);
    EXPECT_EQ(errno, ECONNREFUSED);
}

TEST(PyftpdlibServerTest, GivesTheUserEveryRightAndAnonymousOnlyReading)
{
    TempDir root;
    PyftpdlibServer server(root.path, "tester", "secret");
    ASSERT_TRUE(server.Started()) << server.ServerLog();

    Control user(server.Port());
    EXPECT_EQ(user.greeting.substr(0, 4), "220 ");
    ExpectReplies(user,
                  {{"USER tester", "331"},
                   {"PASS wrong", "530"},
                   {"USER tester", "331"},
                   {"PASS secret", "230"},
                   {"MKD made", "257"},
                   {"SITE CHMOD 701 made", "200"}});
    EXPECT_EQ(StatOf(root.path + "/made").st_mode & 07777, 0701u);

    Control anonymous(server.Port());
    ExpectReplies(anonymous,
                  {{"USER anonymous", "331"}, {"PASS any@where", "230"}, {"CWD made", "250"}, {"MKD refused", "550"}});
    EXPECT_FALSE(std::filesystem::exists(root.path + "/made/refused"));
}

TEST(PyftpdlibServerTest, AnonymousRightsAreAnOption)
{
    TempDir root;
    PyftpdlibServer writable(root.path, "tester", "secret", {.anonymousPermissions = "elrm"});
    PyftpdlibServer closed(root.path, "tester", "secret", {.anonymousPermissions = ""});
    ASSERT_TRUE(writable.Started()) << writable.ServerLog();
    ASSERT_TRUE(closed.Started()) << closed.ServerLog();

    Control allowed(writable.Port());
    ExpectReplies(allowed, {{"USER anonymous", "331"}, {"PASS x", "230"}, {"MKD allowed", "257"}});
    Control refused(closed.Port());
    ExpectReplies(refused, {{"USER anonymous", "331"}, {"PASS x", "530"}});
}

TEST(PyftpdlibServerTest, StopsCompletely)
{
    TempDir root;
    ExpectStopsCompletely(std::make_unique<PyftpdlibServer>(root.path, "tester", "any@where"), "tester");
}

TEST(PyftpdlibServerTest, SaysAtOnceWhyItDidNotStart)
{
    const auto before = std::chrono::steady_clock::now();
    PyftpdlibServer server("/nonexistent/tessaline-root", "tester", "secret");
    EXPECT_FALSE(server.Started());
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(server.Pid(), -1);
    EXPECT_NE(server.ServerLog().find("no such directory"), std::string::npos) << server.ServerLog();
}

TEST(VsftpdServerTest, AnonymousWritesWhereItsUserMayButNeverChmods)
{
    if (!VsftpdServer::Available())
        GTEST_SKIP() << "vsftpd needs root";
    TempDir root;
    ASSERT_EQ(chmod(root.path.c_str(), 0755), 0);
    const std::string incoming = root.path + "/incoming";
    ASSERT_EQ(mkdir(incoming.c_str(), 0755), 0);
    ASSERT_EQ(chown(incoming.c_str(), VsftpdUser()->pw_uid, VsftpdUser()->pw_gid), 0);

    VsftpdServer server(root.path);
    ASSERT_TRUE(server.Started()) << server.ServerLog();
    Control anonymous(server.Port());
    EXPECT_EQ(anonymous.greeting.substr(0, 4), "220 ");
    ExpectReplies(anonymous,
                  {{"USER anonymous", "331"},
                   {"PASS any@where", "230"},
                   {"MKD top", "550"},
                   {"MKD incoming/made", "257"},
                   {"SITE CHMOD 700 incoming/made", "550"}});
    EXPECT_EQ(StatOf(incoming + "/made").st_uid, VsftpdUser()->pw_uid);
    EXPECT_EQ(StatOf(incoming + "/made").st_mode & 07777, 0755u);
}

TEST(VsftpdServerTest, ChmodLoginChangesModesInAWritableRoot)
{
    if (!VsftpdServer::Available({.chmodLogin = true}))
        GTEST_SKIP() << "the chmod login needs root, the nobody user and PAM's runuser service";
    TempDir root;
    ASSERT_EQ(chmod(root.path.c_str(), 0755), 0);
    ASSERT_EQ(chown(root.path.c_str(), VsftpdUser()->pw_uid, VsftpdUser()->pw_gid), 0);

    VsftpdServer server(root.path, {.chmodLogin = true});
    ASSERT_TRUE(server.Started()) << server.ServerLog();
    Control login(server.Port());
    ExpectReplies(login,
                  {{std::string("USER ") + kVsftpdChmodUser, "331"},
                   {"PASS whatever", "230"},
                   {"MKD made", "257"},
                   {"SITE CHMOD 750 made", "200"}});
    EXPECT_EQ(StatOf(root.path + "/made").st_uid, VsftpdUser()->pw_uid);
    EXPECT_EQ(StatOf(root.path + "/made").st_mode & 07777, 0750u);
}

TEST(VsftpdServerTest, StopsCompletelyLoggedInSessionsIncluded)
{
    if (!VsftpdServer::Available())
        GTEST_SKIP() << "vsftpd needs root";
    TempDir root;
    ASSERT_EQ(chmod(root.path.c_str(), 0755), 0);
    ExpectStopsCompletely(std::make_unique<VsftpdServer>(root.path), "anonymous");
}

}  // namespace
