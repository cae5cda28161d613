// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The SFTP (version 3) packets: requests as the client writes them, replies as the server sends
// them. Pure functions, without the connection; a malformed reply reads as nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr std::uint32_t kSftpVersion = 3;

enum SftpType : std::uint8_t {
    kFxpInit = 1,
    kFxpVersion = 2,
    kFxpOpen = 3,
    kFxpClose = 4,
    kFxpRead = 5,
    kFxpWrite = 6,
    kFxpLstat = 7,
    kFxpFstat = 8,
    kFxpSetstat = 9,
    kFxpOpendir = 11,
    kFxpReaddir = 12,
    kFxpRemove = 13,
    kFxpMkdir = 14,
    kFxpRmdir = 15,
    kFxpRealpath = 16,
    kFxpStat = 17,
    kFxpRename = 18,
    kFxpReadlink = 19,
    kFxpStatus = 101,
    kFxpHandle = 102,
    kFxpData = 103,
    kFxpName = 104,
    kFxpAttrs = 105,
    kFxpExtended = 200,
    kFxpExtendedReply = 201,
};

// The status codes of a STATUS reply.
enum SftpStatusCode : std::uint32_t {
    kFxOk = 0,
    kFxEof = 1,
    kFxNoSuchFile = 2,
    kFxPermissionDenied = 3,
    kFxFailure = 4,
    kFxOpUnsupported = 8,
};

// OPEN's flags.
enum SftpOpenFlags : std::uint32_t {
    kFxfRead = 0x01,
    kFxfWrite = 0x02,
    kFxfCreate = 0x08,
    kFxfTruncate = 0x10,
};

// The attribute flags: which fields follow.
enum SftpAttributeFlags : std::uint32_t {
    kAttrSize = 0x01,
    kAttrOwners = 0x02,
    kAttrPermissions = 0x04,
    kAttrTimes = 0x08,
    kAttrExtended = 0x80000000,
};

// A packet longer than this is no reply of a server we asked: OpenSSH's own limit.
inline constexpr std::uint32_t kLargestSftpPacket = 256 * 1024;

struct SftpAttributes {
    std::optional<std::uint64_t> size;
    std::optional<std::uint32_t> permissions;  // with the file type bits (S_IFDIR, S_IFLNK)
    std::optional<std::uint32_t> modified;     // seconds since 1970, UTC
    std::optional<std::uint32_t> accessed;
};

struct SftpName {
    std::string name;
    SftpAttributes attributes;
};

struct SftpStatus {
    std::uint32_t code = kFxFailure;
    std::string message;
};

// One reply: its type, the request it answers (none in VERSION) and what follows.
struct SftpPacket {
    std::uint8_t type = 0;
    std::uint32_t id = 0;
    std::string body;
};

// Builds one request: the type, the request id, then the fields in order.
class SftpRequest final {
public:
    SftpRequest(std::uint8_t type, std::uint32_t id);
    SftpRequest& U32(std::uint32_t value);
    SftpRequest& U64(std::uint64_t value);
    SftpRequest& String(std::string_view value);
    SftpRequest& Attributes(const SftpAttributes& attributes);
    // The packet with its length in front.
    std::string Bytes() const;

private:
    std::string bytes;
};

// INIT has no request id.
std::string InitPacket();

// Splits a packet off the front of `buffer` (length, type, id, body). Nothing while `buffer` does
// not hold a whole one yet; `tooLong` is set when the length announced passes kLargestSftpPacket.
std::optional<SftpPacket> TakePacket(std::string_view& buffer, bool& tooLong);

// The fields of replies of each type, from a packet's body.
std::optional<SftpStatus> ParseStatus(std::string_view body);
std::optional<std::string> ParseHandle(std::string_view body);
std::optional<std::string_view> ParseData(std::string_view body);
std::optional<std::vector<SftpName>> ParseNames(std::string_view body);
std::optional<SftpAttributes> ParseAttributes(std::string_view body);
// VERSION: the version and the server's extensions ("posix-rename@openssh.com", "1").
std::optional<std::pair<std::uint32_t, std::vector<std::pair<std::string, std::string>>>> ParseVersion(
    std::string_view body);

// The mode text the Permissions dialog gives ("644", "0755") as permission bits; nothing for any
// other text.
std::optional<std::uint32_t> ModeFromText(std::string_view text);

// "drwxr-xr-x" for the permissions of an entry, with its type letter.
std::string PermissionsText(std::uint32_t permissions);
