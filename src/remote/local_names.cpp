// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/local_names.h"

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
