#include "browse/remote_view.h"

#include "browse/drag_out.h"
#include "browse/file_properties_dialog.h"
#include "browse/file_types.h"
#include "browse/listing_retrieval.h"
#include "browse/open_with_application.h"
#include "browse/permissions_dialog.h"
#include "ftp/background.h"
#include "ftp/exchange_result.h"
#include "ftp/ftp_session.h"
#include "ftp/protocol_rules.h"
#include "ftp/session_log.h"
#include "ftp/settings.h"
#include "sites/confirm_delete_dialog.h"
#include "sites/prompter.h"
#include "sites/session_profile_dialog.h"
#include "sites/site_icons.h"
#include "sites/site_properties_dialog.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kKindRole = Qt::UserRole;
constexpr int kRawNameRole = Qt::UserRole + 1;
constexpr int kTreeItemRole = Qt::UserRole + 2;  // the id of a group's or site's tree item

enum ProgramIconNumber { kFallbackSiteIcon = 131, kFolderIcon = 132, kGroupIcon = 153 };
enum CommandNumber {
    kCommandOpen = 3402, kCommandConnectTo = 32779, kCommandDisconnect = 32780, kCommandNewSite = 32785,
    kCommandRename = 32804, kCommandDelete = 32812, kCommandProperties = 33005,
};

// How long a deferred action waits for the one before it to finish.
constexpr int kDeferRetryMilliseconds = 50;

const QString kDeleteQuestion =
    QStringLiteral("Are you sure you want to delete the selected item(s), they will be gone forever?");

// Changes the cursor to the wait cursor for as long as it lives.
class WaitCursor final {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

QString Shown(const std::string& raw)
{
    return QString::fromStdString(raw);
}

QIcon SiteIcon(const std::string& reference)
{
    QIcon icon;
    if (!reference.empty() && reference[0] >= '0' && reference[0] <= '9')
        icon = ProgramIcon(std::atoi(reference.c_str()));
    else
        icon = IconFromSpec(reference);
    return icon.isNull() ? ProgramIcon(kFallbackSiteIcon) : icon;
}

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

} // namespace

