// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/scripted_ftp_server.h"
#include "support/transcript.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

const std::string kGreeting = "220 Scripted server ready\r\n";
const std::string kNotImplemented = "502 Command not implemented.\r\n";

// Waits up to `timeout` for `events` on `fd`; false on time-out.
bool WaitFor(int fd, short events, std::chrono::milliseconds timeout)
{
    pollfd entry{fd, events, 0};
    return ::poll(&entry, 1, static_cast<int>(timeout.count())) > 0;
}

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// A plain blocking client socket. Every read gives up after a few seconds, so a fault in the
// server fails the test instead of hanging it.
class Client final {
public:
    explicit Client(int port, int bufferSize = 0) : fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        if (bufferSize > 0) {
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize);
        }
        const sockaddr_in address = Loopback(port);
        connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { Close(); }

    void Close()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }

    // Sends everything within a few seconds, never waiting for the server to be read from.
    bool Send(std::string_view bytes)
    {
        const auto deadline = Clock::now() + 5s;
        while (!bytes.empty() && Clock::now() < deadline) {
            const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0)
                bytes.remove_prefix(static_cast<std::size_t>(n));
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return false;
            else
                WaitFor(fd, POLLOUT, 100ms);
        }
        return bytes.empty();
    }

    // Reads `size` bytes, or what came before the server closed or went quiet for 5 s.
    std::string Read(std::size_t size, int* reads = nullptr) { return ReadFrom(fd, size, reads); }

    static std::string ReadFrom(int fd, std::size_t size, int* reads = nullptr)
    {
        std::string text;
        char buffer[65536];
        while (text.size() < size && WaitFor(fd, POLLIN, 5s)) {
            const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, size - text.size()), 0);
            if (n <= 0)
                break;
            text.append(buffer, static_cast<std::size_t>(n));
            if (reads)
                ++*reads;
        }
        return text;
    }

    bool ClosedByServer() const
    {
        char byte;
        return WaitFor(fd, POLLIN, 5s) && ::recv(fd, &byte, 1, 0) == 0;
    }

    bool QuietFor(std::chrono::milliseconds time) const { return !WaitFor(fd, POLLIN, time); }

    // One reply line, its line end included.
    std::string ReadLine()
    {
        std::string line;
        for (std::string byte; !line.ends_with('\n') && (byte = Read(1)).size() == 1;)
            line += byte;
        return line;
    }

    // Sends no more: the server reads the end of its input, and may still reply.
    void EndSending() const { ::shutdown(fd, SHUT_WR); }

    // TCP segments with data that have arrived so far.
    unsigned DataSegmentsIn() const
    {
        tcp_info info{};
        socklen_t size = sizeof info;
        ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &size);
        return info.tcpi_data_segs_in;
    }

    int fd;
    bool connected = false;
};

// A client for the data connection of a 227 or 229 reply, at the port it names on 127.0.0.1.
std::unique_ptr<Client> PassiveData(const std::string& reply)
{
    int port = 0;
    int high = 0;
    int low = 0;
    if (std::sscanf(reply.c_str(), "229 Entering Extended Passive Mode (|||%d|)", &port) != 1
        && std::sscanf(reply.c_str(), "227 Entering Passive Mode (%*d,%*d,%*d,%*d,%d,%d)", &high, &low) == 2)
        port = high * 256 + low;
    return std::make_unique<Client>(port);
}

