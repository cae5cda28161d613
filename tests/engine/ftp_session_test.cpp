// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/ftp_session.h"
#include "ftp/internal/control_connection.h"
#include "ftp/internal/file_transfer.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/socket_address.h"
#include "ftp/internal/socket_wait.h"
#include "ftp/system_types.h"
#include "remote/exchange_result.h"
#include "remote/operation_runner.h"
#include "remote/session_log.h"
#include "support/scripted_ftp_server.h"
#include "support/stalled_listener.h"
#include "support/test_files.h"
#include "support/transcript.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& wanted)
{
    return std::find(lines.begin(), lines.end(), wanted) != lines.end();
}

class FtpSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.retry = 10;
        // These servers speak plain FTP; the TLS tests try AUTH TLS against them.
        session.encryption = kPlainOnly;
        TakeLog();
    }

    // Points the session at `server` with user "anna" and password "secret".
    void Aim(const ScriptedFtpServer& server)
    {
        session.hostName = "127.0.0.1:" + std::to_string(server.Port());
        session.userName = "anna";
        session.password = "secret";
    }

    // Logs in on `server`, which answers USER with 331, PASS with 230 and SYST as given.
    void LogIn(ScriptedFtpServer& server, const std::string& syst = "215 UNIX Type: L8\r\n")
    {
        server.Reply("USER", "331 Password required\r\n");
        server.Reply("PASS", "230 Logged in\r\n");
        server.Reply("SYST", syst);
        Aim(server);
        ASSERT_NE(session.Connect(), kConnectFailed);
        ASSERT_TRUE(session.connected);
        TakeLog();
    }

    // The commands the server got after USER, PASS, SYST and FEAT.
    static std::vector<std::string> AfterLogin(const ScriptedFtpServer& server) { return Transcript(server, 4); }

    EngineSettings settings;
    CFtpSession session{settings};
};

// --- Login ---------------------------------------------------------------------------------

TEST_F(FtpSessionTest, DirectLoginShowsEveryStepAndMasksThePassword)
{
    ScriptedFtpServer server;
    server.Reply("USER", "331 Password required\r\n");
    server.Reply("PASS", "230 Logged in\r\n");
    server.Reply("SYST", "215 UNIX Type: L8\r\n");
    Aim(server);
    ASSERT_NE(session.Connect(), kConnectFailed);

    EXPECT_EQ(server.Commands(), (std::vector<std::string>{"USER anna", "PASS secret", "SYST", "FEAT"}));
    EXPECT_TRUE(session.connected);
    EXPECT_EQ(session.systemType, kSystemUnix);
    EXPECT_EQ(session.commandDepth, 0);
    const auto log = TakeLog();
    EXPECT_EQ(log.front(), "Connected to 127.0.0.1 port " + std::to_string(server.Port()));
    EXPECT_TRUE(Contains(log, "220 Scripted server ready"));
    EXPECT_TRUE(Contains(log, "Tessaline: USER anna"));
    EXPECT_TRUE(Contains(log, "Tessaline: PASS xxxxxx"));
    EXPECT_EQ(std::count(log.begin(), log.end(), "215 UNIX Type: L8"), 1) << "each reply is logged once";
    EXPECT_FALSE(std::any_of(log.begin(), log.end(),
                             [](const std::string& l) { return l.find("secret") != std::string::npos; }));
    EXPECT_EQ(session.connectFailure, ConnectFailure::None);
    // The control connection keeps routers between aware of it through a long silent transfer.
    int keepAlive = 0;
    socklen_t size = sizeof keepAlive;
    ASSERT_EQ(::getsockopt(session.control->socket, SOL_SOCKET, SO_KEEPALIVE, &keepAlive, &size), 0);
    EXPECT_EQ(keepAlive, 1);
}

TEST_F(FtpSessionTest, GreetingsThatAreLongOrPreliminaryAreWaitedOut)
{
    std::string greeting;
    for (int i = 0; i < 119; ++i)
        greeting += "220-line " + std::to_string(i) + "\r\n";
    greeting += "120 Service ready in 1 minute\r\n220 Ready now\r\n";
    ScriptedFtpServer server(greeting);
    LogIn(server);
    EXPECT_EQ(session.control->crEndsLine, 0);
}

