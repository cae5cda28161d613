// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/remote_view.h"

#include "browse/drag_out.h"
#include "browse/remote_view_parts.h"
#include "keyring/keyring_wait.h"
#include "remote/exchange_result.h"
#include "remote/remote_session.h"
#include "settings/settings.h"
#include "sites/session_profile_dialog.h"
#include "sites/site_icons.h"
#include "ui/prompter.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace {

// How long a deferred action waits for the one before it to finish.
constexpr int kDeferRetryMilliseconds = 50;

// In-place edits go to the view's rename of the edited item; the list itself never keeps an
// edited label.
class RenameDelegate final : public QStyledItemDelegate {
public:
    explicit RenameDelegate(CTessalinev3View* view) : QStyledItemDelegate(view), view(view) {}

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        if (const auto* edit = qobject_cast<QLineEdit*>(editor))
            view->RenameEdited(QPersistentModelIndex(index), edit->text());
    }

private:
    CTessalinev3View* view;
};

// One of the view's lists, whose drags take the selected entries out of the window rather than
// moving items inside the list.
template <class List>
class DragOutList final : public List {
public:
    explicit DragOutList(std::function<void()> beginDrag) : beginDrag(std::move(beginDrag)) {}

protected:
    void startDrag(Qt::DropActions) override { beginDrag(); }

private:
    std::function<void()> beginDrag;
};

// A key that an in-place editor of `list` passed on (Return, Delete's release, F2) is the
// editor's, not a command of the list.
bool KeyFromEditor(const QWidget* list)
{
    const QWidget* focus = list->window()->focusWidget();
    return focus && focus != list && focus->isVisible() && list->isAncestorOf(focus);
}

}  // namespace

CTessalinev3View::CTessalinev3View(RemoteSession& session, CSettings& settings, SiteStore& sites,
                                   CurrentSiteIcon& currentSiteIcon, QWidget* parent)
    : QWidget(parent)
    , session(session)
    , settings(settings)
    , sites(sites)
    , currentSiteIcon(currentSiteIcon)
    , navigator(sites, session, settings, *this)
{
    iconList = new DragOutList<QListView>([this] { DragOutSelected(); });
    iconList->setModel(&model);
    iconList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    iconList->setUniformItemSizes(false);
    // Items are laid out a batch at a time between events: a directory of a hundred thousand
    // entries paints its first screen at once and the window answers while the rest follow.
    iconList->setLayoutMode(QListView::Batched);

    detailsList = new DragOutList<QTreeView>([this] { DragOutSelected(); });
    detailsList->setModel(&model);
    detailsList->setSelectionModel(iconList->selectionModel());
    detailsList->setRootIsDecorated(false);
    detailsList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    detailsList->setDragEnabled(true);
    // A header click sorts by its column, again the other way; the order holds in every style.
    detailsList->header()->setSortIndicator(kName, Qt::AscendingOrder);
    detailsList->setSortingEnabled(true);
    const int widths[kColumnCount] = {180, 75, 85, 100, 85};
    for (int column = 0; column < kColumnCount; ++column)
        detailsList->setColumnWidth(column, widths[column]);
    // A whole time with its year ("2026-12-01 21:00") is wider than a listing's "Dec  1 21:00".
    constexpr int kCellPadding = 12;
    detailsList->setColumnWidth(
        kModified,
        std::max(widths[kModified],
                 detailsList->fontMetrics().horizontalAdvance(QStringLiteral("8888-88-88 88:88")) + kCellPadding));

    for (QAbstractItemView* list :
         {static_cast<QAbstractItemView*>(iconList), static_cast<QAbstractItemView*>(detailsList)}) {
        // In-place rename starts from F2 (see the key handler) and nothing else: a click on a
        // selected item is often the first half of a slow double-click.
        list->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list->setItemDelegate(new RenameDelegate(this));
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        list->installEventFilter(this);
        connect(list, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
            selectedIndex = index.row();
            Defer([this] { OpenSelectedItem(); });
        });
        connect(list, &QWidget::customContextMenuRequested, this,
                [this, list](const QPoint& at) { ShowItemMenu(list->viewport()->mapToGlobal(at)); });
    }

    stack = new QStackedWidget;
    stack->addWidget(iconList);
    stack->addWidget(detailsList);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(stack);
    setFocusProxy(iconList);
    SetViewStyle(settings.defaultView);
}

