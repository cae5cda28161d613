// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/quick_connect_entry.h"

#include "ftp/host_port.h"
#include "remote/remote_session.h"
#include "sites/site_tree.h"

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

QuickConnectEntry::QuickConnectEntry(CSiteTree& tree, const RemoteSession& session, CSiteProfile profile)
    : tree(tree)
    , session(session)
{
    profile.name = profile.userId == "anonymous" ? profile.host : profile.userId + "@" + profile.host;
    CSiteTreeItem* group = tree.FindGroupItem(kQuickConnectGroup);
    if (!group) {
        group = tree.AddGroupItem(kQuickConnectGroup);
        madeGroupId = group->id;
    }
    for (CSiteTreeItem* site : tree.Children(group)) {
        if (site->kind == kItemSite && SameServerAndUser(site->profile, profile)) {
            replaced = site->profile;
            profile.group = site->profile.group;
            tree.ReplaceSite(site, profile);
            tree.SetCurrentItem(site);
            siteId = site->id;
            return;
        }
    }
    tree.SetCurrentItem(group);
    tree.AddSiteUnderCurrentGroup(profile);
    if (CSiteTree::ItemKindOf(tree.currentItem) == kItemSite)
        siteId = tree.currentItem->id;
}

QuickConnectEntry::~QuickConnectEntry()
{
    if (session.Connected())
        return;
    CSiteTreeItem* site = tree.ItemWithId(siteId);
    if (replaced)
        tree.ReplaceSite(site, *replaced);
    else
        tree.DeleteSiteOrGroup(site);
    if (madeGroupId != 0)
        tree.DeleteSiteOrGroup(tree.ItemWithId(madeGroupId));
}