QString SizeColumnText(const std::string& size)
{
    std::size_t digits = 0;
    while (digits < size.size() && size[digits] >= '0' && size[digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 19)
        return {};
    const double bytes = std::stod(size.substr(0, digits));
    if (bytes < 1024.0) {
        const int count = static_cast<int>(bytes);
        return QString::number(count) + (count == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
    }
    static constexpr const char* kUnits[] = {"K", "M", "G"};
    double value = bytes / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 2) {
        value /= 1024.0;
        ++unit;
    }
    return QString::number(value, 'f', 1) + QLatin1String(kUnits[unit]);
}

CTessalinev3View::CTessalinev3View(CFtpSession& session, CSettings& settings, CSiteTree& tree,
                                   CurrentSiteIcon& currentSiteIcon, QWidget* parent)
    : QWidget(parent)
    , session(session)
    , settings(settings)
    , tree(tree)
    , currentSiteIcon(currentSiteIcon)
{
    model.setColumnCount(kColumnCount);
    model.setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Type"),
                                     QStringLiteral("Modified"), QStringLiteral("Permissions")});

    iconList = new DragOutList<QListView>([this] { DragOutSelected(); });
    iconList->setModel(&model);
    iconList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    iconList->setUniformItemSizes(false);

    detailsList = new DragOutList<QTreeView>([this] { DragOutSelected(); });
    detailsList->setModel(&model);
    detailsList->setSelectionModel(iconList->selectionModel());
    detailsList->setRootIsDecorated(false);
    detailsList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    detailsList->setSortingEnabled(false);
    detailsList->setDragEnabled(true);
    detailsList->header()->setSectionsClickable(false);
    const int widths[kColumnCount] = {180, 75, 85, 100, 85};
    for (int column = 0; column < kColumnCount; ++column)
        detailsList->setColumnWidth(column, widths[column]);

    for (QAbstractItemView* list : {static_cast<QAbstractItemView*>(iconList), static_cast<QAbstractItemView*>(detailsList)}) {
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
    tree.SetCurrentItem(nullptr);
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

void CTessalinev3View::ClearItems()
{
    model.removeRows(0, model.rowCount());
    selectedIndex = -1;
}

int CTessalinev3View::InsertSorted(const std::string& name, const QIcon& icon, int kind)
{
    // The list keeps its items in name order whatever order they arrive in.
    int row = 0;
    while (row < model.rowCount() && !SiteNameLess(name, NameAt(row)))
        ++row;
    QList<QStandardItem*> cells;
    auto* first = new QStandardItem(icon, Shown(name));
    first->setData(kind, kKindRole);
    first->setData(QByteArray::fromStdString(name), kRawNameRole);
    first->setEditable(true);
    cells << first;
    for (int column = 1; column < kColumnCount; ++column) {
        auto* cell = new QStandardItem;
        cell->setEditable(false);
        cells << cell;
    }
    model.insertRow(row, cells);
    return row;
}

void CTessalinev3View::ShowSites()
{
    WaitCursor busy;
    ClearItems();
    std::vector<CSiteTreeItem*> items =
        (!tree.currentItem || showRootsOnce) ? tree.RootItems() : tree.Children(tree.currentItem);
    showRootsOnce = false;
    for (const CSiteTreeItem* item : items) {
        const int row = item->kind == kItemGroup
            ? InsertSorted(item->name, ProgramIcon(kGroupIcon), kItemGroup)
            : InsertSorted(item->profile.name, SiteIcon(item->profile.icon), item->kind);
        model.item(row, kName)->setData(QVariant::fromValue(item->id), kTreeItemRole);
    }
}

void CTessalinev3View::AddListingEntry(const CDirEntry& entry)
{
    if (entry.name == "." || entry.name == "..")
        return;
    if (entry.isFile) {
        const int row = InsertSorted(entry.name, IconForFileName(entry.name), kItemRemoteFile);
        model.item(row, kType)->setText(TypeNameForExtension(entry.name));
        model.item(row, kSize)->setText(SizeColumnText(entry.size));
        model.item(row, kSize)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        model.item(row, kModified)->setText(Shown(entry.modified));
        model.item(row, kPermissions)->setText(Shown(entry.permissions));
        return;
    }
    const int row = InsertSorted(entry.name, ProgramIcon(kFolderIcon), kItemRemoteDirectory);
    model.item(row, kType)->setText(QStringLiteral("Folder"));
    model.item(row, kPermissions)->setText(Shown(entry.permissions));
    if (!quickConnectSession)
        tree.AddDirectoryNode(entry.name);
}

void CTessalinev3View::FillFromListing()
{
    WaitCursor busy;
    CListingReader reader(session);
    CDirEntry entry;
    for (ListingStep step = reader.OpenListing(entry); step == ListingStep::Entry; step = reader.NextListingEntry(entry))
        AddListingEntry(entry);
}

void CTessalinev3View::RefreshListing()
{
    ClearItems();
    FillFromListing();
}

void CTessalinev3View::RefreshAfterTreeChange()
{
    if (session.connected)
        RefreshListing();
    else
        ShowSites();
}

// --- Navigation -----------------------------------------------------------------------------

void CTessalinev3View::EnterDirectory(std::string name)
{
    WaitCursor busy;
    if (name.empty()) {
        const std::vector<int> rows = SelectedRows();
        if (!rows.empty())
            name = NameAt(rows.front());
    }
    const std::optional<int> changed = RunRemote([this, name] { return session.ChangeDirectory(name); });
    if (!changed)
        return;  // cancelled: the session is closed and the list stays as it is
    switch (*changed) {
    case kCompletion:
        RefreshListing();
        break;
    case kTransientNegative:
        Disconnect(false);
        Prompter().Inform(this, QStringLiteral("The connection was closed without me knowing about it, try logging on again."));
        break;
    default:
        break;  // refused: the list keeps the directory it shows
    }
}

void CTessalinev3View::OpenSelectedItem()
{
    const std::vector<int> rows = SelectedRows();
    if (!rows.empty())
        selectedIndex = rows.front();
    if (selectedIndex < 0 || selectedIndex >= model.rowCount())
        return;
    const std::string name = NameAt(selectedIndex);
    const int kind = KindAt(selectedIndex);
    if ((kind == kItemRemoteFile || kind == kItemRemoteDirectory) && !session.connected) {
        Prompter().Beep();  // listed before a cancel closed the session
        return;
    }
    // Sites and groups may share a name: the one the user chose is the one opened.
    if (CSiteTreeItem* chosen = TreeItemAt(selectedIndex))
        tree.SetCurrentItem(chosen);
    else
        tree.FindChildAndMakeCurrent(name);
    switch (kind) {
    case kItemGroup: ShowSites(); break;
    case kItemSite: ConnectSite(tree.CopyCurrentProfile()); break;
    case kItemRemoteDirectory: EnterDirectory(name); break;
    case kItemRemoteFile: OpenRemoteFile(name); break;
    default: break;
    }
}

void CTessalinev3View::OpenTreeItem()
{
    switch (CSiteTree::ItemKindOf(tree.currentItem)) {
    case kItemGroup:
        ShowSites();
        break;
    case kItemSite:
        ConnectSite(tree.CopyCurrentProfile());
        break;
    case kItemRemoteDirectory: {
        CSiteProfile site;
        std::string path;
        tree.SiteAndPathOfCurrent(&site, &path);
        navigatingToDirectory = true;
        GoToDirectoryNode(site, path, tree.CurrentItemText());
        navigatingToDirectory = false;
        break;
    }
    default:
        break;
    }
}

void CTessalinev3View::GoToDirectoryNode(const CSiteProfile& site, const std::string& path, const std::string& name)
{
    if (site.host != session.hostName) {
        QuitSession();
        quickConnectSession = false;
        ConnectSite(site);
    } else if (session.connected) {
        RunRemote([this] { return session.ChangeToRoot(); });
    } else {
        ConnectSite(site);
    }
    if (session.connected)
        EnterDirectory(path + name);
}

void CTessalinev3View::ConnectSite(CSiteProfile profile)
{
    if (profile.prompt) {
        CSessionProfileDialog dialog(settings.email, this);
        dialog.SetProfile(profile);
        if (Prompter().Exec(dialog) != QDialog::Accepted) {
            ReturnToParentOfCurrent();
            return;
        }
        dialog.ApplyTo(profile);
    }
    ConnectSiteWithoutPrompt(std::move(profile));
}

void CTessalinev3View::ConnectSiteWithoutPrompt(CSiteProfile profile)
{
    {
        std::lock_guard guard(session.operationStatus.lock);
        session.operationStatus.connectCancelled = 0;
    }
    if (quickConnectSession) {
        CSiteTreeItem* group = quickConnectGroupMade ? tree.FindGroupItem(kQuickConnectGroup) : nullptr;
        if (!group) {
            group = tree.AddGroupItem(kQuickConnectGroup);
            quickConnectGroupMade = true;
        }
        tree.SetCurrentItem(group);
        profile.name = profile.host;
        tree.AddSiteUnderCurrentGroup(profile);
    }
    ConnectProfile(profile);
    if (session.connected)
        return;
    bool cancelled = false;
    {
        std::lock_guard guard(session.operationStatus.lock);
        cancelled = session.operationStatus.connectCancelled != 0;
    }
    if (!session.interrupted && !cancelled)
        Prompter().Inform(this, QStringLiteral("There was a problem logging on to the site, please see the log window for details."));
    ReturnToParentOfCurrent();
}

void CTessalinev3View::ReturnToParentOfCurrent()
{
    CSiteTreeItem* parent = nullptr;
    tree.ParentKind(&parent);
    tree.SetCurrentItem(parent);
}

void CTessalinev3View::ConnectProfile(const CSiteProfile& profile)
{
    WaitCursor busy;
    std::string password = profile.password;
    if (profile.userId == "anonymous" && password.empty()) {
        if (settings.email.empty()) {
            Prompter().Inform(this, QStringLiteral("Please enter your e-mail address in the options dialog before "
                                                   "connecting to anonymous FTP sites. Thanks."));
            return;
        }
        password = settings.email;
    }
    if (!QuitSession()) {
        std::lock_guard guard(session.operationStatus.lock);
        session.operationStatus.connectCancelled = 1;
        return;
    }
    quickConnectSession = false;
    session.hostName = profile.host;
    session.encryption = profile.encryption;
    session.downloadDirectory = settings.defaultDownloadDirectory;
    session.userName = profile.userId;
    session.password = password;
    session.transferMode = static_cast<char>(settings.engine.transferMode.load());
    session.SetFirewall(settings.fireWallOn, settings.fireMode, settings.firePort, settings.fireHost,
                        settings.fireUserId, settings.firePassword);

    std::thread worker = StartConnectWorker(session);
    if (!WaitForWorker(session, worker, WaitKind::Connecting, profile.host)) {
        std::lock_guard guard(session.operationStatus.lock);
        session.operationStatus.connectCancelled = 1;
    }
    if (!session.connected)
        return;
    if (!profile.remoteDirectory.empty()) {
        tree.SetCurrentItem(tree.EnclosingSiteOrGroup());
        tree.AddDirectoryPath(profile.remoteDirectory);
        EnterDirectory(profile.remoteDirectory);
    } else if (!navigatingToDirectory) {
        RefreshListing();
    }
}

void CTessalinev3View::UpOneLevel()
{
    CSiteTreeItem* parent = nullptr;
    switch (tree.ParentKind(&parent)) {
    case kItemRemoteDirectory:
    case kItemSite:
        tree.SetCurrentItem(parent);
        EnterDirectory("..");
        break;
    case kItemGroup:
        // The current item is the site itself: the session is at its start directory.
        if (Prompter().Ask(this, QStringLiteral("You are at the root directory, are you sure you want to disconnect from ")
                                     + Shown(session.hostName),
                           QStringLiteral("Disconnect"))) {
            tree.SetCurrentItem(parent);
            QuitSession();
            ShowSites();
        }
        break;
    default:
        tree.SetCurrentItem(nullptr);
        ShowSites();
        break;
    }
}

void CTessalinev3View::Disconnect(bool ask)
{
    WaitCursor busy;
    if (!session.connected)
        return;
    if (ask && !Prompter().Ask(this, QStringLiteral("Are you sure you want to disconnect from ") + Shown(session.hostName)
                                         + QStringLiteral("?"),
                               QStringLiteral("Disconnect")))
        return;
    QuitSession();
    quickConnectSession = false;
    CSiteTreeItem* enclosing = tree.EnclosingSiteOrGroup();
    tree.SetCurrentItem(enclosing ? static_cast<CSiteTreeItem*>(enclosing->parent()) : nullptr);
    ShowSites();
}

void CTessalinev3View::OpenRemoteFile(const std::string& name)
{
    WaitCursor busy;
    // A name from the server must stay a name inside the download directory.
    if (!IsSafeLocalName(name)) {
        LogMessage("Skipped unsafe name %s", {name});
        return;
    }
    const std::string path = settings.defaultDownloadDirectory + name;
    if (::access(path.c_str(), R_OK) == 0) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        const bool overwrite = Prompter().Ask(
            this, QStringLiteral("File %1 already exists.\n Do you wish to overwrite it?").arg(Shown(path)),
            QStringLiteral("File Exists"));
        QApplication::restoreOverrideCursor();
        if (!overwrite)
            return;
    }
    // A failed download must not open what an earlier one left there.
    if (session.RetrieveFile(name, "") != kCompletion)
        return;
    if (!settings.viewOnDoubleClick)
        return;
    const int file = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (file < 0) {
        LogMessage("File does not exist %s (%u)", {path, errno});
        return;
    }
    ::close(file);
    OpenWithApplication(path, this);
}

