// SPDX-License-Identifier: GPL-3.0-or-later
// The session's connections on their own, without a session around them: what they read and
// decide lands in the state they were handed, and giving a connection up leaves the marks the
// session's callers go by.

#include "ftp/internal/control_connection.h"
#include "ftp/internal/data_connection.h"
#include "ftp/internal/session_context.h"
#include "remote/exchange_result.h"
#include "support/scripted_ftp_server.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A control connection over its own context and reply state, as a session hands them.
struct Connections {
    Connections() { settings.retryMilliseconds = static_cast<int>(ScriptedFtpServer::kShortTimeOut.count()); }

    bool Open(const ScriptedFtpServer& server)
    {
        control.socket = control.ConnectTcp("127.0.0.1:" + std::to_string(server.Port()), "ftp", "tcp");
        connected = control.socket != -1 ? 1 : 0;
        return connected && control.ReadReply() == kCompletion;
    }

    EngineSettings settings;
    std::atomic<int> interrupted{0};
    std::atomic<int> connected{0};
    std::atomic<int> commandDepth{0};
    std::atomic<int> encrypted{0};
    std::string replyBuffer;
    int replyCode = 0;
    SessionContext context{settings, interrupted, connected, commandDepth};
    ControlConnection control{context, replyBuffer, replyCode, encrypted};
    DataConnection data{context, control};
};

TEST(ControlConnectionTest, RepliesLandInTheStateItWasHandedAndABreakEndsTheConnection)
{
    struct Case {
        const char* name;
        std::string reply;  // the server's answer to NOOP; empty: it hangs up instead
        int result;         // of Command
        int replyCode;
        std::string replyBuffer;
        bool lost;  // the connection is given up: closed, interrupted, not connected
    };
    const Case cases[] = {
        {"one line", "200 Fine\r\n", kCompletion, 200, "200 Fine", false},
        {"several lines", "211-Status\r\n more\r\n211 End\r\n", kCompletion, 211, "211 End", false},
        {"a refusal", "500 Unknown\r\n", kPermanentNegative, 500, "500 Unknown", false},
        {"the server closes", "421 Bye\r\n", kTransientNegative, kServiceClosing, "421 Bye", false},
        {"a hang-up", "", kInterrupted, kServiceClosing, "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        if (c.reply.empty())
            server.OnCommand([](const std::string&, ScriptedFtpServer::Control& control) { control.Close(); });
        else
            server.Reply("NOOP", c.reply);
        Connections connections;
        ASSERT_TRUE(connections.Open(server));
        EXPECT_EQ(connections.control.Command("NOOP"), c.result);
        EXPECT_EQ(connections.replyCode, c.replyCode);
        EXPECT_EQ(connections.replyBuffer, c.replyBuffer);
        EXPECT_EQ(connections.commandDepth, 0);
        EXPECT_EQ(connections.control.Lost(), c.lost || c.replyCode == kServiceClosing);
        EXPECT_EQ(connections.control.socket == -1, c.lost);
        EXPECT_EQ(connections.interrupted != 0, c.lost);
        EXPECT_EQ(connections.connected != 0, !c.lost);
        EXPECT_EQ(connections.control.lostReason.empty(), !c.lost);
        TakeLog();
    }
}

TEST(ControlConnectionTest, AfterACancelABreakKeepsTheConnectionForTheGoodbye)
{
    ScriptedFtpServer server;
    Connections connections;
    ASSERT_TRUE(connections.Open(server));
    connections.context.cancelRequested = true;
    connections.control.Break("cancelled");
    EXPECT_TRUE(connections.interrupted);
    EXPECT_NE(connections.control.socket, -1);
    EXPECT_TRUE(connections.control.lostReason.empty());
    TakeLog();
}

TEST(DataConnectionTest, EachModeOpensItsOwnEndAndCloseLeavesNone)
{
    struct Case {
        const char* name;
        int mode;
        std::string command;  // the first command the mode sends
        bool listening;       // a listener waits for the server; otherwise the connection is made
    };
    const Case cases[] = {
        {"active", kActiveMode, "PORT", true},
        {"passive", kPassiveMode, "EPSV", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedFtpServer server;
        server.ServeFiles();
        Connections connections;
        connections.settings.passiveMode = c.mode;
        ASSERT_TRUE(connections.Open(server));
        ASSERT_TRUE(connections.data.Open());
        EXPECT_EQ(server.Commands().back().substr(0, 4), c.command);
        EXPECT_EQ(connections.data.listenSocket != -1, c.listening);
        EXPECT_EQ(connections.data.socket != -1, !c.listening);
        connections.data.Close();
        EXPECT_EQ(connections.data.listenSocket, -1);
        EXPECT_EQ(connections.data.socket, -1);
        EXPECT_NE(connections.control.socket, -1);  // the control connection goes on
        TakeLog();
    }
}

}  // namespace
