// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The small rules of the protocol, kept apart from the sockets so they can be checked alone.

#include "ftp/server_features.h"

#include <netinet/in.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Text of one or more decimal digits and nothing else.
bool AllDigits(std::string_view text);
// ASCII letters in upper case: the protocol's words and facts are named in any case.
std::string UpperCase(std::string_view text);

// The code at the start of a reply line: its first three characters read as a decimal number the
// way atoi reads them (leading blanks, a sign, digits); 0 when they are not a number.
int ReplyCodeOf(std::string_view line);

// A reply goes on after a line whose code is outside 100..599 (a text line) or whose fourth
// character is "-" (the first line of a multi-line reply).
bool ReplyGoesOn(int code, std::string_view line);

// "quit" in any case: the one command that may interrupt a command in progress.
bool IsQuitCommand(std::string_view line);

// CR, LF or NUL would let a name smuggle in a command of its own.
bool HasLineBreak(std::string_view line);

// What the lines of a reply to FEAT list (" MLST type*;size*;", " MFMT", " SITE UTIME", in any
// case); unknown features are passed over.
ServerFeatures FeaturesFromReply(const std::vector<std::string>& lines);

// The system type a SYST reply names, or nothing when it names none we know.
std::optional<int> SystemTypeFromReply(std::string_view text);
bool IsVmsSystem(int systemType);
// Rewrites a directory name into VMS bracket form for the VMS system types, when the result is
// shorter than `limit`; other types keep the name.
void VmsDirectoryName(std::string& name, std::size_t limit, int systemType);

// The size a 150 reply announces: the number just before " BYTES" in its first 99 characters
// (any case, blanks between allowed), as in "150 Opening data connection for f (1234 bytes)";
// 0 when it names none or a negative one.
long long SizeFromPreliminaryReply(std::string_view reply);
// The size a reply to SIZE gives: "213 1234", the number alone after the code; nothing when the
// reply is no 213 or its number is not all digits.
std::optional<long long> SizeFromSizeReply(std::string_view reply);
// The directory a 257 reply names between its first pair of quotes, a doubled quote inside
// standing for one: `257 "/a ""b"" c"` names `/a "b" c`. Nothing when the reply quotes none.
std::optional<std::string> QuotedPathname(std::string_view reply);

// The argument of PORT: the address bytes in network order, then the port's high and low byte.
std::string PortArgument(const sockaddr_in& address, int port);
// The argument of EPRT: "|1|a.b.c.d|port|" or "|2|ipv6 address|port|".
std::string EprtArgument(const sockaddr_storage& address);

// The port of a 229 reply, "(|||6446|)" with any delimiter; nothing when it names none.
std::optional<int> PortFromEpsvReply(std::string_view reply);
// The address and port of a 227 reply: six numbers from the first digit after the code on, as in
// "227 Entering Passive Mode (192,168,1,2,19,100)"; nothing when they are not there.
struct PassiveTarget {
    std::string address;
    int port = 0;
};
std::optional<PassiveTarget> TargetFromPasvReply(std::string_view reply);