TEST(ScriptedFtpServerTest, GreetsThenRepliesFromTheQueueOfEachVerbReusingTheLastText)
{
    ScriptedFtpServer server;
    const std::string welcome = "230-Welcome\r\n  to the test\r\n230 Done\r\n";
    server.Reply("USER", "331 Password please\r\n");
    server.Reply("pass", "530 Wrong\r\n");
    server.Reply("PASS", welcome);

    Client client(server.Port());
    ASSERT_TRUE(client.connected);
    EXPECT_EQ(client.Read(kGreeting.size()), kGreeting);
    const std::vector<std::pair<std::string, std::string>> exchanges = {
        {"user anonymous", "331 Password please\r\n"},
        {"PASS one", "530 Wrong\r\n"},
        {"PASS two", welcome},
        {"Pass three", welcome},
        {"SYST", kNotImplemented},
    };
    for (const auto& [command, reply] : exchanges) {
        ASSERT_TRUE(client.Send(command + "\r\n"));
        EXPECT_EQ(client.Read(reply.size()), reply) << command;
    }
    EXPECT_TRUE(client.QuietFor(100ms));
    EXPECT_EQ(server.Commands(),
              (std::vector<std::string>{"user anonymous", "PASS one", "PASS two", "Pass three", "SYST"}));
    EXPECT_EQ(server.Connections(), 1);
}

TEST(ScriptedFtpServerTest, TakesPipelinedLinesByteExactlyAndStaysSilentWhenTold)
{
    ScriptedFtpServer server;
    server.Reply("NOOP", "");
    server.Reply("TYPE", "200 Type set\r\n");
    Client client(server.Port());
    ASSERT_TRUE(client.connected);
    ASSERT_EQ(client.Read(kGreeting.size()), kGreeting);

    const std::string withNul("STOR a\0b \r", 10);
    ASSERT_TRUE(client.Send("NOOP\r\nTYPE I\n" + withNul + "\r\n\r\n"));
    const std::string expected = "200 Type set\r\n" + kNotImplemented + kNotImplemented;
    EXPECT_EQ(client.Read(expected.size()), expected);
    EXPECT_TRUE(client.QuietFor(200ms));
    ASSERT_TRUE(server.WaitForCommands(4, 1s));
    // Only the last CR before the LF belongs to the line end.
    EXPECT_EQ(server.Commands(), (std::vector<std::string>{"NOOP", "TYPE I", std::string("STOR a\0b \r", 10), ""}));
    EXPECT_FALSE(server.WaitForCommands(5, 50ms));
}

TEST(ScriptedFtpServerTest, RepliesInPiecesArriveOverSeveralReadsWhileCommandsKeepComing)
{
    ScriptedFtpServer server;
    const std::string greeting = "220-Hello\r\n220 Ready\r\n";
    const std::string password = "331-Password\r\n331 please\r\n";
    server.OnAccept([&](ScriptedFtpServer::Control& control) { control.SendInPieces(greeting, 5, 30ms); });
    server.OnCommand([&](const std::string& command, ScriptedFtpServer::Control& control) {
        if (command.starts_with("USER"))
            control.SendInPieces(password, 6, 40ms);
        else
            control.Answer(command);
    });
    server.Reply("PASS", "230 In\r\n");

    Client client(server.Port());
    ASSERT_TRUE(client.connected);
    int reads = 0;
    EXPECT_EQ(client.Read(greeting.size(), &reads), greeting);
    EXPECT_GE(reads, 3);

    // PASS goes out as soon as the first piece of the USER reply is in; its reply must follow the
    // whole of the USER reply.
    ASSERT_TRUE(client.Send("USER me\r\n"));
    std::string replies = client.Read(6);
    ASSERT_TRUE(client.Send("PASS secret\r\n"));
    replies += client.Read(password.size() + 8 - 6);
    EXPECT_EQ(replies, password + "230 In\r\n");
}

TEST(ScriptedFtpServerTest, QuitClosesTheConnectionAndTheNextClientIsGreetedAgain)
{
    ScriptedFtpServer server;
    {
        Client first(server.Port());
        ASSERT_EQ(first.Read(kGreeting.size()), kGreeting);
        ASSERT_TRUE(first.Send("quit\r\n"));
        EXPECT_EQ(first.Read(14), "221 Goodbye.\r\n");
        EXPECT_TRUE(first.ClosedByServer());
    }
    Client second(server.Port());
    EXPECT_EQ(second.Read(kGreeting.size()), kGreeting);
    EXPECT_EQ(server.Connections(), 2);
}