TEST_F(FtpSessionTest, RefusedGreetingsAndLoginsLeaveNoConnection)
{
    {
        ScriptedFtpServer server("421 Too many users\r\n");
        Aim(server);
        EXPECT_EQ(session.Connect(), kConnectFailed);
        EXPECT_TRUE(Contains(TakeLog(), "Unknown open msg \"421 Too many users\" 421"));
        EXPECT_EQ(session.control->socket, -1);
        EXPECT_FALSE(session.connected);
        EXPECT_EQ(session.connectFailure, ConnectFailure::Other);
    }
    {
        // An SSH server's banner ends the connect at once, not at the time-out.
        ScriptedFtpServer server("SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n");
        Aim(server);
        EXPECT_EQ(session.Connect(), kConnectFailed);
        EXPECT_TRUE(Contains(TakeLog(), "The server speaks SSH, not FTP: choose SFTP as the protocol."));
        EXPECT_EQ(session.control->socket, -1);
    }
    {
        ScriptedFtpServer server;
        server.Reply("USER", "331 Password required\r\n");
        server.Reply("PASS", "332 Need account for login\r\n");
        Aim(server);
        EXPECT_EQ(session.Connect(), kConnectFailed);
        EXPECT_TRUE(Contains(TakeLog(), "Logon to remote host failed: " + session.hostName));
        EXPECT_EQ(session.control->socket, -1);
        EXPECT_EQ(server.Commands(), (std::vector<std::string>{"USER anna", "PASS secret"}));
        EXPECT_EQ(session.connectFailure, ConnectFailure::LoginRefused);
    }
}

TEST_F(FtpSessionTest, UserAnsweredWith230NeedsNoPassword)
{
    ScriptedFtpServer server;
    server.Reply("USER", "230 Welcome, no password needed\r\n");
    server.Reply("SYST", "215 Windows_NT\r\n");
    Aim(server);
    ASSERT_NE(session.Connect(), kConnectFailed);
    EXPECT_EQ(server.Commands(), (std::vector<std::string>{"USER anna", "SYST", "FEAT"}));
    EXPECT_EQ(session.systemType, kSystemWindowsNt);
}

TEST_F(FtpSessionTest, ASecondConnectIsRefusedWithoutTouchingTheConnection)
{
    ScriptedFtpServer server;
    LogIn(server);
    const int socket = session.control->socket;
    EXPECT_EQ(session.Connect(), kConnectFailed);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"Trying to connect when already connected."}));
    EXPECT_EQ(session.control->socket, socket);
    EXPECT_EQ(server.Connections(), 1);
}

TEST_F(FtpSessionTest, ClosedPortIsReportedWithTheRefusedText)
{
    session.hostName = "127.0.0.1:1";
    EXPECT_EQ(session.Connect(), kConnectFailed);
    const auto log = TakeLog();
    EXPECT_TRUE(Contains(log, "Can't connect to 127.0.0.1:1 ftp service."));
    EXPECT_TRUE(Contains(log, "The server refused the connection."));
    EXPECT_TRUE(Contains(log, "Connection to 127.0.0.1:1 failed"));
    EXPECT_FALSE(session.interrupted);
    // The front end names the failure in the system's words.
    EXPECT_EQ(session.connectFailure, ConnectFailure::NotReached);
    EXPECT_EQ(session.connectError, "Connection refused");
    EXPECT_FALSE(session.TimedOut());
}

// A host with an IPv6 address where nothing answers and an IPv4 one where the server is.
int TwoAddressLookup(const std::string&, std::vector<sockaddr_storage>* addresses)
{
    addresses->push_back(*NumericAddress("::1", 0));
    addresses->push_back(*NumericAddress("127.0.0.1", 0));
    return 0;
}

TEST_F(FtpSessionTest, EveryAddressOfAHostIsTriedInTurn)
{
    ScriptedFtpServer server;
    SetHostLookup(TwoAddressLookup);
    server.Reply("USER", "230 Logged in\r\n");
    session.hostName = "two.example:" + std::to_string(server.Port());
    session.userName = "anna";
    EXPECT_NE(session.Connect(), kConnectFailed);
    SetHostLookup(nullptr);
    const auto log = TakeLog();
    const std::string port = std::to_string(server.Port());
    EXPECT_TRUE(Contains(log, "Can't connect to ::1 port " + port + "."));
    EXPECT_TRUE(Contains(log, "Connected to 127.0.0.1 port " + port));
    EXPECT_FALSE(session.interrupted);
}

struct FirewallCase {
    const char* name;
    int style;
    std::vector<std::pair<std::string, std::string>> replies;
    std::vector<std::string> commands;
    bool logsIn;
    const char* message;  // a log line that must appear, or nullptr
};

class FirewallTest : public FtpSessionTest, public ::testing::WithParamInterface<FirewallCase> {};

TEST_P(FirewallTest, CommandSequence)
{
    const FirewallCase& c = GetParam();
    ScriptedFtpServer proxy;
    for (const auto& [verb, reply] : c.replies)
        proxy.Reply(verb, reply);
    proxy.Reply("SYST", "215 UNIX Type: L8\r\n");
    // The remote host is never looked up: only the proxy is connected to.
    session.hostName = "ftp.remote.example";
    session.userName = "anna";
    session.password = "secret";
    session.SetFirewall(1, c.style, proxy.Port(), "127.0.0.1", "fwuser", "fwpass");
    // TLS is asked of the host the control connection reaches: the proxy, which refuses it here.
    session.encryption = kTlsIfAvailable;

    EXPECT_EQ(session.Connect() != kConnectFailed, c.logsIn);
    std::vector<std::string> commands = proxy.Commands();
    if (c.logsIn)
        commands.resize(commands.size() - 2);  // SYST, FEAT
    std::vector<std::string> expected = {"AUTH TLS"};
    expected.insert(expected.end(), c.commands.begin(), c.commands.end());
    EXPECT_EQ(commands, expected);
    const auto log = TakeLog();
    if (c.message) {
        EXPECT_TRUE(Contains(log, c.message)) << testing::PrintToString(log);
    }
    EXPECT_EQ(session.connected != 0, c.logsIn);
}

