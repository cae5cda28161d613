// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_frame.h"

#include "app/debug_window.h"
#include "app/pane_size.h"
#include "app/window_title.h"
#include "browse/gui_operation_host.h"
#include "browse/remote_view.h"
#include "ftp/local_dirs.h"
#include "remote/remote_session.h"
#include "settings/settings.h"
#include "sites/site_tree.h"
#include "ui/prompter.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <array>

namespace {

// On a first start the log pane has at most a third of the height.
constexpr double kFirstStartUpperRowShare = 2.0 / 3.0;
// The tree column grows to show its names up to this share of the window's width.
constexpr double kTreeColumnWidestShare = 1.0 / 3.0;

// "Up One Level (Alt+Up, Backspace)": a button's tooltip says how to reach it from the keyboard.
QString ToolTipNamingKeys(const QString& tip, const QList<QKeySequence>& keys)
{
    if (keys.isEmpty())
        return tip;
    QStringList names;
    for (const QKeySequence& key : keys)
        names << key.toString(QKeySequence::NativeText);
    return tip + QStringLiteral(" (") + names.join(QStringLiteral(", ")) + QLatin1Char(')');
}

}  // namespace

CMainFrame::CMainFrame(RemoteSession& session, CSettings& settings, CurrentSiteIcon& currentSiteIcon)
    : session(session)
    , settings(settings)
    , currentSiteIcon(currentSiteIcon)
    , host(std::make_unique<CGuiOperationHost>(this))
{
    setAcceptDrops(true);
    session.Operations().host = host.get();
    CreateCommands();
    CreateMenus();
    CreateToolBar();
    CreatePanes();
    ShowDefaultView();
    RegisterCommands();
    ShowLocation();

    // F6 and Shift+F6 walk the keyboard focus through the panes.
    auto* next = new QShortcut(QKeySequence(Qt::Key_F6), this);
    connect(next, &QShortcut::activated, this, [this] { CycleFocus(+1); });
    auto* previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6), this);
    connect(previous, &QShortcut::activated, this, [this] { CycleFocus(-1); });
}

void CMainFrame::SetCommandHandler(CommandId id, std::function<void()> run, std::function<bool()> enabled)
{
    handlers[id] = Handler{std::move(run), std::move(enabled)};
    UpdateCommandStates();
}

void CMainFrame::UpdateCommandStates()
{
    for (const auto& [id, action] : actions) {
        const auto handler = handlers.find(id);
        const bool enabled = handler != handlers.end() && (!handler->second.enabled || handler->second.enabled());
        action->setEnabled(enabled);
    }
    if (encryptionSign)
        encryptionSign->setVisible(session.Connected() && session.Encrypted());
}

bool CMainFrame::EncryptionSignShown() const
{
    return encryptionSign->isVisible();
}

void CMainFrame::ShowLocation()
{
    setWindowTitle(WindowTitle(siteTreePane->Store(), session));
    siteTreePane->HighlightCurrentItem();
}

void CMainFrame::ShowDefaultView()
{
    static constexpr std::array<CommandId, 4> byView = {CommandId::LargeIcons, CommandId::Details,
                                                        CommandId::SmallIcons, CommandId::List};
    const int view = settings.defaultView;
    if (view >= 0 && view < static_cast<int>(byView.size())) {
        ChangeViewStyle(byView[view]);
    } else if (QAction* pressed = viewStyleGroup->checkedAction()) {
        pressed->setChecked(false);
    }
}

CMainFrame::~CMainFrame()
{
    session.Operations().host = nullptr;
}

void CMainFrame::InitialUpdate()
{
    siteTreePane->InitialUpdate();
    mainViewPane->InitialUpdate();
}

void CMainFrame::Placed()
{
    upperRow->Settle();
    treeColumn->Settle();
}

QAction* CMainFrame::Action(CommandId id) const
{
    return actions.at(id);
}