TEST(ScriptedFtpServerTest, SurvivesClientsThatLeaveAtAnyMoment)
{
    ScriptedFtpServer server;
    server.Reply("LIST", std::string(8 << 20, 'x'));
    {
        // Closes before the reply: the server writes to a closed socket, the case that raises
        // SIGPIPE unless sends ask not to.
        Client leaving(server.Port());
        ASSERT_EQ(leaving.Read(kGreeting.size()), kGreeting);
        ASSERT_TRUE(leaving.Send("LIST\r\n"));
    }
    {
        // Leaves with part of the reply unread: the connection is reset under the server.
        Client leaving(server.Port(), 65536);
        ASSERT_EQ(leaving.Read(kGreeting.size()), kGreeting);
        ASSERT_TRUE(leaving.Send("LIST\r\n"));
        ASSERT_EQ(leaving.Read(1000).size(), 1000u);
    }
    {
        Client silent(server.Port());  // leaves without a word
    }
    Client last(server.Port());
    EXPECT_EQ(last.Read(kGreeting.size()), kGreeting);
    EXPECT_EQ(server.Connections(), 4);
    EXPECT_EQ(server.Commands(), (std::vector<std::string>{"LIST", "LIST"}));
}

TEST(ScriptedFtpServerTest, KeepsReadingCommandsWhileALargeReplyIsBlocked)
{
    // Both sides write far more than the socket buffers hold before either reads: unless the
    // server reads while it sends, each waits for the other forever.
    ScriptedFtpServer server;
    const std::string listing(8 << 20, 'L');
    server.Reply("LIST", listing);
    server.Reply("NOOP", "");
    Client client(server.Port(), 65536);
    ASSERT_EQ(client.Read(kGreeting.size()), kGreeting);

    const std::string noop = "NOOP " + std::string(65536, 'n') + "\r\n";
    std::string burst = "LIST\r\n";
    for (int i = 0; i < 128; ++i)
        burst += noop;
    ASSERT_TRUE(client.Send(burst));
    EXPECT_TRUE(client.Read(listing.size()) == listing);
    EXPECT_TRUE(server.WaitForCommands(129, 5s));
}

TEST(ScriptedFtpServerTest, DataConnectionsGoToThePortAddressFromTheGivenHost)
{
    int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const int dataPort = ntohs(address.sin_port);
    const std::string port =
        "PORT 127,0,0,1," + std::to_string(dataPort / 256) + ',' + std::to_string(dataPort % 256) + "\r\n";

    ScriptedFtpServer server;
    server.Reply("PORT", "200 PORT ok\r\n");
    server.OnCommand([](const std::string& command, ScriptedFtpServer::Control& control) {
        if (command.starts_with("RETR")) {
            if (!control.OpenData("127.0.0.2")) {
                control.SendLine("425 No data connection");
                return;
            }
            control.SendLine("150 Sending");
            const bool sent = control.DataSend("file body\n");
            control.CloseData();
            control.SendLine(sent ? "226 Sent" : "426 Failed");
        } else if (command.starts_with("STOR")) {
            if (!control.OpenData()) {
                control.SendLine("425 No data connection");
                return;
            }
            control.SendLine("150 Receiving");
            const std::string got = control.DataReceiveAll();
            control.CloseData();
            control.SendLine("226 Got " + got);
        } else {
            control.Answer(command);
        }
    });

    // Accepts the server's data connection; `from` is the address it came from.
    auto acceptData = [listener](std::string& from) {
        if (!WaitFor(listener, POLLIN, 5s))
            return -1;
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        const int fd = ::accept4(listener, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC);
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        from = text;
        return fd;
    };

    Client client(server.Port());
    ASSERT_EQ(client.Read(kGreeting.size()), kGreeting);
    ASSERT_TRUE(client.Send(port));
    ASSERT_EQ(client.Read(13), "200 PORT ok\r\n");

    ASSERT_TRUE(client.Send("RETR a.txt\r\n"));
    std::string from;
    int data = acceptData(from);
    ASSERT_GE(data, 0);
    EXPECT_EQ(from, "127.0.0.2");
    EXPECT_EQ(Client::ReadFrom(data, 100), "file body\n");
    ::close(data);
    EXPECT_EQ(client.Read(23), "150 Sending\r\n226 Sent\r\n");

    ASSERT_TRUE(client.Send("STOR b.bin\r\n"));
    data = acceptData(from);
    ASSERT_GE(data, 0);
    EXPECT_EQ(from, "127.0.0.1");
    const std::string upload("up\0loaded", 9);
    ASSERT_EQ(::send(data, upload.data(), upload.size(), MSG_NOSIGNAL), 9);
    ::close(data);
    const std::string stored = "150 Receiving\r\n226 Got " + upload + "\r\n";
    EXPECT_EQ(client.Read(stored.size()), stored);

    // A malformed PORT leaves no address to connect to.
    ASSERT_TRUE(client.Send("PORT 127,0,0,1,300,1\r\nRETR a.txt\r\n"));
    const std::string refused = "200 PORT ok\r\n425 No data connection\r\n";
    EXPECT_EQ(client.Read(refused.size()), refused);
    ::close(listener);
}

