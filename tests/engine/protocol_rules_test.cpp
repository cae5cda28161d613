// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/host_port.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/socket_errors.h"
#include "ftp/system_types.h"
#include "remote/format_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>

namespace {

TEST(ProtocolRulesTest, ReplyLinesEndAReplyOnlyWithAValidCodeAndNoHyphen)
{
    struct Row {
        const char* line;
        int code;
        bool goesOn;
    };
    const Row rows[] = {
        {"230 Logged in", 230, false},
        {"230-Welcome", 230, true},
        {"   indented text of a multi-line reply", 0, true},
        {"Welcome to the server", 0, true},
        {"150 text line that looks like a final line", 150, false},
        {"600 out of range", 600, true},
        {"099 too small", 99, true},
        {"22", 22, true},
        {"550", 550, false},
        {"2x0 bad", 2, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(ReplyCodeOf(row.line), row.code);
        EXPECT_EQ(ReplyGoesOn(ReplyCodeOf(row.line), row.line), row.goesOn);
    }
}

TEST(ProtocolRulesTest, QuitAndLineBreaks)
{
    EXPECT_TRUE(IsQuitCommand("quit"));
    EXPECT_TRUE(IsQuitCommand("QUIT"));
    EXPECT_FALSE(IsQuitCommand("quit now"));
    EXPECT_FALSE(IsQuitCommand("LIST"));

    EXPECT_TRUE(HasLineBreak("DELE a\r\nDELE b"));
    EXPECT_TRUE(HasLineBreak("DELE a\nb"));
    EXPECT_TRUE(HasLineBreak(std::string("DELE a\0b", 8)));
    EXPECT_FALSE(HasLineBreak("DELE name with blanks"));
}

TEST(ProtocolRulesTest, SystemTypesFromSystReplies)
{
    EXPECT_EQ(SystemTypeFromReply("215 UNIX Type: L8"), kSystemUnix);
    EXPECT_EQ(SystemTypeFromReply("215 Windows_NT"), kSystemWindowsNt);
    EXPECT_EQ(SystemTypeFromReply("215 VMS MultiNet V4.3"), kSystemVmsMultiNet);
    EXPECT_EQ(SystemTypeFromReply("215 VMS OpenVMS V7"), kSystemVms);
    EXPECT_EQ(SystemTypeFromReply("215 vms lower case"), std::nullopt);
    EXPECT_EQ(SystemTypeFromReply("215 MACOS Peter's Server"), kSystemMacOs);
    EXPECT_EQ(SystemTypeFromReply("215 ULTRIX"), kSystemUnix);
    EXPECT_EQ(SystemTypeFromReply("215 MVS is the operating system of this server"), kSystemMvs);
    EXPECT_EQ(SystemTypeFromReply("215 UNIX emulated by VMS"), kSystemUnix);
    EXPECT_EQ(SystemTypeFromReply("215 Something else"), std::nullopt);
}

TEST(ProtocolRulesTest, PathnamesFromPwdReplies)
{
    EXPECT_EQ(QuotedPathname("257 \"/home/anna\" is the current directory"), "/home/anna");
    EXPECT_EQ(QuotedPathname("257 \"/a \"\"b\"\" c\" is current"), "/a \"b\" c");
    EXPECT_EQ(QuotedPathname("257 \"DISK$USER:[ANNA]\""), "DISK$USER:[ANNA]");
    EXPECT_EQ(QuotedPathname("257 /home/anna"), std::nullopt);
    EXPECT_EQ(QuotedPathname("257 \"/home/anna"), std::nullopt);
    EXPECT_EQ(QuotedPathname("257 \"\" is empty"), std::nullopt);
}

TEST(ProtocolRulesTest, SizesFromSizeReplies)
{
    EXPECT_EQ(SizeFromSizeReply("213 1234"), 1234);
    EXPECT_EQ(SizeFromSizeReply("213 123456789012345678  "), 123456789012345678);
    for (const char* none : {"213 ", "213 -5", "213 12 bytes", "213 0x10", "550 1234", "213 1234567890123456789"})
        EXPECT_EQ(SizeFromSizeReply(none), std::nullopt) << none;
}

TEST(ProtocolRulesTest, HostMayNameAPort)
{
    EXPECT_EQ(SplitHostPort("ftp.example.org").host, "ftp.example.org");
    EXPECT_EQ(SplitHostPort("ftp.example.org").port, 0);
    EXPECT_EQ(SplitHostPort("127.0.0.1:2121").host, "127.0.0.1");
    EXPECT_EQ(SplitHostPort("127.0.0.1:2121").port, 2121);
    EXPECT_EQ(SplitHostPort("host:0").port, 0);
    EXPECT_EQ(SplitHostPort("host:65536").port, 0);
    EXPECT_EQ(SplitHostPort("host:21x").host, "host:21x");
    // IPv6: a port only after brackets.
    EXPECT_EQ(SplitHostPort("::1").host, "::1");
    EXPECT_EQ(SplitHostPort("::1").port, 0);
    EXPECT_EQ(SplitHostPort("[::1]").host, "::1");
    EXPECT_EQ(SplitHostPort("[::1]").port, 0);
    EXPECT_EQ(SplitHostPort("[2001:db8::1]:2121").host, "2001:db8::1");
    EXPECT_EQ(SplitHostPort("[2001:db8::1]:2121").port, 2121);
    EXPECT_EQ(SplitHostPort("[::1]:99999").host, "[::1]:99999");
    EXPECT_EQ(SplitHostPort("[::1]2121").host, "[::1]2121");
    EXPECT_EQ(SplitHostPort("[::1").host, "[::1");
}

TEST(FormatTextTest, ArgumentsAreInsertedWholeAndNeverReadAsFormats)
{
    EXPECT_EQ(FormatText("CWD %s", {"%s%n%d"}), "CWD %s%n%d");
    EXPECT_EQ(FormatText("USER %s@%s", {"anna", "ftp.example.org"}), "USER anna@ftp.example.org");
    EXPECT_EQ(FormatText("TYPE %c", {'A'}), "TYPE A");
    EXPECT_EQ(FormatText("[%u] Socket closed.", {7}), "[7] Socket closed.");
    EXPECT_EQ(FormatText("%sed %ld characters", {"Receiv", 10000LL}), "Received 10000 characters");
    EXPECT_EQ(FormatText("100%% of %s", {"x"}), "100% of x");
    EXPECT_EQ(FormatText("DELE %s", {std::string("a\0b", 3)}), std::string("DELE a\0b", 8));
    EXPECT_EQ(FormatText("missing %s here"), "missing  here");
}

TEST(SocketErrorsTest, SystemCodesMapToTheProgramsNumbersAndTexts)
{
    EXPECT_EQ(SocketErrorNumber(ECONNREFUSED), 10061);
    EXPECT_EQ(SocketErrorNumber(ECONNRESET), 10054);
    EXPECT_EQ(SocketErrorNumber(EPIPE), 10058);
    EXPECT_EQ(LookupErrorNumber(EAI_NONAME), 11001);
    EXPECT_EQ(LookupErrorNumber(EAI_AGAIN), 11002);

    EXPECT_EQ(SocketErrorText(10035), "socket marked as non-blocking and SO_LINGER set not 0");
    EXPECT_EQ(SocketErrorText(10061), "The server refused the connection.");
    EXPECT_EQ(SocketErrorText(11004), "Valid name, no data record for type");
    // Not in the table: the system's own text, or the number when the system has none.
    EXPECT_EQ(SocketErrorText(10058), "Broken pipe");
    EXPECT_EQ(SocketErrorText(ENOENT), "No such file or directory");
    EXPECT_EQ(SocketErrorText(12345), "error 12345");

    // Local file errors keep their number and say what it means.
    EXPECT_EQ(ErrorNumberText(ENAMETOOLONG), "36: File name too long");
    EXPECT_EQ(ErrorNumberText(EINVAL), "22: Invalid argument");
    EXPECT_EQ(ErrorNumberText(9999), "9999");

    EXPECT_TRUE(BreaksConnection(10054));
    EXPECT_TRUE(BreaksConnection(10060));
    EXPECT_FALSE(BreaksConnection(10061));
}

}  // namespace