void CTessalinev3View::DragOutSelected()
{
    std::vector<DraggedEntry> entries;
    for (const int row : SelectedRows()) {
        const int kind = KindAt(row);
        if (kind == kItemRemoteFile || kind == kItemRemoteDirectory)
            entries.push_back({NameAt(row), TextAt(row, kPermissions).toStdString(), kind == kItemRemoteDirectory});
    }
    if (!entries.empty())
        BeginDragOut(ActiveList(), session, std::move(entries));
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
    const QStandardItem* item = model.item(row, kName);
    return item ? item->data(kRawNameRole).toByteArray().toStdString() : std::string();
}

int CTessalinev3View::KindAt(int row) const
{
    const QStandardItem* item = model.item(row, kName);
    return item ? item->data(kKindRole).toInt() : 0;
}

QString CTessalinev3View::TextAt(int row, int column) const
{
    const QStandardItem* item = model.item(row, column);
    return item ? item->text() : QString();
}

int CTessalinev3View::RowNamed(const std::string& name) const
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (NameAt(row) == name)
            return row;
    }
    return -1;
}

void CTessalinev3View::SelectItemByName(const std::string& name)
{
    selectedIndex = RowNamed(name);
}

void CTessalinev3View::RenameRow(int row, const std::string& newName)
{
    QStandardItem* item = model.item(row, kName);
    item->setText(Shown(newName));
    item->setData(QByteArray::fromStdString(newName), kRawNameRole);
}

