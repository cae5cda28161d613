// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/site_tree.h"

#include "remote/remote_session.h"
#include "sites/confirm_delete_dialog.h"
#include "sites/name_rules.h"
#include "sites/profiles/profile_store.h"
#include "sites/site_tree_model.h"
#include "ui/prompter.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace {

// In-place label edits are handed to the tree, which decides whether the new text stays; the
// model is never written directly.
class LabelEditDelegate final : public QStyledItemDelegate {
public:
    explicit LabelEditDelegate(CSiteTree* tree) : QStyledItemDelegate(tree), tree(tree) {}

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        if (const auto* edit = qobject_cast<QLineEdit*>(editor); edit && index.isValid())
            tree->LabelEdited(CSiteTreeModel::IdOf(index), edit->text());
    }

private:
    CSiteTree* tree;
};

}  // namespace

CSiteTree::CSiteTree(const RemoteSession& session, std::string directory, QWidget* parent,
                     std::unique_ptr<KeyringStore> keyring)
    : QTreeView(parent)
    , passwords(keyring ? std::move(keyring) : std::make_unique<QtKeychainStore>())
    , items(new CSiteTreeModel(store, this))
    , session(session)
    , directory(std::move(directory))
{
    setModel(items);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setItemDelegate(new LabelEditDelegate(this));
    store.SetProfilesChanged([this] { ProfilesChanged(); });

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this](const QItemSelection& selected) {
        if (selected.indexes().isEmpty())
            return;
        // A click on a collapsed item only selects it; the current item is shown already.
        const QModelIndex index = selected.indexes().first();
        const SiteNodeId id = CSiteTreeModel::IdOf(index);
        if (id != store.Current() && isExpanded(index) && OpensWithoutConnecting(id))
            Activate(id);
    });
    // Opening an item expands it; Qt's own toggle on a double-click would close it again.
    setExpandsOnDoubleClick(false);
    connect(this, &QTreeView::doubleClicked, this, [this] { Activate(SelectedNode()); });
    connect(items, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex& parent, int first) { ShowAddedDirectories(parent, first); });
}

CSiteTree::~CSiteTree()
{
    Shutdown();
}

void CSiteTree::InitialUpdate()
{
    if (loaded)
        return;
    LoadSiteProfiles(store, directory, true, &unreadable);
    loaded = true;
    store.SetCurrent(kRootNode);
    if (unreadable.empty())
        passwords.Start(store, [this] { SaveProfiles(); });
    else
        Prompter().Inform(this,
                          QStringLiteral("The site profiles could not be read (%1). Changes to the sites will "
                                         "not be saved in this run, so that the file stays as it is.")
                              .arg(QString::fromStdString(unreadable)));
}

void CSiteTree::Shutdown()
{
    // A tree that never read the file, or could not, must not overwrite it.
    if (!loaded)
        return;
    loaded = false;
    store.Remove(store.FindGroup(kQuickConnectGroup));
    if (unreadable.empty())
        SaveProfiles();
}

bool CSiteTree::SaveProfiles(std::string* failure)
{
    passwords.Follow();
    return SaveSiteProfiles(store, directory, failure, passwords.Held());
}

void CSiteTree::ProfilesChanged()
{
    // Loading the file changes nothing that needs saving.
    if (!loaded)
        return;
    changedInRun = true;
    std::string failure;
    if (unreadable.empty() && !SaveProfiles(&failure))
        Prompter().Inform(
            this, QStringLiteral("The site profiles could not be saved (%1).").arg(QString::fromStdString(failure)));
}

QModelIndex CSiteTree::IndexOf(SiteNodeId id) const
{
    return items->IndexOf(id);
}

SiteNodeId CSiteTree::SelectedNode() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? kRootNode : CSiteTreeModel::IdOf(selected.first());
}

bool CSiteTree::RenameItem(SiteNodeId id, const std::string& newName)
{
    if (store.KindOf(id) == kItemRemoteDirectory) {
        if (!view || !view->RenameDirectoryByName(store.Node(id)->name, newName))
            return false;
        store.Rename(id, newName);
        return true;
    }
    if (!RenameSiteOrGroup(this, store, id, newName))
        return false;
    if (view)
        view->RenameItemRow(id);
    return true;
}

void CSiteTree::DeleteSelected()
{
    const SiteNodeId id = SelectedNode();
    if (store.KindOf(id) != kItemGroup && store.KindOf(id) != kItemSite)
        return;
    CConfirmDeleteDialog confirm(DeleteQuestion({store.Node(id)->name}), this);
    if (Prompter().Exec(confirm) != QDialog::Accepted)
        return;
    std::string path;
    const SiteNodeId site = store.SiteAndPath(store.Current(), &path);
    if (site != kRootNode && session.Connected() && store.Node(site)->profile.host == session.Login().host) {
        if (view)
            view->Disconnect(true);
        if (session.Connected())
            return;
    }
    store.Remove(id);
    if (view)
        view->RefreshAfterTreeChange();
}

bool CSiteTree::LabelEdited(SiteNodeId id, const QString& text)
{
    if (text.isEmpty()) {
        Prompter().Inform(this, QStringLiteral("You must have a name, can't you see it's important."));
        return false;
    }
    switch (store.KindOf(id)) {
    case kItemGroup:
    case kItemSite: return RenameItem(id, text.toStdString());
    default:
        Prompter().Inform(this,
                          QStringLiteral("To change a directory name, select it in the main view and choose rename."));
        return false;
    }
}

int CSiteTree::NamesWidth() const
{
    const int scrollBar = verticalScrollBar()->isVisible() ? verticalScrollBar()->width() : 0;
    return sizeHintForColumn(0) + 2 * frameWidth() + scrollBar;
}

void CSiteTree::focusInEvent(QFocusEvent* event)
{
    QTreeView::focusInEvent(event);
    emit gainedFocus();
}

void CSiteTree::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        Activate(SelectedNode());
    else
        QTreeView::keyPressEvent(event);
}

void CSiteTree::HighlightCurrentItem()
{
    const SiteNodeId id = store.Current();
    if (id == highlighted)
        return;
    highlighted = id;
    if (id == kRootNode) {
        clearSelection();
        return;
    }
    setCurrentIndex(IndexOf(id));
    scrollTo(IndexOf(id));
}

bool CSiteTree::OpensWithoutConnecting(SiteNodeId id) const
{
    if (store.KindOf(id) == kItemGroup)
        return true;
    if (store.KindOf(id) != kItemRemoteDirectory || !session.Connected())
        return false;
    std::string path;
    const SiteNodeId site = store.SiteAndPath(id, &path);
    return site != kRootNode && store.Node(site)->profile.host == session.Login().host;
}

void CSiteTree::Activate(SiteNodeId id)
{
    if (id == kRootNode)
        return;
    store.SetCurrent(id);
    emit itemActivated(id);
    expand(IndexOf(id));
}

void CSiteTree::ShowAddedDirectories(const QModelIndex& parent, int first)
{
    if (store.KindOf(CSiteTreeModel::IdOf(items->index(first, 0, parent))) != kItemRemoteDirectory)
        return;
    expand(parent);
    expand(IndexOf(store.GroupAt(CSiteTreeModel::IdOf(parent))));
    scrollTo(parent);
}
