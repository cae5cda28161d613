// SPDX-License-Identifier: GPL-3.0-or-later
// An extension table and a file name: the first line of the input is the name.

#include "ftp/internal/extension_table.h"

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t end = input.find('\n');
    const std::string name = input.substr(0, end);
    std::istringstream table(end == std::string::npos ? std::string() : input.substr(end + 1));
    TransferTypeFromTable(table, name);
    return 0;
}
