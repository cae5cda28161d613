// SPDX-License-Identifier: GPL-3.0-or-later
// Listing lines in every server form, with any column count, and the column count itself.

#include "ftp/internal/listing_parser.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2)
        return 0;
    static constexpr int kSystemTypes[] = {0,          kSystemUnix,      kSystemVmsMultiNet,
                                           kSystemVms, kSystemWindowsNt, kSystemMacOs};
    const int systemType = kSystemTypes[data[0] % 6];
    const int columns = data[1] % 12;
    std::string_view text(reinterpret_cast<const char*>(data) + 2, size - 2);
    CDirEntry entry;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        ParseListingLine(line, systemType, columns, entry);
        CountLineColumns(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return 0;
}