void CTessalinev3View::InitialUpdate()
{
    sites.SetCurrent(kRootNode);
    ShowSites();
}

void CTessalinev3View::SetViewStyle(int newStyle)
{
    style = newStyle;
    if (style == kDetails) {
        stack->setCurrentWidget(detailsList);
    } else {
        stack->setCurrentWidget(iconList);
        // Large icons sit in a grid with the name below; small icons run in rows and the list in
        // columns, each with the name beside a small icon.
        const bool large = style != kSmallIcons && style != kList;
        iconList->setViewMode(large ? QListView::IconMode : QListView::ListMode);
        iconList->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
        iconList->setFlow(style == kList ? QListView::TopToBottom : QListView::LeftToRight);
        iconList->setWrapping(true);
        iconList->setResizeMode(QListView::Adjust);
        iconList->setMovement(QListView::Static);
        iconList->setDragEnabled(true);  // Static turned it off; entries still leave the window by drag
        iconList->setGridSize(large ? QSize(96, 64) : QSize());
        iconList->setWordWrap(large);
    }
    setFocusProxy(ActiveList());
}

QAbstractItemView* CTessalinev3View::ActiveList() const
{
    return style == kDetails ? static_cast<QAbstractItemView*>(detailsList) : static_cast<QAbstractItemView*>(iconList);
}

// --- Contents -------------------------------------------------------------------------------

void CTessalinev3View::ClearEntries()
{
    model.Reset({});
    selectedIndex = -1;
}

void CTessalinev3View::ShowSites()
{
    WaitCursor busy;
    ClearEntries();
    const std::vector<SiteNodeId>& shown = sites.Children(showRootsOnce ? kRootNode : sites.Current());
    showRootsOnce = false;
    std::vector<CRemoteRow> rows;
    for (const SiteNodeId id : shown) {
        const SiteNode& node = *sites.Node(id);
        CRemoteRow row;
        row.kind = node.kind;
        row.name = node.name;
        row.icon = node.kind == kItemGroup ? ProgramIcon(ProgramIconId::Group) : SiteIcon(node.profile.icon);
        row.treeItemId = id;
        rows.push_back(std::move(row));
    }
    model.Reset(std::move(rows));
}

void CTessalinev3View::ShowEntries(std::vector<CDirEntry> entries)
{
    std::vector<CRemoteRow> rows;
    rows.reserve(entries.size());
    for (const CDirEntry& entry : entries)
        rows.push_back(RowOfEntry(entry));
    ClearEntries();
    model.Reset(std::move(rows));
}

void CTessalinev3View::RefreshListing()
{
    navigator.List(true);
}

void CTessalinev3View::RefreshAfterTreeChange()
{
    if (session.Connected())
        RefreshListing();
    else
        ShowSites();
}

void CTessalinev3View::Disconnect(bool ask)
{
    navigator.Disconnect(ask);
}

// --- Navigation -----------------------------------------------------------------------------

void CTessalinev3View::OpenSelectedItem()
{
    const std::vector<int> rows = SelectedRows();
    if (!rows.empty())
        selectedIndex = rows.front();
    if (selectedIndex < 0 || selectedIndex >= model.rowCount())
        return;
    // Several files chosen: each is downloaded, none opened.
    if (rows.size() > 1 && session.Connected()
        && std::all_of(rows.begin(), rows.end(), [this](int row) { return KindAt(row) == kItemRemoteFile; })) {
        DownloadSelected(settings.defaultDownloadDirectory);
        return;
    }
    const int kind = KindAt(selectedIndex);
    if ((kind == kItemRemoteFile || kind == kItemRemoteDirectory) && !session.Connected()) {
        Prompter().Beep();  // listed before a cancel closed the session
        return;
    }
    navigator.OpenRow(NodeAt(selectedIndex), kind, NameAt(selectedIndex), model.Row(selectedIndex).link);
}

bool CTessalinev3View::EditLogin(CSiteProfile& profile)
{
    CSessionProfileDialog dialog(settings.email, this);
    dialog.SetProfile(profile);
    if (Prompter().Exec(dialog) != QDialog::Accepted)
        return false;
    dialog.ApplyTo(profile);
    return true;
}

bool CTessalinev3View::AwaitSavedPassword(CSiteProfile& profile)
{
    return ::AwaitSavedPassword(this, profile);
}

