// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSiteTree: the left pane. Groups at the root (kept in name order), their sites (in name order)
// and, below a connected site, the remote directories visited (appended as they come). It is the
// only place where site profiles live while the program runs; the profile file is read when the
// tree is first shown and written when it goes.
//
// `currentItem` is what the main view shows and what navigation works from; it is not the tree's
// selection. A double-click or Return makes the selected item current and asks the main view to
// open it. A click only selects, except on an expanded group or an expanded directory of the
// connected site, which it opens as well: a click never connects or disconnects. The selection
// follows `currentItem` whenever that changes (HighlightCurrentItem), so the tree shows where the
// user is.

#include "sites/profiles/profile_store.h"
#include "sites/profiles/site_profile.h"

#include <QTreeWidget>

#include <cstdint>
#include <string>

class RemoteSession;

class CSiteTreeItem;

// What the site tree asks of the main view.
class CSiteTreeViewLink {
public:
    virtual ~CSiteTreeViewLink() = default;
    virtual void SelectItemByName(const std::string& name) = 0;
    virtual void OpenTreeItem() = 0;
    // A group or site of the tree has a new name; its icon, if shown, takes it.
    virtual void RenameItemRow(const CSiteTreeItem& item) = 0;
    virtual bool RenameDirectoryByName(const std::string& oldName, const std::string& newName) = 0;
    virtual void Disconnect(bool ask) = 0;
    // After the tree lost items: the listing again while connected, the sites otherwise.
    virtual void RefreshAfterTreeChange() = 0;
};

// One item of the tree: its kind, its name as raw bytes (a directory's name comes from the
// server), and for a site its profile. `id` tells apart items of the same name for as long as the
// run lasts; the main view keeps it with each icon.
class CSiteTreeItem final : public QTreeWidgetItem {
public:
    CSiteTreeItem(int kind, const std::string& name);
    const std::uint64_t id;
    int kind;
    std::string name;
    CSiteProfile profile;  // sites only
};

class CSiteTree final : public QTreeWidget, public ProfileTree {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSiteTree)

public:
    // `directory` holds the profile file (the data directory).
    CSiteTree(const RemoteSession& session, std::string directory, QWidget* parent = nullptr);
    ~CSiteTree() override;

    void SetViewLink(CSiteTreeViewLink* link) { view = link; }
    // Loads the profile file; once, when the pane is first shown. A file that is there but cannot
    // be read is reported, and then never written over in this run.
    void InitialUpdate();
    // When the tree goes at program end: drops "Quick Connect" and writes the profile file.
    void Shutdown();
    // The profile file that could not be read at start-up, and why; empty when it was read or was
    // not there.
    const std::string& UnreadableFile() const { return unreadable; }
    // Groups or sites were added, changed, renamed or deleted in this run.
    bool ProfilesChangedInRun() const { return changedInRun; }

    // The profile store's view of the tree.
    bool FindGroup(const std::string& name) const override;
    void AddGroup(const std::string& name) override;
    void InsertSite(const std::string& group, const CSiteProfile& profile) override;
    void SortGroups() override;
    std::vector<Group> Groups() const override;

    CSiteTreeItem* currentItem = nullptr;
    void SetCurrentItem(CSiteTreeItem* item) { currentItem = item; }

    CSiteTreeItem* AddGroupItem(const std::string& name);
    CSiteTreeItem* FindGroupItem(const std::string& name) const;
    void AddSiteUnderCurrentGroup(CSiteProfile profile);
    void RemoveQuickConnectGroup();
    static int ItemKindOf(const CSiteTreeItem* item);
    CSiteProfile CopyCurrentProfile() const;
    // The group or site with that id, or nullptr when it is gone.
    CSiteTreeItem* ItemWithId(std::uint64_t id) const;
    // Overwrites the profile of `site` and names the item after it.
    void ReplaceSite(CSiteTreeItem* site, const CSiteProfile& profile);
    // False, after telling the user why, when the name is refused (the view's row keeps its name).
    bool RenameItem(CSiteTreeItem* item, const std::string& newName);
    void FindChildAndMakeCurrent(const std::string& name);
    void DeleteChildByName(const std::string& name);
    // A group (with its sites) or a site the user chose in the main view.
    void DeleteSiteOrGroup(CSiteTreeItem* item);
    CSiteTreeItem* EnclosingSiteOrGroup() const;
    CSiteTreeItem* GroupAncestor() const;
    // What the current item's parent is: kItemRemoteDirectory, kItemGroup, kItemSite, or
    // kNoParent when there is no current item or it is at the root.
    static constexpr int kNoParent = 7;
    int ParentKind(CSiteTreeItem** parent) const;
    CSiteTreeItem* AddDirectoryNode(const std::string& name);
    // The directories of a listing under the current item, those it lacks added in one step: a
    // listing of ten thousand directories lays the tree out once, not once per directory.
    void AddDirectoryNodes(const std::vector<std::string>& names);
    void AddDirectoryPath(const std::string& path);
    bool SiteAndPathOfCurrent(CSiteProfile* profile, std::string* path) const;
    CSiteTreeItem* SiteAndPathWithCurrent(CSiteProfile* profile, std::string* path, int* kind) const;
    std::string CurrentItemText() const;
    std::vector<CSiteTreeItem*> RootItems() const;
    std::vector<CSiteTreeItem*> Children(const CSiteTreeItem* item) const;  // the root items for none

    // Selects `currentItem` once it has changed since the last call; part of the idle step.
    void HighlightCurrentItem();

    // The Delete command while the tree has the focus.
    void DeleteSelected();
    bool HasSelection() const;
    // An in-place edit of `item`'s label ended with `text`; true when the tree keeps it.
    bool LabelEdited(CSiteTreeItem* item, const QString& text);

signals:
    void gainedFocus();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Every change to groups and sites is saved at once, so that a crash loses nothing.
    void ProfilesChanged();
    void OpenItem(CSiteTreeItem* item);
    void OpenSelectedItem();
    // A group, or a directory of the site the session is connected to: opening it needs no
    // connect.
    bool OpensWithoutConnecting(const CSiteTreeItem* item) const;
    void DeleteItem(CSiteTreeItem* item);
    CSiteTreeItem* ChildNamed(const CSiteTreeItem* parent, const std::string& name) const;
    void InsertSorted(QTreeWidgetItem* parent, CSiteTreeItem* item);

    const RemoteSession& session;
    const std::string directory;
    CSiteTreeViewLink* view = nullptr;
    CSiteTreeItem* lastInserted = nullptr;
    bool loaded = false;
    std::uint64_t highlightedId = 0;  // the item HighlightCurrentItem selected last, 0: none
    std::string unreadable;
    bool changedInRun = false;
};
