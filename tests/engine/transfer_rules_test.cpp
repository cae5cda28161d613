#include "ftp/extension_table.h"
#include "ftp/line_ends.h"
#include "ftp/protocol_rules.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

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
    sockaddr_in address {};
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    EXPECT_EQ(PortArgument(address, 50709), "127,0,0,1,198,21");
    ::inet_pton(AF_INET, "192.168.10.254", &address.sin_addr);
    EXPECT_EQ(PortArgument(address, 21), "192,168,10,254,0,21");
}

TEST(TransferRulesTest, OnlyPlainNamesBecomeLocalPaths)
{
    for (const char* name : {"file.txt", "with blanks ", ".hidden", "...", "a\\b"})
        EXPECT_TRUE(IsSafeLocalName(name)) << name;
    for (const char* name : {"", ".", "..", "../x", "/tmp/x", "a/b"})
        EXPECT_FALSE(IsSafeLocalName(name)) << name;
    EXPECT_FALSE(IsSafeLocalName(std::string("a\0b", 3)));
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
    EXPECT_EQ(TypeFor(table, ".TXT.GZ"), 'A');   // the first rule that occurs wins
    EXPECT_EQ(TypeFor(table, ".tar.gz"), 'I');
    EXPECT_EQ(TypeFor(table, ".bin"), 'L');
    EXPECT_EQ(TypeFor(table, ".unk."), 'A');     // names without a dot
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

} // namespace
