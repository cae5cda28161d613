#pragma once
// CMainFrame: the one top-level window. Menu bar, a dockable toolbar in a 28-pixel band, and three
// panes on two splitters: the site tree upper left, the main view upper right, the session log
// across the bottom. It owns the commands and their enabling rules, and records the window
// rectangle and pane sizes into the settings when it closes.

#include "app/commands.h"

#include <QMainWindow>

#include <functional>
#include <map>

class CDebugWindow;
class CSettings;
class QAction;
class QActionGroup;
class QSplitter;
class QToolBar;

class CMainFrame final : public QMainWindow {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMainFrame)

public:
    static constexpr int kToolbarBand = 28;

    explicit CMainFrame(CSettings& settings);

    // A command runs `run` when chosen and is enabled while `enabled` says so; a command that has
    // no handler stays disabled.
    void SetCommandHandler(CommandId id, std::function<void()> run, std::function<bool()> enabled);
    // Re-evaluates every enabling rule; part of the idle step.
    void UpdateCommandStates();
    // Presses the view-style button that matches "Default View"; other values press none.
    void CheckDefaultViewButton();

    QAction* Action(CommandId id) const;
    QToolBar* ToolBar() const { return toolBar; }
    QSplitter* OuterSplitter() const { return outerSplitter; }
    QSplitter* InnerSplitter() const { return innerSplitter; }
    QWidget* SiteTreePane() const { return siteTreePane; }
    QWidget* MainViewPane() const { return mainViewPane; }
    CDebugWindow* LogPane() const { return logPane; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Handler {
        std::function<void()> run;
        std::function<bool()> enabled;
    };

    void CreateCommands();
    void CreateMenus();
    void CreateToolBar();
    void CreatePanes();
    void CycleFocus(int step);

    CSettings& settings;
    std::map<CommandId, QAction*> actions;
    std::map<CommandId, Handler> handlers;
    QActionGroup* viewStyleGroup = nullptr;
    QToolBar* toolBar = nullptr;
    QSplitter* outerSplitter = nullptr;
    QSplitter* innerSplitter = nullptr;
    QWidget* siteTreePane = nullptr;
    QWidget* mainViewPane = nullptr;
    CDebugWindow* logPane = nullptr;
};
