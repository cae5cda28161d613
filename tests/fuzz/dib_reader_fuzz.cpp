// SPDX-License-Identifier: GPL-3.0-or-later
// A damaged or hostile bitmap file, read and, when accepted, unpacked row by row.

#include "app/bitmap/dib.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::istringstream file(std::string(reinterpret_cast<const char*>(data), size));
    CDIB dib;
    if (dib.Read(file) == 1) {
        std::vector<std::uint32_t> row(static_cast<std::size_t>(dib.Width()));
        for (int y = 0; y < dib.Height(); ++y)
            dib.ExpandRow(y, row.data());
        dib.Palette();
    }
    return 0;
}
