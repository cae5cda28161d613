// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/dir_entry.h"

#include <charconv>

namespace {

std::string TimeText(const std::tm& fields, const char* format)
{
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &fields);
    return std::string(text, length);
}

}  // namespace

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

ListedFile ListedFacts(const CDirEntry& entry)
{
    return {ListedBytes(entry), entry.modifiedTime};
}

std::string ModifiedText(const CDirEntry& entry)
{
    std::tm fields{};
    if (!entry.modifiedTime || !::localtime_r(&*entry.modifiedTime, &fields))
        return entry.modified;
    return TimeText(fields, "%Y-%m-%d %H:%M");
}

std::string ModifiedUtcText(const CDirEntry& entry)
{
    std::tm fields{};
    if (!entry.modifiedTime || !::gmtime_r(&*entry.modifiedTime, &fields))
        return {};
    return TimeText(fields, "%Y-%m-%d %H:%M:%S UTC");
}