const std::string k331 = "331 Password required\r\n";
const std::string k230 = "230 Logged in\r\n";

INSTANTIATE_TEST_SUITE_P(
    Styles, FirewallTest,
    ::testing::Values(FirewallCase{"Style0",
                                   kFirewallProxySite,
                                   {{"USER", k331}, {"PASS", k230}, {"site", k331}, {"PASS", k230}},
                                   {"USER fwuser", "PASS fwpass", "site ftp.remote.example", "PASS secret"},
                                   true,
                                   nullptr},
                      FirewallCase{"Style1",
                                   kFirewallUserAtHost,
                                   {{"USER", k331}, {"PASS", k230}},
                                   {"USER anna@ftp.remote.example", "PASS secret"},
                                   true,
                                   nullptr},
                      FirewallCase{"Style2",
                                   kFirewallSiteCommand,
                                   {{"USER", k331}, {"PASS", k230}, {"site", "200 Connected\r\n"}, {"SITE", k331}},
                                   {"USER fwuser", "PASS fwpass", "site ftp.remote.example", "SITE ftp.remote.example",
                                    "PASS secret"},
                                   true,
                                   nullptr},
                      FirewallCase{"Style3",
                                   kFirewallProxyUserAtHost,
                                   {{"USER", k331}, {"PASS", k230}, {"site", "200 Connected\r\n"}},
                                   {"USER fwuser", "PASS fwpass", "site ftp.remote.example",
                                    "USER anna@ftp.remote.example", "PASS secret"},
                                   true,
                                   nullptr},
                      FirewallCase{"Style4",
                                   kFirewallOpenHost,
                                   {{"OPEN", k331}, {"PASS", k230}},
                                   {"OPEN ftp.remote.example", "PASS secret"},
                                   true,
                                   nullptr},
                      FirewallCase{"ProxyRefusesItsUser",
                                   kFirewallProxyUserAtHost,
                                   {{"USER", "530 Not allowed\r\n"}},
                                   {"USER fwuser"},
                                   false,
                                   "Failed to login to Firewall Host 127.0.0.1"},
                      FirewallCase{"ProxyRefusesTheSite",
                                   kFirewallSiteCommand,
                                   {{"USER", k331}, {"PASS", k230}, {"site", "550 No such host\r\n"}},
                                   {"USER fwuser", "PASS fwpass", "site ftp.remote.example"},
                                   false,
                                   "Could not connect to ftp.remote.example through FireWall"}),
    [](const testing::TestParamInfo<FirewallCase>& info) { return std::string(info.param.name); });

TEST_F(FtpSessionTest, FirewallWithoutHostIsRefusedBeforeConnecting)
{
    session.hostName = "ftp.remote.example";
    session.SetFirewall(1, kFirewallOpenHost, 2121, "", "", "");
    EXPECT_EQ(session.Connect(), kConnectFailed);
    EXPECT_EQ(TakeLog(),
              (std::vector<std::string>{
                  "FireWall Host must be entered in the FireWall dialog before connection can be established."}));
}

// --- Exchange ------------------------------------------------------------------------------

TEST_F(FtpSessionTest, MultiLineRepliesEndAtTheFirstLineWithAValidCodeAndNoHyphen)
{
    ScriptedFtpServer server;
    LogIn(server);
    server.Reply("NOOP", "230-Welcome\r\n   indented text\r\n230 Done\r\n");
    server.Reply("NOOP", "220-first\r\nSome letters first\r\n220 last\r\n");
    server.Reply("NOOP", "550 Refused\r\n");
    server.Reply("NOOP", "226-Listing\r\n150 looks final\r\n226 Real end\r\n");

    EXPECT_EQ(session.control->Command("NOOP"), kCompletion);
    EXPECT_EQ(session.replyCode, 230);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"Tessaline: NOOP", "230-Welcome", "   indented text", "230 Done"}));
    EXPECT_EQ(session.control->Command("NOOP"), kCompletion);
    EXPECT_EQ(session.control->Command("NOOP"), kPermanentNegative);
    EXPECT_EQ(session.replyCode, 550);
    // A text line that reads like a final line ends the reply; the rest waits for the next read.
    EXPECT_EQ(session.control->Command("NOOP"), kPreliminary);
    EXPECT_EQ(session.replyCode, 150);
    EXPECT_EQ(session.control->ReadReply(), kCompletion);
    EXPECT_EQ(session.replyCode, 226);
}

