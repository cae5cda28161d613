// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The site a Quick Connect attempt files under the "Quick Connect" group: one per host, port and
// user. An attempt to a host, port and user used before in this run updates that site; any other
// adds one. Either way the site is the tree's current item while the attempt connects. An attempt
// that ends without a connection leaves the tree as it found it.

#include "sites/profiles/site_profile.h"

#include <cstdint>
#include <optional>

class RemoteSession;
class CSiteTree;

class QuickConnectEntry final {
public:
    // Files `profile`, named after its host (and user, unless anonymous).
    QuickConnectEntry(CSiteTree& tree, const RemoteSession& session, CSiteProfile profile);
    // Keeps the site when the session is connected; otherwise takes the change back.
    ~QuickConnectEntry();
    QuickConnectEntry(const QuickConnectEntry&) = delete;
    QuickConnectEntry& operator=(const QuickConnectEntry&) = delete;

private:
    CSiteTree& tree;
    const RemoteSession& session;
    std::uint64_t siteId = 0;
    std::uint64_t madeGroupId = 0;         // the group, when this attempt made it
    std::optional<CSiteProfile> replaced;  // the site's profile before, when it was there
};
