// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/profiles/site_store.h"

#include <algorithm>
#include <compare>
#include <set>

bool SiteNameLess(const std::string& a, const std::string& b)
{
    const auto folded = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    const auto order = std::lexicographical_compare_three_way(a.begin(), a.end(), b.begin(), b.end(),
                                                              [&](char x, char y) { return folded(x) <=> folded(y); });
    return order != 0 ? order < 0 : a < b;
}

SiteStore::SiteStore()
{
    nodes.emplace(kRootNode, SiteNode{});
}

const SiteNode* SiteStore::Node(SiteNodeId id) const
{
    const auto found = nodes.find(id);
    return found == nodes.end() ? nullptr : &found->second;
}

SiteNode* SiteStore::Mutable(SiteNodeId id)
{
    const auto found = nodes.find(id);
    return found == nodes.end() ? nullptr : &found->second;
}

int SiteStore::KindOf(SiteNodeId id) const
{
    const SiteNode* node = Node(id);
    return node ? node->kind : 0;
}

SiteNodeId SiteStore::ParentOf(SiteNodeId id) const
{
    const SiteNode* node = Node(id);
    return node ? node->parent : kRootNode;
}

const std::vector<SiteNodeId>& SiteStore::Children(SiteNodeId parent) const
{
    static const std::vector<SiteNodeId> none;
    const SiteNode* node = Node(parent);
    return node ? node->children : none;
}

std::size_t SiteStore::RowOf(SiteNodeId id) const
{
    const std::vector<SiteNodeId>& siblings = Children(ParentOf(id));
    return static_cast<std::size_t>(std::find(siblings.begin(), siblings.end(), id) - siblings.begin());
}

SiteNodeId SiteStore::ChildNamed(SiteNodeId parent, const std::string& name) const
{
    for (const SiteNodeId child : Children(parent)) {
        if (Node(child)->name == name)
            return child;
    }
    return kRootNode;
}

SiteNodeId SiteStore::SiteOrGroupAt(SiteNodeId id) const
{
    for (; id != kRootNode; id = ParentOf(id)) {
        if (KindOf(id) == kItemSite || KindOf(id) == kItemGroup)
            return id;
    }
    return kRootNode;
}

SiteNodeId SiteStore::GroupAt(SiteNodeId id) const
{
    while (id != kRootNode && KindOf(id) != kItemGroup)
        id = ParentOf(id);
    return id;
}

SiteNodeId SiteStore::SiteAndPath(SiteNodeId id, std::string* path) const
{
    std::vector<const std::string*> names;
    for (; id != kRootNode && KindOf(id) != kItemSite; id = ParentOf(id)) {
        if (KindOf(id) == kItemRemoteDirectory)
            names.push_back(&Node(id)->name);
    }
    path->clear();
    for (auto name = names.rbegin(); name != names.rend(); ++name)
        *path += **name + "/";
    return id;
}

SiteNodeId SiteStore::Append(SiteNodeId parent, std::size_t row, int kind, const std::string& name)
{
    const SiteNodeId id = ++lastId;
    SiteNode node;
    node.id = id;
    node.kind = kind;
    node.name = name;
    node.parent = parent;
    nodes.emplace(id, std::move(node));
    std::vector<SiteNodeId>& siblings = Mutable(parent)->children;
    siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(row), id);
    return id;
}

SiteNodeId SiteStore::AddGroup(const std::string& name)
{
    const std::size_t row = Children(kRootNode).size();
    if (observer)
        observer->BeginInsert(kRootNode, row, 1);
    const SiteNodeId id = Append(kRootNode, row, kItemGroup, name);
    if (observer)
        observer->EndInsert();
    SortGroups();
    ProfilesChanged();
    return id;
}

SiteNodeId SiteStore::AddSite(CSiteProfile profile)
{
    if (profile.group.empty())
        profile.group = kUserDefinedGroup;
    SiteNodeId group = FindGroup(profile.group);
    if (group == kRootNode)
        group = AddGroup(profile.group);
    if (profile.name == kGroupPlaceHolder)
        return kRootNode;
    profile.kind = kItemSite;
    const std::vector<SiteNodeId>& sites = Children(group);
    const auto at =
        std::upper_bound(sites.begin(), sites.end(), profile.name, [this](const std::string& name, SiteNodeId site) {
            return SiteNameLess(name, Node(site)->name);
        });
    const auto row = static_cast<std::size_t>(at - sites.begin());
    if (observer)
        observer->BeginInsert(group, row, 1);
    const SiteNodeId id = Append(group, row, kItemSite, profile.name);
    Mutable(id)->profile = std::move(profile);
    if (observer)
        observer->EndInsert();
    ProfilesChanged();
    return id;
}