TEST_F(FtpSessionTest, PasswordIsMaskedInTheLogOnlyWhenSentAsUpperCasePass)
{
    ScriptedFtpServer server;
    LogIn(server);
    server.Reply("PASS", "230 ok\r\n");
    session.control->Command("PASS %s", {"hunter2"});
    session.control->Command("pass %s", {"hunter2"});
    EXPECT_EQ(AfterLogin(server), (std::vector<std::string>{"PASS hunter2", "pass hunter2"}));
    const auto log = TakeLog();
    EXPECT_TRUE(Contains(log, "Tessaline: PASS xxxxxx"));
    EXPECT_TRUE(Contains(log, "Tessaline: pass hunter2"));
}

TEST_F(FtpSessionTest, OnlyQuitGoesThroughWhileACommandIsInProgress)
{
    ScriptedFtpServer server;
    LogIn(server);
    session.commandDepth = 1;
    EXPECT_EQ(session.control->Command("LIST"), kNotSent);
    EXPECT_FALSE(session.connected);
    EXPECT_TRUE(Contains(TakeLog(), "Command already in progress, ignored New Cmd"));
    EXPECT_EQ(session.control->Command("quit"), kCompletion);
    EXPECT_EQ(AfterLogin(server), (std::vector<std::string>{"quit"}));
}

TEST_F(FtpSessionTest, CommandsWithoutAConnectionAreNotSent)
{
    session.connected = 1;
    EXPECT_EQ(session.control->Command("NOOP"), kNotSent);
    EXPECT_FALSE(session.connected);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"Tessaline: NOOP", "Connection not established."}));
    EXPECT_EQ(session.Quit(), kNotSent);
}

TEST_F(FtpSessionTest, LinesWithLineBreaksAreRefusedAndLongLinesGoOutWhole)
{
    ScriptedFtpServer server;
    LogIn(server);
    server.Reply("DELE", "250 Deleted\r\n");
    EXPECT_EQ(session.DeleteFile("a\r\nDELE b"), kNoValidCode);
    EXPECT_EQ(session.DeleteFile(std::string("a\0b", 3)), kNoValidCode);
    EXPECT_EQ(TakeLog(),
              (std::vector<std::string>{"Refused command containing a line break",
                                        "Refused command containing a line break"}));
    EXPECT_TRUE(session.connected);  // nothing went out, so the session is as it was

    const std::string longName(3000, 'n');
    EXPECT_EQ(session.DeleteFile(longName), kCompletion);
    EXPECT_EQ(AfterLogin(server), (std::vector<std::string>{"DELE " + longName}));
}

TEST_F(FtpSessionTest, RateMessageComesFromMilliseconds)
{
    LogRate("Receiv", 6, 3);
    LogRate("Transmitt", 3000, 2500);
    LogRate("Receiv", 10000, 0);
    EXPECT_EQ(TakeLog(),
              (std::vector<std::string>{"Received 6 characters in 0 seconds (2000 bytes/sec)",
                                        "Transmitted 3000 characters in 2 seconds (1200 bytes/sec)",
                                        "Received 10000 characters in 0 seconds (10000000 bytes/sec)"}));
}

// --- Reading reply lines -----------------------------------------------------------------

TEST_F(FtpSessionTest, LinesAreReadWholeAcrossSegmentsAndNoFurtherByteIsTaken)
{
    ScriptedFtpServer server("");
    server.OnAccept([](ScriptedFtpServer::Control& control) {
        control.SendInPieces("220 Split over several segments\r\n", 5, 20ms);
        control.Send("230-next line\r\n230 last\r\n");
    });
    server.Reply("USER", "230 ok\r\n");
    Aim(server);
    session.control->socket = session.control->ConnectTcp(session.hostName, "ftp", "tcp");
    ASSERT_NE(session.control->socket, -1);
    EXPECT_EQ(session.control->ReadLine(), 220);
    EXPECT_EQ(session.replyBuffer, "220 Split over several segments");
    // The lines that came in the same segment are still on the socket.
    EXPECT_EQ(session.control->ReadLine(), 230);
    EXPECT_EQ(session.replyBuffer, "230-next line");
    EXPECT_EQ(session.control->ReadReply(), kCompletion);
    EXPECT_EQ(session.replyBuffer, "230 last");
}

TEST_F(FtpSessionTest, AnEndlessLineIsCutAfter4000BytesAndTheRestStays)
{
    ScriptedFtpServer server("");
    server.OnAccept(
        [](ScriptedFtpServer::Control& control) { control.Send("220 " + std::string(4996, 'x') + "\r\n"); });
    Aim(server);
    session.control->socket = session.control->ConnectTcp(session.hostName, "ftp", "tcp");
    ASSERT_NE(session.control->socket, -1);
    EXPECT_EQ(session.control->ReadLine(), 220);
    EXPECT_GE(session.replyBuffer.size(), 4000u);
    EXPECT_LE(session.replyBuffer.size(), 4081u);
    const std::size_t first = session.replyBuffer.size();
    session.control->ReadLine();
    EXPECT_EQ(first + session.replyBuffer.size(), 5000u);
}