void CTessalinev3View::Inform(const std::string& text)
{
    Prompter().Inform(this, Shown(text));
}

bool CTessalinev3View::Ask(const std::string& question, const std::string& action)
{
    return Prompter().Ask(this, Shown(question), Shown(action), true);
}

void CTessalinev3View::SetBusy(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

bool CTessalinev3View::LeftEndedSession(const QString& what, bool cancelled, const QString& note)
{
    return navigator.LeftEndedSession(what.toStdString(), cancelled, note.toStdString());
}

QString CTessalinev3View::FailureText() const
{
    return Shown(navigator.FailureText());
}

std::optional<int> CTessalinev3View::RunRemote(std::function<int()> command)
{
    return navigator.RunRemote(std::move(command));
}

void CTessalinev3View::DragOutSelected()
{
    std::vector<DraggedEntry> entries;
    for (const int row : SelectedRows()) {
        const int kind = KindAt(row);
        if (kind == kItemRemoteFile || kind == kItemRemoteDirectory)
            entries.push_back({NameAt(row),
                               TextAt(row, kPermissions).toStdString(),
                               kind == kItemRemoteDirectory,
                               {model.Row(row).listed.size, model.Row(row).listed.modified, true}});
    }
    if (!entries.empty())
        BeginDragOut(ActiveList(), session, {settings.connections, settings.retries}, std::move(entries));
}

// --- The list ---------------------------------------------------------------------------------

int CTessalinev3View::SelectedCount() const
{
    return static_cast<int>(SelectedRows().size());
}

std::vector<int> CTessalinev3View::SelectedRows() const
{
    // Every style shares this selection model.
    std::vector<int> rows;
    for (const QModelIndex& index : iconList->selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

bool CTessalinev3View::SelectionIsRemote() const
{
    const std::vector<int> rows = SelectedRows();
    return std::any_of(rows.begin(), rows.end(), [this](int row) {
        return KindAt(row) == kItemRemoteFile || KindAt(row) == kItemRemoteDirectory;
    });
}

std::string CTessalinev3View::NameAt(int row) const
{
    return row >= 0 && row < model.rowCount() ? model.Row(row).name : std::string();
}

int CTessalinev3View::KindAt(int row) const
{
    return row >= 0 && row < model.rowCount() ? model.Row(row).kind : 0;
}

QString CTessalinev3View::TextAt(int row, int column) const
{
    return model.index(row, column).data().toString();
}

SiteNodeId CTessalinev3View::NodeAt(int row) const
{
    const SiteNodeId id = row >= 0 && row < model.rowCount() ? model.Row(row).treeItemId : kRootNode;
    return sites.Node(id) ? id : kRootNode;
}

void CTessalinev3View::Defer(std::function<void()> action)
{
    QTimer::singleShot(0, this, [this, action = std::move(action)]() mutable {
        // An action that waits in a dialog lets the event loop run: the next one waits its turn,
        // and so does one that comes while any operation of the session is still waited for.
        if (deferredRunning || session.Operations().InProgress()) {
            QTimer::singleShot(kDeferRetryMilliseconds, this,
                               [this, action = std::move(action)]() mutable { Defer(std::move(action)); });
            return;
        }
        deferredRunning = true;
        action();
        deferredRunning = false;
    });
}

bool CTessalinev3View::eventFilter(QObject* watched, QEvent* event)
{
    const bool key = event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease;
    if (event->type() == QEvent::FocusIn) {
        emit gainedFocus();
    } else if (key && !KeyFromEditor(static_cast<QWidget*>(watched))) {
        auto* list = static_cast<QAbstractItemView*>(watched);
        const int pressed = static_cast<QKeyEvent*>(event)->key();
        if (event->type() == QEvent::KeyRelease) {
            if (pressed != Qt::Key_Delete)
                return false;
            Defer([this] { emit commandRequested(CommandId::Delete); });
            return true;
        }
        switch (pressed) {
        case Qt::Key_Backspace:
            if (session.Connected())
                Defer([this] { navigator.UpOneLevel(); });
            else
                Prompter().Beep();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter: Defer([this] { OpenSelectedItem(); }); return true;
        case Qt::Key_F2:
            // The name of the current item, whichever cell of its row is current.
            if (const QModelIndex current = list->currentIndex(); current.isValid())
                list->edit(current.siblingAtColumn(kName));
            return true;
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