// --- Item commands ------------------------------------------------------------------------------

void CTessalinev3View::ShowItemMenu(const QPoint& position)
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    const QString name = TextAt(rows.front(), kName);
    QMenu menu(this);
    const auto add = [this, &menu](const QString& text, int command) {
        QAction* action = menu.addAction(text);
        connect(action, &QAction::triggered, this, [this, command] {
            Defer([this, command] {
                if (command == kCommandOpen || command == kCommandConnectTo)
                    OpenSelectedItem();
                else
                    emit commandRequested(command);
            });
        });
    };
    switch (KindAt(rows.front())) {
    case kItemRemoteFile:
    case kItemRemoteDirectory:
        add(QStringLiteral("&Open ") + name, kCommandOpen);
        menu.addSeparator();
        add(QStringLiteral("&Disconnect"), kCommandDisconnect);
        menu.addSeparator();
        add(QStringLiteral("&Delete"), kCommandDelete);
        add(QStringLiteral("Rena&me"), kCommandRename);
        menu.addSeparator();
        add(QStringLiteral("&Properties"), kCommandProperties);
        break;
    case kItemSite:
        add(QStringLiteral("&Connect to ") + name, kCommandConnectTo);
        add(QStringLiteral("&Disconnect"), kCommandDisconnect);
        menu.addSeparator();
        add(QStringLiteral("&Add Profile"), kCommandNewSite);
        add(QStringLiteral("&Delete ") + name, kCommandDelete);
        menu.addSeparator();
        add(QStringLiteral("&Properties for ") + name, kCommandProperties);
        break;
    case kItemGroup:
        add(QStringLiteral("Rena&me ") + name + QStringLiteral(" Group"), kCommandRename);
        add(QStringLiteral("&Delete ") + name + QStringLiteral(" Group"), kCommandDelete);
        break;
    default:
        return;
    }
    menu.exec(position);
}

