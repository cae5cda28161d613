// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSiteTree: the left pane, a tree over the site store (groups, their sites and, below a site, the
// remote directories visited). It owns the store for the run: the profile file is read into it
// when the tree is first shown, and written after every change to a group or a site.
//
// The store's current node is what the main view shows and what navigation works from; it is not
// the tree's selection. A double-click or Return on an item reports it as activated and expands it. A click only
// selects, except on an expanded group or an expanded directory of the connected site, which it
// activates as well: a click never connects or disconnects. The selection follows the current node
// whenever that changes (HighlightCurrentItem), so the tree shows where the user is.

#include "keyring/saved_passwords.h"
#include "sites/profiles/site_store.h"

#include <QTreeView>

#include <memory>
#include <string>

class RemoteSession;
class CSiteTreeModel;

// What the site tree asks of the main view.
class CSiteTreeViewLink {
public:
    virtual ~CSiteTreeViewLink() = default;
    // A group or site of the tree has a new name; its icon, if shown, takes it.
    virtual void RenameItemRow(SiteNodeId id) = 0;
    virtual bool RenameDirectoryByName(const std::string& oldName, const std::string& newName) = 0;
    virtual void Disconnect(bool ask) = 0;
    // After the tree lost items: the listing again while connected, the sites otherwise.
    virtual void RefreshAfterTreeChange() = 0;
};

class CSiteTree final : public QTreeView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSiteTree)

public:
    // `directory` holds the profile file (the data directory); saved passwords go to `keyring`
    // when it answers (by default the desktop's keyring).
    CSiteTree(const RemoteSession& session, std::string directory, QWidget* parent = nullptr,
              std::unique_ptr<KeyringStore> keyring = nullptr);
    ~CSiteTree() override;

    SiteStore& Store() { return store; }
    SavedPasswords& Passwords() { return passwords; }
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

    // False, after telling the user why, when the name is refused (the view's row keeps its name).
    bool RenameItem(SiteNodeId id, const std::string& newName);
    // Selects the current node once it has changed since the last call; part of the idle step.
    void HighlightCurrentItem();
    // The Delete command while the tree has the focus.
    void DeleteSelected();
    // The selected group, site or directory; kRootNode when none.
    SiteNodeId SelectedNode() const;
    QModelIndex IndexOf(SiteNodeId id) const;
    // The pane width at which every name now shown is whole.
    int NamesWidth() const;
    // An in-place edit of `id`'s label ended with `text`; true when the tree keeps it.
    bool LabelEdited(SiteNodeId id, const QString& text);

signals:
    void gainedFocus();
    // The user opened `id` (which is then the current node): the main view shows it.
    void itemActivated(SiteNodeId id);

protected:
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Every change to groups and sites is saved at once, so that a crash loses nothing.
    void ProfilesChanged();
    // Writes the profile file, the passwords the keyring holds left out; false when it could not.
    bool SaveProfiles(std::string* failure = nullptr);
    void Activate(SiteNodeId id);
    // A group, or a directory of the site the session is connected to: opening it needs no
    // connect.
    bool OpensWithoutConnecting(SiteNodeId id) const;
    // Directories listed below a node open it (and its group) to show them.
    void ShowAddedDirectories(const QModelIndex& parent, int first);

    SiteStore store;
    SavedPasswords passwords;
    CSiteTreeModel* items = nullptr;
    const RemoteSession& session;
    const std::string directory;
    CSiteTreeViewLink* view = nullptr;
    bool loaded = false;
    SiteNodeId highlighted = kRootNode;  // the node HighlightCurrentItem selected last
    std::string unreadable;
    bool changedInRun = false;
};
