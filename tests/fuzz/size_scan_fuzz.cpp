// SPDX-License-Identifier: GPL-3.0-or-later
// The size a 150 reply announces.

#include "ftp/internal/protocol_rules.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SizeFromPreliminaryReply(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