TEST_F(FtpSessionTest, ExosServersEndLinesWithALoneCarriageReturn)
{
    // The greeting is read before the server is known, so it still ends with CR LF.
    ScriptedFtpServer server("220 (EXOS 8.3) ready\r\n");
    server.Reply("USER", "331 Password\r");
    server.Reply("PASS", "230 In\r");
    server.Reply("SYST", "215 UNIX\r");
    Aim(server);
    ASSERT_NE(session.Connect(), kConnectFailed);
    EXPECT_EQ(session.control->crEndsLine, 1);
    EXPECT_EQ(session.systemType, kSystemUnix);
}

TEST_F(FtpSessionTest, ABrokenConnectionGives421AndInterrupted)
{
    ScriptedFtpServer server;
    LogIn(server);
    server.OnCommand([](const std::string&, ScriptedFtpServer::Control& control) {
        control.Send("250-partial line without end");
        control.Close();
    });
    EXPECT_EQ(session.control->Command("NOOP"), kInterrupted);
    EXPECT_EQ(session.replyCode, kServiceClosing);
    EXPECT_TRUE(session.interrupted);
    EXPECT_TRUE(Contains(TakeLog(), "Connection closed by the server."));
}

// --- Remote commands -----------------------------------------------------------------------

TEST_F(FtpSessionTest, DirectoryCommandsRetryWithTheXFormOrTheVmsName)
{
    ScriptedFtpServer server;
    LogIn(server);
    server.Reply("CWD", "500 Unknown command\r\n");
    server.Reply("XCWD", "250 ok\r\n");
    server.Reply("MKD", "550 Refused\r\n");
    server.Reply("RMD", "500 Unknown command\r\n");
    server.Reply("XRMD", "250 ok\r\n");
    EXPECT_EQ(session.ChangeDirectory("pub"), kCompletion);
    EXPECT_EQ(session.MakeDirectory("new"), kPermanentNegative);
    EXPECT_EQ(session.RemoveDirectory("old"), kCompletion);
    // Not a VMS server: the retry after 550 sends the same name again.
    EXPECT_EQ(AfterLogin(server),
              (std::vector<std::string>{"CWD pub", "XCWD pub", "MKD new", "MKD new", "RMD old", "XRMD old"}));
}

TEST_F(FtpSessionTest, VmsServersGetBracketNamesAfterARefusal)
{
    ScriptedFtpServer server;
    LogIn(server, "215 VMS OpenVMS V7.3\r\n");
    ASSERT_EQ(session.systemType, kSystemVms);
    server.Reply("CWD", "550 Not found\r\n");
    server.Reply("CWD", "250 ok\r\n");
    server.Reply("CWD", "550 Not found\r\n");
    server.Reply("CWD", "250 ok\r\n");
    EXPECT_EQ(session.ChangeDirectory("pub"), kCompletion);
    EXPECT_EQ(session.ChangeDirectory(".."), kCompletion);
    EXPECT_EQ(AfterLogin(server), (std::vector<std::string>{"CWD pub", "CWD [.pub]", "CWD ..", "CWD [-]"}));

    std::string fits(91, 'd');
    VmsDirectoryName(fits, 95, session.systemType);
    EXPECT_EQ(fits, "[." + std::string(91, 'd') + "]");
    std::string tooLong(92, 'd');
    VmsDirectoryName(tooLong, 95, session.systemType);
    EXPECT_EQ(tooLong, std::string(92, 'd'));
}

// Only what a listing marks as a link is entered through its target; any other name, a local
// directory's "a -> .." included, is entered exactly as it is.
TEST_F(FtpSessionTest, LinkEntriesChangeIntoTheirTargetAndOtherNamesAreEnteredAsTheyAre)
{
    ScriptedFtpServer server;
    LogIn(server);
    server.Reply("CWD", "250 ok\r\n");
    EXPECT_EQ(session.EnterLink("pub -> ../../pub"), kCompletion);
    EXPECT_EQ(session.EnterLink("lib -> /usr/lib"), kCompletion);
    EXPECT_EQ(session.ChangeDirectory("a -> .."), kCompletion);
    EXPECT_EQ(AfterLogin(server),
              (std::vector<std::string>{"CWD ..", "CWD ..", "CWD pub", "CWD /", "CWD /usr/lib", "CWD a -> .."}));
}

TEST_F(FtpSessionTest, RenameStopsWhenTheOldNameIsRefused)
{
    ScriptedFtpServer server;
    LogIn(server);
    server.Reply("RNFR", "550 No such file\r\n");
    server.Reply("RNFR", "350 Ready\r\n");
    server.Reply("RNTO", "250 Renamed\r\n");
    server.Reply("SITE", "200 Mode changed\r\n");
    EXPECT_EQ(session.RenameFile("a", "b"), kPermanentNegative);
    EXPECT_EQ(session.RenameFile("a", "b"), kCompletion);
    EXPECT_EQ(session.SetPermissions("644", "my file"), kCompletion);
    EXPECT_EQ(AfterLogin(server), (std::vector<std::string>{"RNFR a", "RNFR a", "RNTO b", "SITE CHMOD 644 my file"}));
}

