// SPDX-License-Identifier: GPL-3.0-or-later
#include "sftp/sftp_packets.h"

#include <sys/stat.h>

namespace {

constexpr std::size_t kLengthBytes = 4;
constexpr std::size_t kTypeBytes = 1;
constexpr std::size_t kIdBytes = 4;
constexpr std::uint32_t kModeBits = 07777;
constexpr int kOctalBase = 8;
constexpr std::size_t kLongestModeText = 4;

// Reads the fields of a reply in order; after the first one that is not there, every later read
// fails too.
class FieldReader final {
public:
    explicit FieldReader(std::string_view bytes) : rest(bytes) {}

    bool Ok() const { return ok; }
    std::size_t Left() const { return rest.size(); }

    std::uint32_t U32()
    {
        if (!Need(sizeof(std::uint32_t)))
            return 0;
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i)
            value = value << 8 | static_cast<unsigned char>(rest[i]);
        rest.remove_prefix(sizeof(std::uint32_t));
        return value;
    }
    std::uint64_t U64()
    {
        const std::uint64_t high = U32();
        return high << 32 | U32();
    }
    std::string_view String()
    {
        const std::uint32_t length = U32();
        if (!Need(length))
            return {};
        const std::string_view value = rest.substr(0, length);
        rest.remove_prefix(length);
        return value;
    }

private:
    bool Need(std::size_t bytes)
    {
        ok = ok && rest.size() >= bytes;
        return ok;
    }

    std::string_view rest;
    bool ok = true;
};

void AppendU32(std::string& bytes, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes += static_cast<char>(value >> shift & 0xff);
}

std::optional<SftpAttributes> ReadAttributes(FieldReader& reader)
{
    SftpAttributes attributes;
    const std::uint32_t flags = reader.U32();
    if (flags & kAttrSize)
        attributes.size = reader.U64();
    if (flags & kAttrOwners) {
        reader.U32();
        reader.U32();
    }
    if (flags & kAttrPermissions)
        attributes.permissions = reader.U32();
    if (flags & kAttrTimes) {
        attributes.accessed = reader.U32();
        attributes.modified = reader.U32();
    }
    if (flags & kAttrExtended) {
        // Each pair takes at least eight bytes, so a count the packet cannot hold ends the loop.
        const std::uint32_t count = reader.U32();
        for (std::uint32_t i = 0; i < count && reader.Ok(); ++i) {
            reader.String();
            reader.String();
        }
    }
    if (!reader.Ok())
        return std::nullopt;
    return attributes;
}

}  // namespace

SftpRequest::SftpRequest(std::uint8_t type, std::uint32_t id)
{
    bytes += static_cast<char>(type);
    AppendU32(bytes, id);
}

SftpRequest& SftpRequest::U32(std::uint32_t value)
{
    AppendU32(bytes, value);
    return *this;
}

SftpRequest& SftpRequest::U64(std::uint64_t value)
{
    AppendU32(bytes, static_cast<std::uint32_t>(value >> 32));
    AppendU32(bytes, static_cast<std::uint32_t>(value));
    return *this;
}

SftpRequest& SftpRequest::String(std::string_view value)
{
    AppendU32(bytes, static_cast<std::uint32_t>(value.size()));
    bytes += value;
    return *this;
}

SftpRequest& SftpRequest::Attributes(const SftpAttributes& attributes)
{
    std::uint32_t flags = 0;
    if (attributes.size)
        flags |= kAttrSize;
    if (attributes.permissions)
        flags |= kAttrPermissions;
    if (attributes.modified)
        flags |= kAttrTimes;
    U32(flags);
    if (attributes.size)
        U64(*attributes.size);
    if (attributes.permissions)
        U32(*attributes.permissions);
    if (attributes.modified) {
        U32(attributes.accessed.value_or(*attributes.modified));
        U32(*attributes.modified);
    }
    return *this;
}

std::string SftpRequest::Bytes() const
{
    std::string packet;
    AppendU32(packet, static_cast<std::uint32_t>(bytes.size()));
    return packet + bytes;
}

std::string InitPacket()
{
    std::string body;
    body += static_cast<char>(kFxpInit);
    AppendU32(body, kSftpVersion);
    std::string packet;
    AppendU32(packet, static_cast<std::uint32_t>(body.size()));
    return packet + body;
}

