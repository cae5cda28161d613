// SPDX-License-Identifier: GPL-3.0-or-later
// The size a 150 reply announces, and the one a reply to SIZE gives.

#include "ftp/internal/protocol_rules.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view reply(reinterpret_cast<const char*>(data), size);
    SizeFromPreliminaryReply(reply);
    SizeFromSizeReply(reply);
    return 0;
}
