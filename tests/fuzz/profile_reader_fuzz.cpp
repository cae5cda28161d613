// SPDX-License-Identifier: GPL-3.0-or-later
// A damaged or hostile profile file read into the in-memory tree.

#include "sites/profiles/profile_store.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    std::FILE* file = ::fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    if (!file)
        return 0;
    SiteStore tree;
    ReadProfileSections(file, tree);
    std::fclose(file);
    return 0;
}