std::optional<SftpPacket> TakePacket(std::string_view& buffer, bool& tooLong)
{
    FieldReader header(buffer);
    const std::uint32_t length = header.U32();
    tooLong = header.Ok() && length > kLargestSftpPacket;
    if (!header.Ok() || tooLong || buffer.size() - kLengthBytes < length)
        return std::nullopt;
    SftpPacket packet;
    std::string_view rest = buffer.substr(kLengthBytes, length);
    if (rest.empty()) {
        // A packet without even its type is malformed; it reads as type 0, which no request expects.
        buffer.remove_prefix(kLengthBytes);
        return packet;
    }
    packet.type = static_cast<std::uint8_t>(rest[0]);
    rest.remove_prefix(kTypeBytes);
    if (packet.type != kFxpVersion && rest.size() >= kIdBytes) {
        FieldReader id(rest);
        packet.id = id.U32();
        rest.remove_prefix(kIdBytes);
    }
    packet.body = rest;
    buffer.remove_prefix(kLengthBytes + length);
    return packet;
}

std::optional<SftpStatus> ParseStatus(std::string_view body)
{
    FieldReader reader(body);
    SftpStatus status;
    status.code = reader.U32();
    if (!reader.Ok())
        return std::nullopt;
    // The message and its language tag are missing in replies of some old servers.
    const std::string_view message = reader.String();
    if (reader.Ok())
        status.message = message;
    return status;
}

std::optional<std::string> ParseHandle(std::string_view body)
{
    FieldReader reader(body);
    const std::string_view handle = reader.String();
    if (!reader.Ok())
        return std::nullopt;
    return std::string(handle);
}

std::optional<std::string_view> ParseData(std::string_view body)
{
    FieldReader reader(body);
    const std::string_view data = reader.String();
    if (!reader.Ok())
        return std::nullopt;
    return data;
}

std::optional<std::vector<SftpName>> ParseNames(std::string_view body)
{
    FieldReader reader(body);
    const std::uint32_t count = reader.U32();
    std::vector<SftpName> names;
    // Each name takes at least twelve bytes: a count larger than the packet can hold ends early.
    for (std::uint32_t i = 0; i < count && reader.Ok(); ++i) {
        SftpName name;
        name.name = reader.String();
        reader.String();  // the long name: ls -l's line, whose layout no standard fixes
        const std::optional<SftpAttributes> attributes = ReadAttributes(reader);
        if (!attributes)
            return std::nullopt;
        name.attributes = *attributes;
        names.push_back(std::move(name));
    }
    if (!reader.Ok())
        return std::nullopt;
    return names;
}

std::optional<SftpAttributes> ParseAttributes(std::string_view body)
{
    FieldReader reader(body);
    return ReadAttributes(reader);
}

std::optional<std::pair<std::uint32_t, std::vector<std::pair<std::string, std::string>>>> ParseVersion(
    std::string_view body)
{
    FieldReader reader(body);
    const std::uint32_t version = reader.U32();
    if (!reader.Ok())
        return std::nullopt;
    std::vector<std::pair<std::string, std::string>> extensions;
    while (reader.Left() > 0) {
        const std::string_view name = reader.String();
        const std::string_view data = reader.String();
        if (!reader.Ok())
            break;  // a torn extension list: the extensions before it count
        extensions.emplace_back(name, data);
    }
    return std::make_pair(version, std::move(extensions));
}

std::optional<std::uint32_t> ModeFromText(std::string_view text)
{
    if (text.empty() || text.size() > kLongestModeText)
        return std::nullopt;
    std::uint32_t mode = 0;
    for (const char digit : text) {
        if (digit < '0' || digit > '7')
            return std::nullopt;
        mode = mode * kOctalBase + static_cast<std::uint32_t>(digit - '0');
    }
    return mode & kModeBits;
}

std::string PermissionsText(std::uint32_t permissions)
{
    char type = '-';
    switch (permissions & S_IFMT) {
    case S_IFDIR: type = 'd'; break;
    case S_IFLNK: type = 'l'; break;
    case S_IFCHR: type = 'c'; break;
    case S_IFBLK: type = 'b'; break;
    case S_IFIFO: type = 'p'; break;
    case S_IFSOCK: type = 's'; break;
    default: break;
    }
    std::string text(1, type);
    static constexpr char kLetters[] = "rwx";
    for (int bit = 8; bit >= 0; --bit)
        text += (permissions >> bit & 1) ? kLetters[(8 - bit) % 3] : '-';
    return text;
}
