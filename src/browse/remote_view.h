// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CTessalinev3View: the right-hand pane. One list with two contents: the children of the site
// tree's current item (groups and sites), or the entries of the remote directory (files and
// directories). Double-clicking walks down: a group shows its sites, a site connects and lists
// its start directory, a directory is entered, a file is downloaded and maybe opened. The view
// keeps no remote state of its own: the session holds the connection, the site store where the
// user is, and the list is rebuilt from them after every step.
//
// The rows live in one CRemoteEntryModel; the four styles are two lists on it (an icon list for
// Large Icons, Small Icons and List, a tree for Details) sharing one selection. Where a double-click,
// Return or Backspace leads is the navigator's to decide (navigation/navigator.h); the view is its
// front: it shows the rows, the dialogs and the messages. This file's class is implemented in two
// parts: remote_view.cpp (the lists and their contents) and remote_view_commands.cpp (the item
// commands and the context menu).

#include "browse/remote_entry_model.h"
#include "navigation/navigator.h"
#include "remote/dir_entry.h"
#include "sites/current_site_icon.h"
#include "sites/profiles/site_profile.h"
#include "sites/site_tree.h"
#include "ui/command_ids.h"

#include <QWidget>

#include <functional>
#include <optional>

class RemoteSession;
class CSettings;
class QListView;
class QStackedWidget;
class QTreeView;
class QAbstractItemView;

class CTessalinev3View final : public QWidget, public CSiteTreeViewLink, private NavigatorFront {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTessalinev3View)

public:
    enum ViewStyle { kLargeIcons = 0, kDetails = 1, kSmallIcons = 2, kList = 3 };
    using enum CRemoteEntryModel::Column;

    CTessalinev3View(RemoteSession& session, CSettings& settings, SiteStore& sites, CurrentSiteIcon& currentSiteIcon,
                     QWidget* parent = nullptr);

    // First display: the root's groups.
    void InitialUpdate();
    void SetViewStyle(int style);
    Navigator& Navigation() { return navigator; }

    // The children of the store's current node (groups and sites).
    void ShowSites() override;
    // Lists the current remote directory again; when the listing fails the rows stay as they were.
    void RefreshListing();
    void OpenSelectedItem();

    // Item commands.
    void DeleteSelected();
    void RenameSelected(const std::string& newName);
    // The in-place editor of `item` ended with `text`; runs once the list is done with the edit.
    void RenameEdited(const QPersistentModelIndex& item, const QString& text);
    void MakeRemoteDirectory(const std::string& name);
    // Uploads local files and directories (dropped on the window or chosen) into the remote
    // directory, once the event that asked for it has been answered. A file the listing shows
    // already is replaced only when the user says so.
    void Upload(std::vector<std::string> paths);
    // Downloads the selected remote files and directories into `directory` (ending with "/").
    void DownloadSelected(const std::string& directory);
    void ShowProperties();
    void SetPermissionsOfSelected();

    // What the site tree asks of the view.
    void RenameItemRow(SiteNodeId id) override;
    bool RenameDirectoryByName(const std::string& oldName, const std::string& newName) override;
    void Disconnect(bool ask) override;
    void RefreshAfterTreeChange() override;
    // Downloads a file of the current directory and opens it, as the settings say.
    void OpenFile(const std::string& name) override;

    // The list, for the commands' enabling rules and for tests. A row counts as selected when any
    // of its cells is: a click selects the name alone in the icon and list styles, the whole row
    // in Details.
    int SelectedCount() const;
    std::vector<int> SelectedRows() const;
    // Some selected row is a remote file or directory: its commands need a live connection.
    bool SelectionIsRemote() const;
    std::string NameAt(int row) const;  // raw bytes, as the server sent them
    int KindAt(int row) const;
    QString TextAt(int row, int column) const;
    int RowCount() const { return model.rowCount(); }
    QAbstractItemView* ActiveList() const;

    int selectedIndex = -1;

signals:
    void gainedFocus();
    // A command chosen in the view's context menu or by its keys, for the main window to route.
    void commandRequested(CommandId id);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs `action` once the list event that asked for it has been handled, so the list never
    // loses its items in the middle of its own event; one such action at a time.
    void Defer(std::function<void()> action);
    // What the navigator asks of the window.
    bool EditLogin(CSiteProfile& profile) override;
    bool AwaitSavedPassword(CSiteProfile& profile) override;
    void Inform(const std::string& text) override;
    bool Ask(const std::string& question, const std::string& action) override;
    void ShowEntries(std::vector<CDirEntry> entries) override;
    void ClearEntries() override;
    void SetBusy(bool busy) override;

    // One remote command on a worker: the window keeps repainting, and a slow answer shows a
    // waiting dialog with Cancel. Nothing when the user cancelled.
    std::optional<int> RunRemote(std::function<int()> command);
    void RenameItemAt(int row, const std::string& newName);
    // Downloads the remote file `name` to `path`, asking first when a file is there; true when it
    // came. A failure is told, or ends the session as LeftEndedSession says.
    bool DownloadFile(const std::string& name, const std::string& path);
    void UploadPaths(const std::vector<std::string>& paths);
    // Deletes the remote directory `name`; one that holds entries is emptied first when the user
    // agrees. False once the session has ended.
    bool DeleteRemoteDirectory(const std::string& name, bool& changed);
    // The navigator's, in the texts of the list (Navigator::LeftEndedSession, FailureText).
    bool LeftEndedSession(const QString& what, bool cancelled, const QString& note = QString());
    QString FailureText() const;
    // The group or site shown in `row`; kRootNode for remote entries.
    SiteNodeId NodeAt(int row) const;
    void ShowItemMenu(const QPoint& position);
    // The list's begin-drag: the selected remote entries leave the window (sites do not).
    void DragOutSelected();

    RemoteSession& session;
    CSettings& settings;
    SiteStore& sites;
    CurrentSiteIcon& currentSiteIcon;
    CRemoteEntryModel model;
    Navigator navigator;
    QStackedWidget* stack = nullptr;
    QListView* iconList = nullptr;
    QTreeView* detailsList = nullptr;
    int style = kLargeIcons;
    bool deferredRunning = false;
    bool showRootsOnce = true;  // the first display shows the root's groups
};
