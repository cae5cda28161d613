// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/profiles/quick_connect_entry.h"

#include "ftp/host_port.h"
#include "remote/remote_session.h"

#include <strings.h>

namespace {

bool SameServerAndUser(const CSiteProfile& a, const CSiteProfile& b)
{
    const HostAndPort first = SplitHostPort(a.host);
    const HostAndPort second = SplitHostPort(b.host);
    // Host names are not case-sensitive; user names may be.
    return first.port == second.port && a.userId == b.userId
        && ::strcasecmp(first.host.c_str(), second.host.c_str()) == 0;
}

}  // namespace

QuickConnectEntry::QuickConnectEntry(SiteStore& sites, const RemoteSession& session, CSiteProfile profile)
    : sites(sites)
    , session(session)
{
    profile.name = profile.userId == "anonymous" ? profile.host : profile.userId + "@" + profile.host;
    SiteNodeId group = sites.FindGroup(kQuickConnectGroup);
    if (group == kRootNode) {
        group = sites.AddGroup(kQuickConnectGroup);
        madeGroupId = group;
    }
    for (const SiteNodeId site : sites.Children(group)) {
        const CSiteProfile& listed = sites.Node(site)->profile;
        if (sites.KindOf(site) == kItemSite && SameServerAndUser(listed, profile)) {
            replaced = listed;
            profile.group = listed.group;
            sites.ReplaceProfile(site, profile);
            sites.SetCurrent(site);
            siteId = site;
            return;
        }
    }
    sites.SetCurrent(group);
    siteId = sites.AddSiteAtCurrent(profile);
}

QuickConnectEntry::~QuickConnectEntry()
{
    if (session.Connected())
        return;
    if (replaced)
        sites.ReplaceProfile(siteId, *replaced);
    else
        sites.Remove(siteId);
    sites.Remove(madeGroupId);
}