TEST_F(FtpSessionTest, SystRefusalKeepsTheOldTypeAndQuitIsSentOnce)
{
    ScriptedFtpServer server;
    LogIn(server);
    server.Reply("SYST", "500 Unknown command\r\n");  // queued after the login's reply
    EXPECT_EQ(session.QuerySystemType(), kCompletion);
    EXPECT_EQ(session.QuerySystemType(), kPermanentNegative);
    EXPECT_EQ(session.systemType, kSystemUnix);
    EXPECT_EQ(session.Quit(), kCompletion);
    EXPECT_EQ(session.Quit(), kNotSent);
    EXPECT_EQ(session.control->socket, -1);
    EXPECT_FALSE(session.connected);
    EXPECT_EQ(AfterLogin(server), (std::vector<std::string>{"SYST", "SYST", "quit"}));
}

// --- Time-out and cancel -------------------------------------------------------------------

TEST(WaitLimitTest, MillisecondsWinOverRetryOnlyWhenSet)
{
    struct Case {
        int retry;
        int retryMilliseconds;
        std::chrono::milliseconds limit;
    };
    for (const Case& c : {Case{60, 0, 60s}, Case{0, 0, 0ms}, Case{1, 250, 250ms}, Case{0, 250, 250ms},
                          Case{4294968, 0, 4294968s}, Case{5, -1, 5s}}) {
        EngineSettings settings;
        settings.retry = c.retry;
        settings.retryMilliseconds = c.retryMilliseconds;
        EXPECT_EQ(WaitLimit(settings), c.limit) << c.retry << " s, " << c.retryMilliseconds << " ms";
    }
}

TEST_F(FtpSessionTest, ASilentServerTimesOutLikeABrokenConnection)
{
    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    ScriptedFtpServer server;
    LogIn(server);
    server.Reply("NOOP", "");
    EXPECT_EQ(session.control->Command("NOOP"), kInterrupted);
    EXPECT_EQ(session.replyCode, kServiceClosing);
    EXPECT_TRUE(Contains(TakeLog(), "Connection timed out, try connecting again."));
}

TEST_F(FtpSessionTest, TheTimeOutBoundsAWholeLineNotEachByteOfIt)
{
    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    // A byte every third of the time-out: each read is well inside it, the line far outside it.
    ScriptedFtpServer server("");
    server.OnAccept([](ScriptedFtpServer::Control& control) {
        control.SendInPieces("220 Welcome to a very slow server\r\n", 1, ScriptedFtpServer::kShortTimeOut / 3);
    });
    server.Reply("USER", "230 Welcome\r\n");
    Aim(server);
    EXPECT_EQ(session.Connect(), kConnectFailed);
    EXPECT_TRUE(Contains(TakeLog(), "Connection timed out, try connecting again."));
    EXPECT_TRUE(server.Commands().empty());
}

TEST_F(FtpSessionTest, AReplyThatNeverEndsIsCutOffByItsLengthOrTheTimeOut)
{
    settings.retry = 20;
    ScriptedFtpServer server;
    LogIn(server);
    std::string endless;
    for (int i = 0; i < 10005; ++i)
        endless += "250-line " + std::to_string(i) + "\r\n";
    server.Reply("CWD", endless + "250 Done\r\n");
    EXPECT_EQ(session.ChangeDirectory("pub"), kTransientNegative);
    EXPECT_EQ(session.replyCode, kServiceClosing);
    EXPECT_TRUE(session.interrupted);
    const auto log = TakeLog();
    EXPECT_TRUE(Contains(log, "The reply went on for more than 10000 lines; the connection is given up."));
    EXPECT_TRUE(Contains(log, "250-line 9998"));
    EXPECT_FALSE(Contains(log, "250-line 10000"));

    // Few lines, but never an end: the time-out counts from the start of the reply.
    session.Quit();
    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    ScriptedFtpServer slow;
    LogIn(slow);
    slow.OnCommand([](const std::string&, ScriptedFtpServer::Control& control) {
        for (int i = 0; i < 30 && control.Connected(); ++i) {
            control.SendLine("250-still going " + std::to_string(i));
            control.Pause(ScriptedFtpServer::kShortTimeOut / 3);
        }
        control.SendLine("250 Done at last");
    });
    EXPECT_EQ(session.ChangeDirectory("pub"), kTransientNegative);
    EXPECT_TRUE(session.interrupted);
    const auto slowLog = TakeLog();
    EXPECT_TRUE(Contains(slowLog, "Connection timed out, try connecting again."));
    EXPECT_FALSE(Contains(slowLog, "250 Done at last"));
}

