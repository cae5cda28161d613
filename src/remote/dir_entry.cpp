// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/dir_entry.h"

#include <charconv>

bool IsListedLink(const CDirEntry& entry)
{
    return entry.permissions.starts_with('l');
}

long long ListedBytes(const CDirEntry& entry)
{
    long long bytes = 0;
    const char* end = entry.size.data() + entry.size.size();
    const auto [stop, error] = std::from_chars(entry.size.data(), end, bytes);
    return error == std::errc() && stop == end && bytes > 0 ? bytes : 0;
}
