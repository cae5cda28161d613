// SPDX-License-Identifier: GPL-3.0-or-later
// SFTP replies as a server sends them: packets split off a stream, and every reply's fields.

#include "sftp/sftp_packets.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view stream(reinterpret_cast<const char*>(data), size);
    bool tooLong = false;
    while (const auto packet = TakePacket(stream, tooLong)) {
        ParseStatus(packet->body);
        ParseHandle(packet->body);
        ParseData(packet->body);
        ParseNames(packet->body);
        ParseAttributes(packet->body);
        ParseVersion(packet->body);
    }
    return 0;
}