// What a client sees of `command`: the reply to `passive` up to its port, the replies to the
// command and, in brackets, what came over the data connection; `upload` is sent over it instead.
std::string Exchange(Client& client, const std::string& command, const std::string& passive, const std::string& upload)
{
    std::string seen;
    std::unique_ptr<Client> data;
    if (!passive.empty()) {
        client.Send(passive + "\r\n");
        const std::string reply = client.ReadLine();
        const std::size_t port =
            reply.starts_with("227") ? reply.rfind(',', reply.rfind(',') - 1) + 1 : reply.find("|||") + 3;
        seen = reply.substr(0, port) + "*";
        data = PassiveData(reply);
    }
    client.Send(command + "\r\n");
    const std::string reply = client.ReadLine();
    seen += reply;
    if (!reply.starts_with("150"))
        return seen;
    if (!upload.empty()) {
        data->Send(upload);
        data->Close();
    }
    const std::string final = client.ReadLine();
    if (upload.empty() && final.starts_with("226"))
        seen += "[" + data->Read(1 << 20) + "]";
    return seen + final;
}

TEST(ScriptedFtpServerTest, ServesATreeOfFilesOverPassiveDataConnectionsAndKeepsUploads)
{
    ScriptedFtpServer server;
    server.ServeFiles();
    server.ServeFile("everywhere.txt", "in every directory");
    server.ServeDirectory("/", "the top\r\n");
    server.ServeDirectory("/sub", "below\r\n");
    server.ServeFile("/sub/here.txt", "only here", "150 Here (9 bytes)\r\n");
    server.ServeUnlistableDirectory("/sub/locked");
    server.AnnouncePassiveAddress("10.0.0.9");
    server.Reply("NOOP", "200 first\r\n");
    server.Reply("NOOP", "200 second\r\n");
    server.ReplyFromNowOn("NOOP", "200 only\r\n");
    Client client(server.Port());
    ASSERT_EQ(client.Read(kGreeting.size()), kGreeting);

    const std::string epsv = "229 Entering Extended Passive Mode (|||*";
    const std::string opening = ScriptedFtpServer::kOpeningData;
    const std::string done = "226 Transfer complete\r\n";
    const std::string changed = "250 Directory changed\r\n";
    const struct {
        std::string command;
        std::string passive;
        std::string seen;
        std::string upload{};
    } steps[] = {
        {"RETR everywhere.txt", "EPSV", epsv + opening + "[in every directory]" + done},
        {"LIST", "PASV", "227 Entering Passive Mode (10,0,0,9,*" + opening + "[the top\r\n]" + done},
        {"CWD nowhere", "", "550 No such directory\r\n"},
        {"CWD sub", "", changed},
        {"RETR here.txt", "EPSV", epsv + "150 Here (9 bytes)\r\n[only here]" + done},
        {"RETR everywhere.txt", "EPSV", epsv + opening + "[in every directory]" + done},
        {"LIST", "EPSV", epsv + opening + "[below\r\n]" + done},
        {"STOR up.bin", "EPSV", epsv + opening + done, std::string("up\0loaded", 9)},
        {"CWD locked", "", changed},
        {"LIST", "EPSV", epsv + opening + "425 Can't open data connection.\r\n"},
        {"CWD ..", "", changed},
        {"CWD ..", "", changed},
        {"CWD ..", "", "550 Already at the top\r\n"},
        {"MKD new", "", "257 \"/new\" created\r\n"},
        {"CWD new", "", changed},
        {"LIST", "EPSV", epsv + opening + "[]" + done},
        {"RETR missing", "", "550 No such file\r\n"},
        {"PORT 127,0,0,1,1,1", "", "200 PORT command successful\r\n"},
        {"NOOP", "", "200 only\r\n"},
    };
    for (const auto& step : steps)
        EXPECT_EQ(Exchange(client, step.command, step.passive, step.upload), step.seen) << step.command;
    EXPECT_EQ(server.Stored(), (std::map<std::string, std::string>{{"/sub/up.bin", std::string("up\0loaded", 9)}}));

    // A reply queued for a verb comes before what the files would answer.
    server.Reply("MKD", "550 Not here\r\n");
    EXPECT_EQ(Exchange(client, "MKD other", "", ""), "550 Not here\r\n");
}