TEST_F(FtpSessionTest, ATimeOutOfManyDaysDoesNotWrapToAShortOne)
{
    // 4294968 s in milliseconds is 704 ms past 2^32.
    settings.retry = 4294968;
    ScriptedFtpServer server;
    LogIn(server);
    server.Reply("NOOP", "200 Worth the wait\r\n");
    server.SetFaults({.pauseBeforeReply = 900ms});
    EXPECT_EQ(session.control->Command("NOOP"), kCompletion);
    EXPECT_FALSE(session.interrupted);
}

TEST_F(FtpSessionTest, QuitAtExitWaitsAtMostItsOwnBoundWhateverTheTimeOut)
{
    EXPECT_EQ(EngineSettings().exitQuitMilliseconds, 3000);
    settings.retry = 0;
    settings.exitQuitMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    ScriptedFtpServer server;
    LogIn(server);
    // The server answers only after 30 s.
    server.SetFaults({.pauseBeforeReply = 30s});
    session.QuitAtExit();
    EXPECT_EQ(session.control->socket, -1);
    EXPECT_FALSE(session.connected);
    const auto log = TakeLog();
    EXPECT_TRUE(Contains(log, "Tessaline: quit"));
    EXPECT_TRUE(Contains(log, "Connection timed out, try connecting again."));
    EXPECT_FALSE(Contains(log, "Connection closed by the server."));

    // The bound is for that quit alone: the next session waits as long as the time-out says.
    ScriptedFtpServer next;
    LogIn(next);
    next.Reply("NOOP", "200 Slow but fine\r\n");
    next.SetFaults({.pauseBeforeReply = ScriptedFtpServer::kShortTimeOut * 2});
    EXPECT_EQ(session.control->Command("NOOP"), kCompletion);
}

// Runs `operation` on another thread, cancels it once the server has seen `commandsBefore`
// commands (and a moment has passed), and checks that it returns although nothing else would
// end it: the time-out is off and the server stays silent.
template <typename Operation>
void ExpectCancelEnds(CFtpSession& session, Operation operation)
{
    auto result = std::async(std::launch::async, operation);
    ASSERT_EQ(result.wait_for(200ms), std::future_status::timeout) << "ended before the cancel";
    const auto cancelled = std::chrono::steady_clock::now();
    session.Cancel();
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready) << "the cancel did not end the wait";
    const auto latency =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - cancelled);
    ::testing::Test::RecordProperty("cancel_latency_us", static_cast<int>(latency.count()));
    EXPECT_EQ(result.get(), kConnectFailed);
    EXPECT_TRUE(session.interrupted);
    session.ClearCancel();
}

TEST_F(FtpSessionTest, CancelEndsTheWaitForTheGreetingAndForAReply)
{
    settings.retry = 0;
    {
        ScriptedFtpServer server("");
        Aim(server);
        ExpectCancelEnds(session, [this] { return session.Connect(); });
        EXPECT_EQ(session.control->socket, -1);
        EXPECT_TRUE(Contains(TakeLog(), "Cancelled."));
    }
    {
        ScriptedFtpServer server;
        server.Reply("USER", "");
        Aim(server);
        ExpectCancelEnds(session, [this] { return session.Connect(); });
        EXPECT_EQ(server.Commands(), (std::vector<std::string>{"USER anna"}));
    }
    // After a cancel the session connects again.
    ScriptedFtpServer server;
    LogIn(server);
    // A cancelled transfer leaves the connection open, not logged in: the next connect closes it
    // first (this server answers one connection at a time).
    session.AbortTransfer();
    settings.retryMilliseconds = static_cast<int>(ScriptedFtpServer::kShortTimeOut.count());
    LogIn(server);
    EXPECT_EQ(server.Connections(), 2);
}

// --- TLS against servers that do not or will not speak it -----------------------------------

// Answers AUTH with `reply` (234 and whatever follows it), then holds the connection, taking the
// client's TLS for nothing.
void AnswerAuthWithoutTls(ScriptedFtpServer& server, const std::string& reply)
{
    server.OnCommand([reply](const std::string& command, ScriptedFtpServer::Control& control) {
        if (!command.starts_with("AUTH")) {
            control.Answer(command);
            return;
        }
        control.Send(reply);
        control.HandOverToTls();
        control.Pause(10s);
    });
}

TEST_F(FtpSessionTest, TlsIfAvailableFallsBackToPlainTextOnlyWhenAuthIsRefused)
{
    ScriptedFtpServer server;
    server.Reply("AUTH", "500 AUTH not understood\r\n");
    server.Reply("USER", "331 Password required\r\n");
    server.Reply("PASS", "230 Logged in\r\n");
    session.encryption = kTlsIfAvailable;
    Aim(server);
    ASSERT_NE(session.Connect(), kConnectFailed);
    EXPECT_EQ(server.Commands(), (std::vector<std::string>{"AUTH TLS", "USER anna", "PASS secret", "SYST", "FEAT"}));
    EXPECT_TRUE(Contains(TakeLog(), "The server does not offer TLS: the password is sent in plain text."));
    session.Quit();
    EXPECT_FALSE(session.encrypted);
    TakeLog();

    // A server that closes the connection refused nothing: there is no login in plain text.
    ScriptedFtpServer closing;
    closing.Reply("AUTH", "421 Going down\r\n");
    Aim(closing);
    EXPECT_EQ(session.Connect(), kConnectFailed);
    EXPECT_EQ(closing.Commands(), std::vector<std::string>{"AUTH TLS"});
}

