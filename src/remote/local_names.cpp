// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/local_names.h"

#include <cstdint>

bool IsSafeLocalName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".."
        && name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

ListedLink SplitListedLink(std::string_view listed)
{
    static constexpr std::string_view kArrow = " -> ";
    const std::size_t arrow = listed.find(kArrow);
    if (arrow == std::string_view::npos)
        return {listed, {}};
    return {listed.substr(0, arrow), listed.substr(arrow + kArrow.size())};
}

std::string PartialDownloadPath(const std::string& localPath)
{
    // FNV-1a: the same name gives the same digits on every machine and in every run.
    constexpr std::uint32_t kOffsetBasis = 2166136261u;
    constexpr std::uint32_t kPrime = 16777619u;
    constexpr int kDigits = 8;
    constexpr int kBitsPerDigit = 4;
    constexpr std::uint32_t kDigitMask = (1u << kBitsPerDigit) - 1;
    const std::size_t name = localPath.rfind('/') + 1;  // 0 when there is no slash
    std::uint32_t hash = kOffsetBasis;
    for (std::size_t i = name; i < localPath.size(); ++i)
        hash = (hash ^ static_cast<unsigned char>(localPath[i])) * kPrime;
    std::string path = localPath.substr(0, name) + ".tessaline-";
    for (int digit = kDigits - 1; digit >= 0; --digit)
        path += "0123456789abcdef"[(hash >> (digit * kBitsPerDigit)) & kDigitMask];
    return path;
}