TEST(ScriptedFtpServerTest, FaultsShapeTheRepliesAndHoldOrCutTheData)
{
    ScriptedFtpServer server;
    server.ServeFiles();
    server.ServeFile("f", "0123456789");
    const std::string twoLines = "200-Two\r\n200 lines\r\n";
    server.Reply("NOOP", twoLines);
    server.SetFaults({.lfOnly = true});
    Client client(server.Port());
    EXPECT_EQ(client.ReadLine(), "220 Scripted server ready\n");
    ASSERT_TRUE(client.Send("NOOP\r\n"));
    EXPECT_EQ(client.Read(18), "200-Two\n200 lines\n");

    // For the one command named: a segment for each byte of its reply, the next reply in one.
    server.SetFaults({.command = "NOOP", .bytePerSegment = true});
    const unsigned segmentsBefore = client.DataSegmentsIn();
    ASSERT_TRUE(client.Send("NOOP\r\nSYST\r\n"));
    EXPECT_EQ(client.Read(twoLines.size() + kNotImplemented.size()), twoLines + kNotImplemented);
    EXPECT_EQ(client.DataSegmentsIn() - segmentsBefore, twoLines.size() + 1);

    // The data connection closed after 4 bytes, downloading and uploading.
    server.SetFaults({.failDataAfter = 4});
    const std::string failed = "426 Connection closed; transfer aborted.\r\n";
    ASSERT_TRUE(client.Send("EPSV\r\n"));
    auto data = PassiveData(client.ReadLine());
    ASSERT_TRUE(client.Send("RETR f\r\n"));
    EXPECT_EQ(client.Read(std::strlen(ScriptedFtpServer::kOpeningData) + failed.size()),
              ScriptedFtpServer::kOpeningData + failed);
    EXPECT_EQ(data->Read(100), "0123");
    ASSERT_TRUE(client.Send("EPSV\r\n"));
    data = PassiveData(client.ReadLine());
    ASSERT_TRUE(client.Send("STOR up\r\n"));
    EXPECT_EQ(client.ReadLine(), ScriptedFtpServer::kOpeningData);
    data->Send("abcdefgh");
    EXPECT_EQ(client.ReadLine(), failed);
    EXPECT_EQ(server.Stored(), (std::map<std::string, std::string>{{"/up", "abcd"}}));

    // A download held after 4 bytes until the pause ends, here when the client sends no more.
    server.SetFaults({.dataPauseAfter = 4, .dataPause = 30s});
    ASSERT_TRUE(client.Send("EPSV\r\n"));
    data = PassiveData(client.ReadLine());
    ASSERT_TRUE(client.Send("RETR f\r\n"));
    EXPECT_EQ(client.ReadLine(), ScriptedFtpServer::kOpeningData);
    EXPECT_EQ(data->Read(4), "0123");
    EXPECT_TRUE(data->QuietFor(100ms));
    client.EndSending();
    EXPECT_EQ(data->Read(100), "456789");
    EXPECT_EQ(client.ReadLine(), "226 Transfer complete\r\n");

    // A reply held the same way, on the next connection.
    server.SetFaults({.command = "NOOP", .pauseBeforeReply = 30s});
    Client next(server.Port());
    ASSERT_EQ(next.Read(kGreeting.size()), kGreeting);
    ASSERT_TRUE(next.Send("NOOP\r\n"));
    EXPECT_TRUE(next.QuietFor(100ms));
    next.EndSending();
    EXPECT_EQ(next.Read(twoLines.size()), twoLines);
}