SiteNodeId SiteStore::AddSiteAtCurrent(CSiteProfile profile)
{
    if (ParentOf(current) != kRootNode)
        current = ParentOf(current);
    profile.group = current == kRootNode ? std::string() : Node(current)->name;
    const SiteNodeId site = AddSite(std::move(profile));
    if (site != kRootNode) {
        current = site;
        SortGroups();
    }
    return site;
}

void SiteStore::AddDirectories(SiteNodeId parent, const std::vector<std::string>& names)
{
    if (!Node(parent) || parent == kRootNode)
        return;
    std::set<std::string> known;
    for (const SiteNodeId child : Children(parent))
        known.insert(Node(child)->name);
    std::vector<const std::string*> added;
    for (const std::string& name : names) {
        if (known.insert(name).second)
            added.push_back(&name);
    }
    if (added.empty())
        return;
    const std::size_t row = Children(parent).size();
    if (observer)
        observer->BeginInsert(parent, row, added.size());
    for (std::size_t i = 0; i < added.size(); ++i)
        Append(parent, row + i, kItemRemoteDirectory, *added[i]);
    if (observer)
        observer->EndInsert();
}

void SiteStore::DescendPath(const std::string& path)
{
    // An absolute path begins with an empty component: the root directory.
    std::size_t start = 0;
    while (current != kRootNode) {
        const std::size_t slash = path.find('/', start);
        const std::string name = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        AddDirectories(current, {name});
        current = ChildNamed(current, name);
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
}

void SiteStore::Rename(SiteNodeId id, const std::string& name)
{
    SiteNode* node = Mutable(id);
    if (!node || id == kRootNode)
        return;
    node->name = name;
    if (node->kind == kItemSite)
        node->profile.name = name;
    // A copy of a site's profile names its keyring entry by its group.
    if (node->kind == kItemGroup) {
        for (const SiteNodeId site : node->children)
            Mutable(site)->profile.group = name;
    }
    if (observer)
        observer->Renamed(id);
    if (node->kind != kItemRemoteDirectory)
        ProfilesChanged();
}

void SiteStore::ReplaceProfile(SiteNodeId site, const CSiteProfile& profile)
{
    SiteNode* node = Mutable(site);
    if (!node || node->kind != kItemSite)
        return;
    node->profile = profile;
    node->name = profile.name;
    if (observer)
        observer->Renamed(site);
    ProfilesChanged();
}

void SiteStore::Remove(SiteNodeId id)
{
    const SiteNode* node = Node(id);
    if (!node || id == kRootNode)
        return;
    const int kind = node->kind;
    const SiteNodeId parent = node->parent;
    for (SiteNodeId up = current; up != kRootNode; up = ParentOf(up)) {
        if (up == id) {
            current = parent;
            break;
        }
    }
    std::vector<SiteNodeId>& siblings = Mutable(parent)->children;
    const auto at = std::find(siblings.begin(), siblings.end(), id);
    if (observer)
        observer->BeginRemove(parent, static_cast<std::size_t>(at - siblings.begin()));
    siblings.erase(at);
    Forget(id);
    if (observer)
        observer->EndRemove();
    if (kind != kItemRemoteDirectory)
        ProfilesChanged();
}

void SiteStore::Forget(SiteNodeId id)
{
    for (const SiteNodeId child : Children(id))
        Forget(child);
    nodes.erase(id);
}

void SiteStore::SortGroups()
{
    std::vector<SiteNodeId> sorted = Children(kRootNode);
    std::stable_sort(sorted.begin(), sorted.end(),
                     [this](SiteNodeId a, SiteNodeId b) { return SiteNameLess(Node(a)->name, Node(b)->name); });
    if (sorted == Children(kRootNode))
        return;
    if (observer)
        observer->BeginReorder();
    Mutable(kRootNode)->children = std::move(sorted);
    if (observer)
        observer->EndReorder();
}

std::vector<CSiteProfile> SiteStore::FindSites(const std::string& name, const std::string& group) const
{
    std::vector<CSiteProfile> found;
    for (const SiteNodeId groupId : Children(kRootNode)) {
        const SiteNode& g = *Node(groupId);
        if (!group.empty() && g.name != group)
            continue;
        for (const SiteNodeId site : g.children) {
            if (KindOf(site) == kItemSite && Node(site)->name == name) {
                found.push_back(Node(site)->profile);
                found.back().group = g.name;
            }
        }
    }
    return found;
}

void SiteStore::ProfilesChanged()
{
    if (profilesChanged)
        profilesChanged();
}
