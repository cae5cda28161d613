// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The site a Quick Connect attempt files under the "Quick Connect" group: one per host, port and
// user. An attempt to a host, port and user used before in this run updates that site; any other
// adds one. Either way the site is the store's current node while the attempt connects. An attempt
// that ends without a connection leaves the store as it found it.

#include "sites/profiles/site_profile.h"
#include "sites/profiles/site_store.h"

#include <optional>

class RemoteSession;

class QuickConnectEntry final {
public:
    // Files `profile`, named after its host (and user, unless anonymous).
    QuickConnectEntry(SiteStore& sites, const RemoteSession& session, CSiteProfile profile);
    // Keeps the site when the session is connected; otherwise takes the change back.
    ~QuickConnectEntry();
    QuickConnectEntry(const QuickConnectEntry&) = delete;
    QuickConnectEntry& operator=(const QuickConnectEntry&) = delete;

private:
    SiteStore& sites;
    const RemoteSession& session;
    SiteNodeId siteId = kRootNode;
    SiteNodeId madeGroupId = kRootNode;    // the group, when this attempt made it
    std::optional<CSiteProfile> replaced;  // the site's profile before, when it was there
};