void CTessalinev3View::DeleteSelected()
{
    CConfirmDeleteDialog confirm(kDeleteQuestion, this);
    if (Prompter().Exec(confirm) != QDialog::Accepted)
        return;
    bool remoteChange = false;
    // Rows are taken from the end, so removing a site or group row never shifts one still to come.
    std::vector<int> rows = SelectedRows();
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        const std::string name = NameAt(*row);
        const int kind = KindAt(*row);
        if (kind == kItemRemoteFile || kind == kItemRemoteDirectory) {
            const std::optional<int> deleted = RunRemote([this, kind, name] {
                return kind == kItemRemoteFile ? session.DeleteFile(name) : session.RemoveDirectory(name);
            });
            if (!deleted)
                break;  // cancelled: the session is closed, the rest stays
            if (*deleted == kCompletion)
                remoteChange = true;
            else
                Prompter().Inform(this, kind == kItemRemoteFile ? QStringLiteral("Error deleting file")
                                                                : QStringLiteral("Error deleting directory"));
            continue;
        }
        tree.DeleteSiteOrGroup(TreeItemAt(*row));
        model.removeRow(*row);
    }
    if (session.connected && remoteChange)
        RefreshListing();
}

void CTessalinev3View::RenameSelected(const std::string& newName)
{
    const std::vector<int> rows = SelectedRows();
    if (!rows.empty())
        RenameItemAt(rows.front(), newName);
}

void CTessalinev3View::RenameEdited(const QPersistentModelIndex& item, const QString& text)
{
    Defer([this, item, newName = text.toStdString()] {
        if (item.isValid())
            RenameItemAt(item.row(), newName);
    });
}

void CTessalinev3View::RenameItemAt(int row, const std::string& newName)
{
    // An empty name, or the one the item has (also as shown, for a name that is not UTF-8), is
    // no rename.
    const std::string oldName = NameAt(row);
    if (newName.empty() || newName == oldName || Shown(newName) == TextAt(row, kName))
        return;
    const auto renameRemote = [this, &oldName, &newName] {
        return RunRemote([this, oldName, newName] { return session.RenameFile(oldName, newName); }) == 1;
    };
    switch (KindAt(row)) {
    case kItemRemoteFile:
        if (renameRemote())
            RenameRow(row, newName);
        break;
    case kItemRemoteDirectory:
        if (renameRemote()) {
            tree.DeleteChildByName(oldName);
            RefreshListing();
        }
        break;
    case kItemSite:
    case kItemGroup:
        tree.RenameItem(TreeItemAt(row), newName);  // renames the row too, unless the name is refused
        break;
    default:
        break;
    }
}

void CTessalinev3View::RenameItemRow(const CSiteTreeItem& item)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (TreeItemAt(row) == &item)
            RenameRow(row, item.name);
    }
}

CSiteTreeItem* CTessalinev3View::TreeItemAt(int row) const
{
    const QStandardItem* item = model.item(row, kName);
    const QVariant id = item ? item->data(kTreeItemRole) : QVariant();
    return id.isValid() ? tree.ItemWithId(id.value<std::uint64_t>()) : nullptr;
}

