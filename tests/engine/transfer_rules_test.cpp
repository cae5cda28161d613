// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/extension_table.h"
#include "ftp/internal/line_ends.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/socket_address.h"
#include "remote/local_names.h"
#include "remote/session_failure.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cerrno>
#include <sstream>

namespace {

TEST(TransferRulesTest, SizeComesFromTheNumberBeforeBytes)
{
    EXPECT_EQ(SizeFromPreliminaryReply("150 Opening BINARY mode data connection for f (1234 bytes)"), 1234);
    EXPECT_EQ(SizeFromPreliminaryReply("150 Opening data connection for f (1234   BYTES)."), 1234);
    EXPECT_EQ(SizeFromPreliminaryReply("150 File status okay; about to open data connection."), 0);
    EXPECT_EQ(SizeFromPreliminaryReply("150 Here come (bytes) of it"), 0);
    EXPECT_EQ(SizeFromPreliminaryReply("150 for big.iso (5000000000 bytes)"), 5000000000LL);
    // A negative size is no size, not its absolute value.
    EXPECT_EQ(SizeFromPreliminaryReply("150 Opening data connection for f (-1234 bytes)"), 0);
    // Only the first 99 characters count.
    EXPECT_EQ(SizeFromPreliminaryReply("150 " + std::string(100, 'x') + " (77 bytes)"), 0);
}

TEST(TransferRulesTest, PortArgumentIsAddressBytesThenPortBytes)
{
    sockaddr_in address{};
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    EXPECT_EQ(PortArgument(address, 50709), "127,0,0,1,198,21");
    ::inet_pton(AF_INET, "192.168.10.254", &address.sin_addr);
    EXPECT_EQ(PortArgument(address, 21), "192,168,10,254,0,21");
}

TEST(TransferRulesTest, EprtNamesTheFamilyTheAddressAndThePort)
{
    EXPECT_EQ(EprtArgument(*NumericAddress("::1", 40000)), "|2|::1|40000|");
    EXPECT_EQ(EprtArgument(*NumericAddress("2001:db8::7", 21)), "|2|2001:db8::7|21|");
    EXPECT_EQ(EprtArgument(*NumericAddress("10.1.2.3", 1025)), "|1|10.1.2.3|1025|");
    EXPECT_EQ(NumericAddress("ftp.example.org", 21), std::nullopt);
}

TEST(TransferRulesTest, PassiveRepliesNameAPortAndPasvAnAddress)
{
    EXPECT_EQ(PortFromEpsvReply("229 Entering Extended Passive Mode (|||6446|)"), 6446);
    EXPECT_EQ(PortFromEpsvReply("229 Entering extended passive mode (!!!65535!)."), 65535);
    for (const char* broken : {"229 Entering Extended Passive Mode", "229 (|||0|)", "229 (|||65536|)", "229 (||6446|)",
                               "229 (|||6446)", "229 (|||64x6|)", "229 (|1|::1|6446|)", "229 ("}) {
        EXPECT_EQ(PortFromEpsvReply(broken), std::nullopt) << broken;
    }

    const auto pasv = TargetFromPasvReply("227 Entering Passive Mode (192,168,1,2,19,100)");
    ASSERT_TRUE(pasv);
    EXPECT_EQ(pasv->address, "192.168.1.2");
    EXPECT_EQ(pasv->port, 19 * 256 + 100);
    // Some servers leave out the parentheses; the numbers start at the first digit after the code.
    const auto bare = TargetFromPasvReply("227 =127,0,0,1,4,1");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->port, 1025);
    for (const char* broken : {"227 Entering Passive Mode", "227 (1,2,3,4,5)", "227 (1,2,3,256,0,21)",
                               "227 (1,2,3,4,0,0)", "227 (1,2,3,4,1000,1)", "227 (1,2,,4,0,21)"}) {
        EXPECT_EQ(TargetFromPasvReply(broken), std::nullopt) << broken;
    }
}

TEST(TransferRulesTest, PrivateSharedAndLinkLocalAddressesAreTheOnesARouterTranslates)
{
    for (const char* translated :
         {"10.0.0.2", "10.255.255.255", "172.16.0.1", "172.31.255.254", "192.168.1.5", "100.64.0.1", "100.127.255.255",
          "169.254.7.7", "fc00::1", "fd12:3456::1", "fe80::1", "febf::1"}) {
        EXPECT_TRUE(IsPrivateAddress(*NumericAddress(translated, 0))) << translated;
    }
    for (const char* reachable :
         {"127.0.0.1", "198.51.100.2", "172.15.255.255", "172.32.0.1", "100.63.255.255", "100.128.0.1", "192.169.0.1",
          "11.0.0.1", "8.8.8.8", "::1", "2001:db8::1", "fec0::1", "fbff::1"}) {
        EXPECT_FALSE(IsPrivateAddress(*NumericAddress(reachable, 0))) << reachable;
    }
}