TEST(ScriptedFtpServerTest, TranscriptsHideThePortNumbersOfPortAndEprtAlone)
{
    ScriptedFtpServer server;
    Client client(server.Port());
    ASSERT_EQ(client.Read(kGreeting.size()), kGreeting);
    const std::vector<std::string> sent = {"USER anna",          "PORT 127,0,0,1,200,7", "EPRT |1|127.0.0.1|51234|",
                                           "EPRT !2!::1!40000!", "PORT 127,0,0,1,x,7",   "PORT 1,2,3",
                                           "EPRT |2|::1||",      "RETR PORT 1,2,3,4,5,6"};
    for (const std::string& line : sent)
        ASSERT_TRUE(client.Send(line + "\r\n"));
    ASSERT_TRUE(server.WaitForCommands(sent.size(), 5s));
    EXPECT_EQ(Transcript(server),
              (std::vector<std::string>{"USER anna", "PORT 127,0,0,1,*", "EPRT |1|127.0.0.1|*|", "EPRT !2!::1!*!",
                                        "PORT 127,0,0,1,x,7", "PORT 1,2,3", "EPRT |2|::1||", "RETR PORT 1,2,3,4,5,6"}));
    EXPECT_EQ(Transcript(server, 6), (std::vector<std::string>{"EPRT |2|::1||", "RETR PORT 1,2,3,4,5,6"}));
}

TEST(ScriptedFtpServerTest, DestructorReturnsPromptlyWhateverTheConnectionIsDoing)
{
    auto timeToDestroy = [](std::unique_ptr<ScriptedFtpServer>& server) {
        const auto start = Clock::now();
        server.reset();
        return Clock::now() - start;
    };
    {
        // Idle client.
        auto server = std::make_unique<ScriptedFtpServer>();
        Client client(server->Port());
        ASSERT_EQ(client.Read(kGreeting.size()), kGreeting);
        EXPECT_LT(timeToDestroy(server), 1s);
        EXPECT_TRUE(client.ClosedByServer());
    }
    {
        // Client that never reads a large reply.
        auto server = std::make_unique<ScriptedFtpServer>();
        server->Reply("LIST", std::string(32 << 20, 'x'));
        Client client(server->Port(), 65536);
        ASSERT_TRUE(client.Send("LIST\r\n"));
        ASSERT_TRUE(server->WaitForCommands(1, 2s));
        EXPECT_LT(timeToDestroy(server), 1s);
    }
    {
        // Accept handler pausing for a long time.
        auto server = std::make_unique<ScriptedFtpServer>();
        server->OnAccept([](ScriptedFtpServer::Control& control) { control.Pause(60s); });
        Client client(server->Port());
        const auto giveUp = Clock::now() + 2s;
        while (server->Connections() == 0 && Clock::now() < giveUp)
            std::this_thread::sleep_for(5ms);
        ASSERT_EQ(server->Connections(), 1);
        EXPECT_LT(timeToDestroy(server), 1s);
    }
}

}  // namespace
