// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SiteStore: every group and site while the program runs, and below a site the remote directories
// visited. Groups sit at the root in name order, sites in their group in name order (SiteNameLess),
// directories below a site in the order they were listed. The desktop tree shows it, the main view
// and the command line look sites up in it, and the profile file is read into it and written from it.
//
// Nodes are known by id: an id names one node for the whole run and is never reused, so a view
// that kept one finds out when its node is gone.

#include "sites/profiles/site_profile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

using SiteNodeId = std::uint64_t;
// The root, above the groups; it has no kind and no name.
inline constexpr SiteNodeId kRootNode = 0;

struct SiteNode {
    SiteNodeId id = kRootNode;
    int kind = 0;          // ItemKind
    std::string name;      // raw bytes: a directory's name is the server's
    CSiteProfile profile;  // sites only
    SiteNodeId parent = kRootNode;
    std::vector<SiteNodeId> children;
};

// Told of each change before and after it, as an item model needs to be (the desktop tree's
// adapter); rows are positions among the parent's children.
class SiteStoreObserver {
public:
    virtual ~SiteStoreObserver() = default;
    virtual void BeginInsert(SiteNodeId parent, std::size_t row, std::size_t count) = 0;
    virtual void EndInsert() = 0;
    virtual void BeginRemove(SiteNodeId parent, std::size_t row) = 0;
    virtual void EndRemove() = 0;
    virtual void BeginReorder() = 0;
    virtual void EndReorder() = 0;
    virtual void Renamed(SiteNodeId id) = 0;
};

// The order of groups at the root and of sites in a group: case-insensitive (ASCII), ties broken
// byte-wise.
bool SiteNameLess(const std::string& a, const std::string& b);

class SiteStore final {
public:
    SiteStore();
    SiteStore(const SiteStore&) = delete;
    SiteStore& operator=(const SiteStore&) = delete;

    void SetObserver(SiteStoreObserver* observer) { this->observer = observer; }
    // Runs after every change to a group or a site (not to directories), so that it can be saved.
    void SetProfilesChanged(std::function<void()> changed) { profilesChanged = std::move(changed); }

    // The node with that id (the root for kRootNode), or nullptr once it is gone.
    const SiteNode* Node(SiteNodeId id) const;
    int KindOf(SiteNodeId id) const;  // 0 for the root and for a node that is gone
    SiteNodeId ParentOf(SiteNodeId id) const;
    const std::vector<SiteNodeId>& Children(SiteNodeId parent) const;
    std::size_t RowOf(SiteNodeId id) const;
    // The first child of `parent` named exactly `name`; kRootNode when none.
    SiteNodeId ChildNamed(SiteNodeId parent, const std::string& name) const;
    SiteNodeId FindGroup(const std::string& name) const { return ChildNamed(kRootNode, name); }
    // The nearest site or group at or above `id`; kRootNode when none.
    SiteNodeId SiteOrGroupAt(SiteNodeId id) const;
    SiteNodeId GroupAt(SiteNodeId id) const;
    // The site at or above `id`, and the names of the directories from below it down to `id`,
    // each followed by "/"; kRootNode when `id` is not within a site.
    SiteNodeId SiteAndPath(SiteNodeId id, std::string* path) const;

    // A new group, after any of the same name; the groups are sorted again.
    SiteNodeId AddGroup(const std::string& name);
    // A site into its group (profile.group, "User Defined" when blank), made when missing, after
    // any site of the same name. A placeholder section only declares its group: kRootNode.
    SiteNodeId AddSite(CSiteProfile profile);
    // A site into the group the user is at (a site or directory stands for its parent), which the
    // user is then at; kRootNode when nothing was added.
    SiteNodeId AddSiteAtCurrent(CSiteProfile profile);
    // The directories of `path` ("/" between them) below the current node, made where missing;
    // the user is then at the last of them.
    void DescendPath(const std::string& path);
    // The directories of a listing below `parent` that it lacks, added in one step.
    void AddDirectories(SiteNodeId parent, const std::vector<std::string>& names);
    // A site's profile is renamed with it, and a group's sites name it as their group.
    void Rename(SiteNodeId id, const std::string& name);
    void ReplaceProfile(SiteNodeId site, const CSiteProfile& profile);
    // Removes the node and all below it; where the user was within it, they are at its parent.
    void Remove(SiteNodeId id);
    void SortGroups();

    // The sites named exactly `name` in tree order, each with its group field set to its group's
    // name; only those of the group named exactly `group` unless that is empty.
    std::vector<CSiteProfile> FindSites(const std::string& name, const std::string& group) const;

    // Where the user is: what the main view shows and what navigation works from.
    SiteNodeId Current() const { return current; }
    void SetCurrent(SiteNodeId id) { current = Node(id) ? id : kRootNode; }

private:
    SiteNode* Mutable(SiteNodeId id);
    SiteNodeId Append(SiteNodeId parent, std::size_t row, int kind, const std::string& name);
    void Forget(SiteNodeId id);
    void ProfilesChanged();

    std::unordered_map<SiteNodeId, SiteNode> nodes;
    SiteNodeId lastId = kRootNode;
    SiteNodeId current = kRootNode;
    SiteStoreObserver* observer = nullptr;
    std::function<void()> profilesChanged;
};