TEST(TransferRulesTest, OnlyPlainNamesBecomeLocalPaths)
{
    for (const char* name : {"file.txt", "with blanks ", ".hidden", "...", "a\\b"})
        EXPECT_TRUE(IsSafeLocalName(name)) << name;
    for (const char* name : {"", ".", "..", "../x", "/tmp/x", "a/b"})
        EXPECT_FALSE(IsSafeLocalName(name)) << name;
    EXPECT_FALSE(IsSafeLocalName(std::string("a\0b", 3)));
}

TEST(TransferRulesTest, OnlyFailuresOfTheConnectionOrTheDataPassOnANewConnection)
{
    using enum ConnectFailure;
    const struct {
        int replyCode;
        ConnectFailure connect;
        std::string_view mark;  // "timed out", "cut short", "local file", "cancelled"
        bool lost;
        bool mayPass;
    } cases[] = {{421, None, "", false, true},          {0, None, "timed out", false, true},
                 {226, None, "cut short", false, true}, {0, NotReached, "", false, true},
                 {450, None, "", false, false},         {552, None, "cut short", false, false},
                 {0, None, "local file", true, false},  {0, None, "cancelled", true, false}};
    for (const auto& c : cases) {
        SessionFailure failure;
        failure.replyCode = c.replyCode;
        failure.connectFailure = c.connect;
        failure.timedOut = c.mark == "timed out";
        failure.dataCutShort = c.mark == "cut short";
        failure.localFileError = c.mark == "local file" ? ENOSPC : 0;
        failure.cancelled = c.mark == "cancelled";
        EXPECT_EQ(FailureMayPass(failure, c.lost), c.mayPass) << c.replyCode << " " << c.mark << " lost " << c.lost;
    }
}

char TypeFor(const std::string& table, const std::string& name)
{
    std::istringstream in(table);
    return TransferTypeFromTable(in, name);
}

TEST(TransferRulesTest, ExtensionTableMatchesUpperCaseExtensionsAnywhereInTheName)
{
    const std::string table = "A TXT\nL BIN\nI GZ\nA UNK\n";
    EXPECT_EQ(TypeFor(table, ".txt"), 'A');
    EXPECT_EQ(TypeFor(table, ".TXT.GZ"), 'A');  // the first rule that occurs wins
    EXPECT_EQ(TypeFor(table, ".tar.gz"), 'I');
    EXPECT_EQ(TypeFor(table, ".bin"), 'L');
    EXPECT_EQ(TypeFor(table, ".unk."), 'A');  // names without a dot
    EXPECT_EQ(TypeFor(table, ".doc"), 'I');
    EXPECT_EQ(TypeFor("a txt\n", ".txt"), 'I');  // lower-case rules never match
    EXPECT_EQ(TypeFor("X TXT\n", ".txt"), 'I');  // unknown letters mean binary
    EXPECT_EQ(TypeFor("A TXT\r\n", ".txt"), 'A');
    // The last character of a line is its line end, so an unterminated last line loses a letter.
    EXPECT_EQ(TypeFor("A TXT\n", ".tx"), 'I');
    EXPECT_EQ(TypeFor("A TXT", ".tx"), 'A');
    // A rule without an extension would match every name with a dot; it is passed over.
    EXPECT_EQ(TypeFor("A\n\nA \nL BIN\n", ".bin"), 'L');
}

TEST(TransferRulesTest, LineEndsConvertBothWaysAndSurviveChunkBoundaries)
{
    CrLfToLf toLocal;
    std::string local;
    toLocal.Convert("one\r", local);
    toLocal.Convert("\ntwo\r\r\nlone\rcr\r", local);
    toLocal.Finish(local);
    EXPECT_EQ(local, "one\ntwo\r\nlone\rcr\r");

    std::string wire;
    LfToCrLf("a\nb\r\nc", wire);
    EXPECT_EQ(wire, "a\r\nb\r\r\nc");
    // Upload then download gives back every byte.
    CrLfToLf back;
    std::string again;
    back.Convert(wire, again);
    back.Finish(again);
    EXPECT_EQ(again, "a\nb\r\nc");
}

}  // namespace