TEST_F(FtpSessionTest, RequiredTlsSendsNothingAfterARefusedAuthOrAFailedHandshake)
{
    {
        ScriptedFtpServer server;
        session.encryption = kTlsRequired;
        Aim(server);
        EXPECT_EQ(session.Connect(), kConnectFailed);
        EXPECT_EQ(server.Commands(), std::vector<std::string>{"AUTH TLS"});
        EXPECT_TRUE(
            Contains(TakeLog(), "The server does not offer TLS, which this site requires; nothing more is sent."));
        EXPECT_FALSE(session.connected);
    }
    {
        // 234, and then plain text where the server's half of the handshake should be.
        ScriptedFtpServer server;
        AnswerAuthWithoutTls(server, "234 Go ahead\r\n220 not TLS at all\r\n");
        session.encryption = kTlsIfAvailable;
        Aim(server);
        EXPECT_EQ(session.Connect(), kConnectFailed);
        EXPECT_TRUE(server.WaitForCommands(1, 1s));
        EXPECT_EQ(server.Commands(), std::vector<std::string>{"AUTH TLS"});
        const auto log = TakeLog();
        EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
            return line.starts_with("The TLS handshake failed: ");
        })) << testing::PrintToString(log);
    }
    {
        // Implicit TLS to a plain server: its greeting is no handshake. What it received is our
        // half of the handshake, which it took for garbage lines, and no login.
        ScriptedFtpServer server;
        session.encryption = kTlsImplicit;
        Aim(server);
        EXPECT_EQ(session.Connect(), kConnectFailed);
        const std::vector<std::string> commands = server.Commands();
        EXPECT_TRUE(std::none_of(commands.begin(), commands.end(), [](const std::string& line) {
            return line.find("USER") != std::string::npos || line.find("PASS") != std::string::npos;
        }));
        EXPECT_EQ(session.control->socket, -1);
    }
}

TEST_F(FtpSessionTest, AServerThatNeverAnswersTheHandshakeTimesOut)
{
    settings.retryMilliseconds = ScriptedFtpServer::kShortTimeOut.count();
    ScriptedFtpServer server;
    AnswerAuthWithoutTls(server, "234 Go ahead\r\n");
    session.encryption = kTlsRequired;
    Aim(server);
    EXPECT_EQ(session.Connect(), kConnectFailed);
    EXPECT_TRUE(session.interrupted);
    EXPECT_EQ(server.Commands(), std::vector<std::string>{"AUTH TLS"});
    EXPECT_TRUE(Contains(TakeLog(), "TLS handshake: Connection timed out, try connecting again."));
}

TEST_F(FtpSessionTest, CancelEndsTheTlsHandshake)
{
    settings.retry = 0;
    ScriptedFtpServer server;
    AnswerAuthWithoutTls(server, "234 Go ahead\r\n");
    session.encryption = kTlsRequired;
    Aim(server);
    ExpectCancelEnds(session, [this] { return session.Connect(); });
    EXPECT_EQ(server.Commands(), std::vector<std::string>{"AUTH TLS"});
    EXPECT_EQ(session.control->socket, -1);
}

int SlowLookup(const std::string&, std::vector<sockaddr_storage>*)
{
    std::this_thread::sleep_for(3s);
    return 11001;
}

TEST_F(FtpSessionTest, CancelEndsAHostLookupThatHangs)
{
    settings.retry = 0;
    SetHostLookup(SlowLookup);
    session.hostName = "slow.example";
    ExpectCancelEnds(session, [this] { return session.Connect(); });
    SetHostLookup(nullptr);
}

TEST_F(FtpSessionTest, CancelEndsAConnectThatHangs)
{
    settings.retry = 0;
    const StalledListener stalled;
    ASSERT_NE(stalled.Port(), 0);
    session.hostName = "127.0.0.1:" + std::to_string(stalled.Port());
    ExpectCancelEnds(session, [this] { return session.Connect(); });
}

// One operation at a time: a second worker started from inside the first's wait would interleave
// its commands with the first's.
TEST(BackgroundTest, ASecondWorkerIsRefusedWhileOneRuns)
{
    EngineSettings settings;
    CFtpSession session(settings);
    std::promise<void> go;
    std::thread first = session.operations.Start([released = go.get_future().share()] { released.wait(); });
    std::thread second = session.operations.Start([] {});
    EXPECT_FALSE(second.joinable());
    EXPECT_EQ(session.operations.WorkerResult(), kNotSent);
    EXPECT_TRUE(session.operations.Wait(second, WaitKind::RemoteCommand, "refused"));
    go.set_value();
    first.join();
    std::thread third = session.operations.Start([] {});
    EXPECT_TRUE(third.joinable());
    third.join();
}

}  // namespace