bool CTessalinev3View::RenameDirectoryByName(const std::string& oldName, const std::string& newName)
{
    const int row = RowNamed(oldName);
    if (row < 0 || RunRemote([this, oldName, newName] { return session.RenameFile(oldName, newName); }) != 1)
        return false;
    tree.DeleteChildByName(oldName);
    RefreshListing();
    return true;
}

void CTessalinev3View::ShowProperties()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    const int row = rows.front();
    const std::string name = NameAt(row);
    const int kind = KindAt(row);
    if (kind == kItemRemoteFile || kind == kItemRemoteDirectory) {
        if (rows.size() != 1) {
            Prompter().Inform(this, QStringLiteral("Properties can only be viewed for one item at a time."));
            return;
        }
        CSiteProfile site;
        std::string path;
        int currentKind = 0;
        tree.SiteAndPathWithCurrent(&site, &path, &currentKind);
        const QString location = Shown(site.name) + QStringLiteral("/") + (quickConnectSession ? QString() : Shown(path));
        CFilePropertiesDialog dialog(TextAt(row, kName), TextAt(row, kSize), TextAt(row, kType),
                                     TextAt(row, kModified), location, this);
        if (Prompter().Exec(dialog) == QDialog::Accepted && dialog.NameChanged())
            RunRemote([this, name, newName = dialog.EditedName().toStdString()] { return session.RenameFile(name, newName); });
        return;
    }
    if (kind != kItemSite)
        return;
    CSiteTreeItem* site = TreeItemAt(row);
    if (!site)
        return;
    CSiteProfile profile = site->profile;
    currentSiteIcon.reference = profile.icon.empty() ? std::string("Tessaline.exe, 33") : profile.icon;
    currentSiteIcon.image = SiteIcon(currentSiteIcon.reference);
    CSitePropertiesDialog dialog(currentSiteIcon, settings.email, this);
    dialog.SetProfile(profile);
    if (Prompter().Exec(dialog) != QDialog::Accepted)
        return;
    dialog.ApplyTo(profile);
    profile.icon = currentSiteIcon.reference;
    tree.ReplaceSite(site, profile);
    RenameRow(row, profile.name);
    model.item(row, kName)->setIcon(SiteIcon(profile.icon));
    if (dialog.closeAction == CSitePropertiesDialog::kSaveConnect) {
        selectedIndex = row;
        tree.SetCurrentItem(site);
        ConnectSiteWithoutPrompt(site->profile);
    }
}

void CTessalinev3View::SetPermissionsOfSelected()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    CPermissionsDialog dialog(TextAt(rows.front(), kPermissions), this);
    if (Prompter().Exec(dialog) != QDialog::Accepted)
        return;
    const std::string mode = dialog.ModeText().toStdString();
    for (const int row : rows) {
        const std::optional<int> set = RunRemote([this, mode, name = NameAt(row)] { return session.SetPermissions(mode, name); });
        if (!set)
            break;  // cancelled: the session is closed
        if (*set != kCompletion)
            Prompter().Inform(this, QStringLiteral("Error setting permissions"));
    }
}

void CTessalinev3View::MakeRemoteDirectory(const std::string& name)
{
    // The new directory shows up in a fresh listing.
    if (RunRemote([this, name] { return session.MakeDirectory(name); }))
        RefreshListing();
}

std::optional<int> CTessalinev3View::RunRemote(std::function<int()> command)
{
    return RunRemoteCommand(session, std::move(command));
}

bool CTessalinev3View::QuitSession()
{
    return RunRemote([this] { return session.Quit(); }).has_value();
}

void CTessalinev3View::Defer(std::function<void()> action)
{
    QTimer::singleShot(0, this, [this, action = std::move(action)]() mutable {
        // An action that waits in a dialog lets the event loop run: the next one waits its turn.
        if (deferredRunning) {
            QTimer::singleShot(kDeferRetryMilliseconds, this, [this, action = std::move(action)]() mutable {
                Defer(std::move(action));
            });
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
            Defer([this] { emit commandRequested(kCommandDelete); });
            return true;
        }
        switch (pressed) {
        case Qt::Key_Backspace:
            if (session.connected)
                Defer([this] { UpOneLevel(); });
            else
                Prompter().Beep();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Defer([this] { OpenSelectedItem(); });
            return true;
        case Qt::Key_F2:
            // The name of the current item, whichever cell of its row is current.
            if (const QModelIndex current = list->currentIndex(); current.isValid())
                list->edit(current.siblingAtColumn(kName));
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}