bool CMainFrame::event(QEvent* event)
{
    // Sent before a key can become a shortcut, after the focused widget has declined it. The
    // key meets the enabling rules as they are now, not as at the last idle step.
    if (event->type() == QEvent::ShortcutOverride) {
        UpdateCommandStates();
        if (PaneKeepsKey(*static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
    }
    return QMainWindow::event(event);
}

bool CMainFrame::PaneKeepsKey(const QKeyEvent& key) const
{
    const QWidget* focus = focusWidget();
    if (!focus)
        return false;
    const bool inTree = focus == siteTreePane || siteTreePane->isAncestorOf(focus);
    const bool inView = focus == mainViewPane || mainViewPane->isAncestorOf(focus);
    // An in-place rename is under way: every key is the editor's.
    if ((inTree && focus != siteTreePane) || (inView && focus != mainViewPane->ActiveList()))
        return true;
    const QKeyCombination pressed = key.keyCombination();
    // F2 renames in place in both panes; the main view goes up on Backspace (or beeps while not
    // connected) and deletes when Delete is released.
    if (pressed == QKeyCombination(Qt::Key_F2))
        return inTree || inView;
    return inView && (pressed == QKeyCombination(Qt::Key_Backspace) || pressed == QKeyCombination(Qt::Key_Delete));
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    const QRect outer = frameGeometry();
    settings.left = outer.x();
    settings.top = outer.y();
    settings.right = outer.x() + outer.width();
    settings.bottom = outer.y() + outer.height();
    settings.topPane = outerSplitter->sizes().value(0);
    settings.leftPane = innerSplitter->sizes().value(0);
    if (!siteTreePane->UnreadableFile().empty() && siteTreePane->ProfilesChangedInRun())
        Prompter().Inform(this,
                          QStringLiteral("Your changes to the sites were not saved: the site profiles could not "
                                         "be read when the program started (%1).")
                              .arg(QString::fromStdString(siteTreePane->UnreadableFile())));
    event->accept();
}

void CMainFrame::CreateCommands()
{
    viewStyleGroup = new QActionGroup(this);
    viewStyleGroup->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);

    for (const CommandInfo& info : AllCommands()) {
        auto* action = new QAction(this);
        action->setText(QString::fromUtf8(info.menuText ? info.menuText : info.toolTip));
        const QList<QKeySequence> keys =
            info.keys ? QKeySequence::listFromString(QString::fromUtf8(info.keys)) : QList<QKeySequence>();
        action->setShortcuts(keys);
        if (info.toolTip)
            action->setToolTip(ToolTipNamingKeys(QString::fromUtf8(info.toolTip), keys));
        if (info.image)
            action->setIcon(QIcon(QString::fromUtf8(info.image)));
        action->setEnabled(false);
        // The window holds every action, so that the keys of the toolbar's commands still work
        // while the toolbar floats or is hidden.
        addAction(action);
        const CommandId id = info.id;
        connect(action, &QAction::triggered, this, [this, id] {
            const auto handler = handlers.find(id);
            if (handler != handlers.end() && handler->second.run)
                handler->second.run();
        });
        actions[id] = action;
    }
    for (CommandId id : ViewStyleCommands()) {
        actions[id]->setCheckable(true);
        viewStyleGroup->addAction(actions[id]);
    }
}

void CMainFrame::CreateMenus()
{
    for (const MenuLayout& layout : MenuBarLayout()) {
        QMenu* menu = menuBar()->addMenu(QString::fromUtf8(layout.title));
        for (CommandId id : layout.entries) {
            if (id == CommandId::None)
                menu->addSeparator();
            else
                menu->addAction(actions.at(id));
        }
    }
}

void CMainFrame::CreateToolBar()
{
    toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar->setObjectName(QStringLiteral("toolBar"));
    toolBar->setIconSize(QSize(16, 15));
    toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar->setMovable(true);
    toolBar->setFloatable(true);
    for (CommandId id : ToolbarSlots()) {
        if (id == CommandId::None)
            toolBar->addSeparator();
        else
            toolBar->addAction(actions.at(id));
    }
    auto* padlock = new QLabel(toolBar);
    padlock->setPixmap(QIcon(QStringLiteral(":/icons/padlock.svg")).pixmap(toolBar->iconSize()));
    padlock->setToolTip(QStringLiteral("Encrypted: commands, the password and files travel over TLS"));
    padlock->setAccessibleName(QStringLiteral("Encrypted"));
    padlock->setContentsMargins(4, 0, 4, 0);
    encryptionSign = toolBar->addWidget(padlock);
    encryptionSign->setToolTip(padlock->toolTip());
    encryptionSign->setVisible(false);
    // The band the toolbar docks in is 28 pixels deep on whichever side it sits.
    const auto fitBand = [this](Qt::Orientation orientation) {
        if (orientation == Qt::Horizontal) {
            toolBar->setMinimumWidth(0);
            toolBar->setMaximumWidth(QWIDGETSIZE_MAX);
            toolBar->setFixedHeight(kToolbarBand);
        } else {
            toolBar->setMinimumHeight(0);
            toolBar->setMaximumHeight(QWIDGETSIZE_MAX);
            toolBar->setFixedWidth(kToolbarBand);
        }
    };
    connect(toolBar, &QToolBar::orientationChanged, this, fitBand);
    fitBand(toolBar->orientation());
    addToolBar(Qt::TopToolBarArea, toolBar);
}

void CMainFrame::CreatePanes()
{
    outerSplitter = new QSplitter(Qt::Vertical);
    outerSplitter->setObjectName(QStringLiteral("outerSplitter"));
    outerSplitter->setFrameShape(QFrame::NoFrame);

    innerSplitter = new QSplitter(Qt::Horizontal);
    innerSplitter->setObjectName(QStringLiteral("innerSplitter"));
    innerSplitter->setFrameShape(QFrame::Box);

    siteTreePane = new CSiteTree(session, DataDirectory());
    siteTreePane->setObjectName(QStringLiteral("siteTreePane"));
    mainViewPane = new CTessalinev3View(session, settings, siteTreePane->Store(), currentSiteIcon);
    mainViewPane->setObjectName(QStringLiteral("mainViewPane"));
    siteTreePane->SetViewLink(mainViewPane);
    connect(siteTreePane, &CSiteTree::gainedFocus, this, [this] { activePane = 2; });
    connect(siteTreePane, &CSiteTree::itemActivated, this,
            [this](SiteNodeId id) { mainViewPane->Navigation().OpenNode(id); });
    connect(mainViewPane, &CTessalinev3View::gainedFocus, this, [this] { activePane = 1; });
    connect(mainViewPane, &CTessalinev3View::commandRequested, this, &CMainFrame::RunCommand);
    logPane = new CDebugWindow;
    logPane->setObjectName(QStringLiteral("logPane"));

    innerSplitter->addWidget(siteTreePane);
    innerSplitter->addWidget(mainViewPane);
    outerSplitter->addWidget(innerSplitter);
    outerSplitter->addWidget(logPane);

    // A pane dragged below its minimum collapses; the minimums never stop the window from being
    // made smaller, the panes are then cut at the bottom.
    innerSplitter->setMinimumHeight(50);
    logPane->setMinimumHeight(20);
    siteTreePane->setMinimumWidth(10);
    outerSplitter->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);

    // The upper row and the tree column have the sizes CPaneSize gives them; the log pane and the
    // main view take whatever the window has left.
    outerSplitter->setStretchFactor(0, 0);
    outerSplitter->setStretchFactor(1, 1);
    innerSplitter->setStretchFactor(0, 0);
    innerSplitter->setStretchFactor(1, 1);
    upperRow = new CPaneSize(*outerSplitter, settings.topPane,
                             settings.windowRectangleStored ? 0.0 : kFirstStartUpperRowShare);
    treeColumn = new CPaneSize(*innerSplitter, settings.leftPane, 0.0);
    auto* treeFit = new QTimer(this);
    treeFit->setSingleShot(true);
    connect(treeFit, &QTimer::timeout, this, &CMainFrame::FitTreeToNames);
    const auto fitLater = [treeFit] { treeFit->start(); };
    connect(siteTreePane->model(), &QAbstractItemModel::rowsInserted, treeFit, fitLater);
    connect(siteTreePane->model(), &QAbstractItemModel::dataChanged, treeFit, fitLater);
    connect(siteTreePane, &QTreeView::expanded, treeFit, fitLater);

    setCentralWidget(outerSplitter);
}

void CMainFrame::FitTreeToNames()
{
    const int widest = static_cast<int>(treeColumn->Length() * kTreeColumnWidestShare);
    const int wanted = std::min(siteTreePane->NamesWidth(), widest);
    if (wanted > treeColumn->Size())
        treeColumn->Choose(wanted);
}

void CMainFrame::CycleFocus(int step)
{
    const std::array<QWidget*, 3> panes = {siteTreePane, mainViewPane, logPane};
    int current = -1;
    for (int i = 0; i < static_cast<int>(panes.size()); ++i) {
        if (panes[i]->hasFocus() || panes[i]->isAncestorOf(focusWidget()))
            current = i;
    }
    const int count = static_cast<int>(panes.size());
    const int next = current < 0 ? 0 : (current + step + count) % count;
    panes[next]->setFocus(Qt::OtherFocusReason);
}
