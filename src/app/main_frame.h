// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CMainFrame: the one top-level window. Menu bar, a dockable toolbar in a 28-pixel band, and three
// panes on two splitters: the site tree upper left, the main view upper right, the session log
// across the bottom. It owns the commands, their keys and their enabling rules (a command goes to
// the pane with the keyboard focus first, then to the frame), uploads files dropped on it, and
// records the window rectangle and pane sizes into the settings when it closes. The panes keep
// their proportions when the window is resized.

#include "app/commands.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class CDebugWindow;
class RemoteSession;
class CGuiOperationHost;
class CPaneSize;
class CSettings;
class CSiteTree;
struct CSiteProfile;
class CTessalinev3View;
struct CurrentSiteIcon;
class QAction;
class QActionGroup;
class QKeyEvent;
class QSplitter;
class QToolBar;

class CMainFrame final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMainFrame)

public:
    static constexpr int kToolbarBand = 28;

    CMainFrame(RemoteSession& session, CSettings& settings, CurrentSiteIcon& currentSiteIcon);
    ~CMainFrame() override;

    // The panes' first display: the profile file is read and the groups are shown.
    void InitialUpdate();
    // The window has its place and size on the screen: from now on the panes keep their shares.
    void Placed();

    // A command runs `run` when chosen and is enabled while `enabled` says so; a command that has
    // no handler stays disabled.
    void SetCommandHandler(CommandId id, std::function<void()> run, std::function<bool()> enabled);
    // Re-evaluates every enabling rule and shows the padlock while the session is encrypted; part
    // of the idle step.
    void UpdateCommandStates();
    bool EncryptionSignShown() const;
    // Names the site and remote directory in the window title and moves the site tree's highlight
    // to its current item when that changed; part of the idle step.
    void ShowLocation();
    // Shows the main view in the "Default View" style with its button pressed; other values press
    // none and leave the style as it is.
    void ShowDefaultView();

    QAction* Action(CommandId id) const;
    QToolBar* ToolBar() const { return toolBar; }
    QSplitter* OuterSplitter() const { return outerSplitter; }
    QSplitter* InnerSplitter() const { return innerSplitter; }
    CSiteTree* SiteTreePane() const { return siteTreePane; }
    CTessalinev3View* MainViewPane() const { return mainViewPane; }
    CDebugWindow* LogPane() const { return logPane; }

    // The commands of the menus and the toolbar, also reachable from tests.
    void RunCommand(CommandId id);
    void NewGroup();
    void NewSite();
    void QuickConnect();
    // Quick Connect with the Session Profile filled in from an ftp:// URL handed to the program;
    // a session still open is ended first, if the user agrees.
    void QuickConnectTo(const std::string& url);
    void CreateDirectory();
    // The selected remote entries into a folder the user chooses, directories as directory copies.
    void Download();
    // Files, or one directory with what it holds, that the user chooses, into the remote directory.
    void Upload(bool directory);
    void Rename();
    void ChangeViewStyle(CommandId id);

    // 1 when the main view last had the keyboard focus, 2 the site tree, 0 before either had it.
    int activePane = 0;

signals:
    // OK or Apply in the Options sheet stored new settings.
    void settingsChanged();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void ConnectQuickly(const CSiteProfile& profile);

    struct Handler {
        std::function<void()> run;
        std::function<bool()> enabled;
    };

    void CreateCommands();
    void CreateMenus();
    void CreateToolBar();
    void CreatePanes();
    // Widens the tree column until its widest shown name fits, up to a share of the window.
    void FitTreeToNames();
    void RegisterCommands();
    void CycleFocus(int step);
    // A key that the focused pane handles itself (or its in-place editor) is not a shortcut.
    bool PaneKeepsKey(const QKeyEvent& key) const;
    bool TreeHasFocus() const;
    bool ViewHasFocus() const;

    RemoteSession& session;
    CSettings& settings;
    CurrentSiteIcon& currentSiteIcon;
    std::unique_ptr<CGuiOperationHost> host;
    std::map<CommandId, QAction*> actions;
    std::map<CommandId, Handler> handlers;
    QActionGroup* viewStyleGroup = nullptr;
    QAction* encryptionSign = nullptr;  // the padlock at the toolbar's end
    QToolBar* toolBar = nullptr;
    QSplitter* outerSplitter = nullptr;
    QSplitter* innerSplitter = nullptr;
    CPaneSize* upperRow = nullptr;
    CPaneSize* treeColumn = nullptr;
    CSiteTree* siteTreePane = nullptr;
    CTessalinev3View* mainViewPane = nullptr;
    CDebugWindow* logPane = nullptr;
};
