// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/site_tree.h"

#include "remote/remote_session.h"
#include "sites/confirm_delete_dialog.h"
#include "sites/name_rules.h"
#include "sites/site_icons.h"
#include "ui/prompter.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyledItemDelegate>

#include <algorithm>
#include <set>

namespace {

std::uint64_t NextItemId()
{
    static std::uint64_t last = 0;
    return ++last;
}

enum TreeImageIndex { kClosedFolder = 0, kOpenFolder = 1, kComputer = 2, kGlobeFolder = 3 };

QIcon ImageForKind(int kind)
{
    if (kind == kItemGroup)
        return TreeImage(kGlobeFolder);
    if (kind == kItemSite)
        return TreeImage(kComputer);
    // A directory shows an open folder while it is selected.
    QIcon folder = TreeImage(kClosedFolder);
    for (const QSize& size : TreeImage(kOpenFolder).availableSizes())
        folder.addPixmap(TreeImage(kOpenFolder).pixmap(size), QIcon::Selected);
    return folder;
}

// In-place label edits are handed to the tree, which decides whether the new text stays; the
// model is never written directly.
class LabelEditDelegate final : public QStyledItemDelegate {
public:
    explicit LabelEditDelegate(CSiteTree* tree) : QStyledItemDelegate(tree), tree(tree) {}

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        const auto* edit = qobject_cast<QLineEdit*>(editor);
        auto* item = static_cast<CSiteTreeItem*>(tree->itemFromIndex(index));
        if (edit && item)
            tree->LabelEdited(item, edit->text());
    }

private:
    CSiteTree* tree;
};

}  // namespace

CSiteTreeItem::CSiteTreeItem(int kind, const std::string& name) : id(NextItemId()), kind(kind), name(name)
{
    setText(0, QString::fromStdString(name));
    setIcon(0, ImageForKind(kind));
    setFlags(flags() | Qt::ItemIsEditable);
}

CSiteTree::CSiteTree(const RemoteSession& session, std::string directory, QWidget* parent)
    : QTreeWidget(parent)
    , session(session)
    , directory(std::move(directory))
{
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setIconSize(QSize(16, 16));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setItemDelegate(new LabelEditDelegate(this));

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this](const QItemSelection& selected) {
        if (selected.indexes().isEmpty())
            return;
        // A click on a collapsed item only selects it; the current item is shown already.
        auto* item = static_cast<CSiteTreeItem*>(itemFromIndex(selected.indexes().first()));
        if (item && item != currentItem && item->isExpanded() && OpensWithoutConnecting(item))
            OpenItem(item);
    });
    connect(this, &QTreeWidget::itemDoubleClicked, this, &CSiteTree::OpenSelectedItem);
}

CSiteTree::~CSiteTree()
{
    Shutdown();
}

void CSiteTree::InitialUpdate()
{
    if (loaded)
        return;
    LoadSiteProfiles(*this, directory, true, &unreadable);
    loaded = true;
    currentItem = nullptr;
    if (!unreadable.empty())
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
    RemoveQuickConnectGroup();
    if (unreadable.empty())
        SaveSiteProfiles(*this, directory);
}

void CSiteTree::ProfilesChanged()
{
    // Loading the file changes nothing that needs saving.
    if (!loaded)
        return;
    changedInRun = true;
    std::string failure;
    if (unreadable.empty() && !SaveSiteProfiles(*this, directory, &failure))
        Prompter().Inform(
            this, QStringLiteral("The site profiles could not be saved (%1).").arg(QString::fromStdString(failure)));
}

// --- The profile store's view ----------------------------------------------------------------

bool CSiteTree::FindGroup(const std::string& name) const
{
    return FindGroupItem(name) != nullptr;
}

void CSiteTree::AddGroup(const std::string& name)
{
    AddGroupItem(name);
}

void CSiteTree::InsertSite(const std::string& group, const CSiteProfile& profile)
{
    CSiteTreeItem* groupItem = FindGroupItem(group);
    if (!groupItem)
        return;
    auto* site = new CSiteTreeItem(kItemSite, profile.name);
    site->profile = profile;
    site->profile.kind = kItemSite;
    InsertSorted(groupItem, site);
    lastInserted = site;
}

void CSiteTree::SortGroups()
{
    // Taking items out of the tree forgets which were open; they are opened again afterwards.
    std::vector<CSiteTreeItem*> groups = RootItems();
    std::set<QTreeWidgetItem*> expanded;
    for (QTreeWidgetItemIterator it(this); *it; ++it) {
        if ((*it)->isExpanded())
            expanded.insert(*it);
    }
    std::stable_sort(groups.begin(), groups.end(),
                     [](const CSiteTreeItem* a, const CSiteTreeItem* b) { return SiteNameLess(a->name, b->name); });
    if (std::equal(groups.begin(), groups.end(), RootItems().begin()))
        return;
    const bool selectionBlocked = blockSignals(true);
    const QList<QTreeWidgetItem*> selected = selectedItems();
    while (topLevelItemCount() > 0)
        takeTopLevelItem(0);
    for (CSiteTreeItem* group : groups)
        addTopLevelItem(group);
    for (QTreeWidgetItem* item : expanded)
        item->setExpanded(true);
    for (QTreeWidgetItem* item : selected)
        item->setSelected(true);
    blockSignals(selectionBlocked);
}

std::vector<ProfileTree::Group> CSiteTree::Groups() const
{
    std::vector<Group> groups;
    for (const CSiteTreeItem* item : RootItems()) {
        Group group;
        group.name = item->name;
        group.childCount = static_cast<std::size_t>(item->childCount());
        for (const CSiteTreeItem* child : Children(item)) {
            if (child->kind == kItemSite)
                group.sites.push_back(child->profile);
        }
        groups.push_back(std::move(group));
    }
    return groups;
}

// --- Operations ------------------------------------------------------------------------------

CSiteTreeItem* CSiteTree::AddGroupItem(const std::string& name)
{
    auto* group = new CSiteTreeItem(kItemGroup, name);
    addTopLevelItem(group);
    SortGroups();
    ProfilesChanged();
    return group;
}

CSiteTreeItem* CSiteTree::FindGroupItem(const std::string& name) const
{
    return ChildNamed(nullptr, name);
}

void CSiteTree::AddSiteUnderCurrentGroup(CSiteProfile profile)
{
    // A site stands for its group.
    if (currentItem && currentItem->parent())
        currentItem = static_cast<CSiteTreeItem*>(currentItem->parent());
    profile.group = CurrentItemText();
    lastInserted = nullptr;
    AddSiteToGroup(*this, profile);
    if (!lastInserted)
        return;
    currentItem = lastInserted;
    SortGroups();
    clearSelection();
    lastInserted->setSelected(true);
    ProfilesChanged();
}

void CSiteTree::RemoveQuickConnectGroup()
{
    if (CSiteTreeItem* group = FindGroupItem(kQuickConnectGroup))
        DeleteItem(group);
}

int CSiteTree::ItemKindOf(const CSiteTreeItem* item)
{
    return item ? item->kind : 0;
}

CSiteProfile CSiteTree::CopyCurrentProfile() const
{
    return currentItem ? currentItem->profile : CSiteProfile();
}

CSiteTreeItem* CSiteTree::ItemWithId(std::uint64_t id) const
{
    for (QTreeWidgetItemIterator it(const_cast<CSiteTree*>(this)); *it; ++it) {
        auto* item = static_cast<CSiteTreeItem*>(*it);
        if (item->id == id)
            return item;
    }
    return nullptr;
}

void CSiteTree::ReplaceSite(CSiteTreeItem* site, const CSiteProfile& profile)
{
    if (!site || site->kind != kItemSite)
        return;
    site->profile = profile;
    site->name = profile.name;
    site->setText(0, QString::fromStdString(profile.name));
    ProfilesChanged();
}

bool CSiteTree::RenameItem(CSiteTreeItem* item, const std::string& newName)
{
    if (!item)
        return false;
    const auto rename = [item, &newName] {
        item->name = newName;
        item->setText(0, QString::fromStdString(newName));
    };
    switch (item->kind) {
    case kItemSite:
        if (newName != item->name && !AcceptSiteName(this, newName))
            return false;
        item->profile.name = newName;
        rename();
        break;
    case kItemGroup:
        // The group's sites take the new name when the file is written.
        if (newName != item->name && !AcceptGroupName(this, newName))
            return false;
        rename();
        break;
    case kItemRemoteDirectory: {
        const std::string oldName = item->name;
        if (!view || !view->RenameDirectoryByName(oldName, newName))
            return false;
        rename();
        return true;
    }
    default: return false;
    }
    ProfilesChanged();
    if (view)
        view->RenameItemRow(*item);
    return true;
}

void CSiteTree::FindChildAndMakeCurrent(const std::string& name)
{
    if (CSiteTreeItem* item = ChildNamed(currentItem, name))
        currentItem = item;
}

void CSiteTree::DeleteChildByName(const std::string& name)
{
    if (CSiteTreeItem* item = ChildNamed(currentItem, name))
        DeleteItem(item);
}

void CSiteTree::DeleteSiteOrGroup(CSiteTreeItem* item)
{
    if (!item || (item->kind != kItemGroup && item->kind != kItemSite))
        return;
    DeleteItem(item);
    ProfilesChanged();
}

CSiteTreeItem* CSiteTree::EnclosingSiteOrGroup() const
{
    for (QTreeWidgetItem* item = currentItem; item; item = item->parent()) {
        const int kind = static_cast<CSiteTreeItem*>(item)->kind;
        if (kind == kItemSite || kind == kItemGroup)
            return static_cast<CSiteTreeItem*>(item);
    }
    return nullptr;
}

CSiteTreeItem* CSiteTree::GroupAncestor() const
{
    for (QTreeWidgetItem* item = currentItem; item; item = item->parent()) {
        if (static_cast<CSiteTreeItem*>(item)->kind == kItemGroup)
            return static_cast<CSiteTreeItem*>(item);
    }
    return nullptr;
}

int CSiteTree::ParentKind(CSiteTreeItem** parent) const
{
    *parent = currentItem ? static_cast<CSiteTreeItem*>(currentItem->parent()) : nullptr;
    if (!*parent)
        return kNoParent;
    switch ((*parent)->kind) {
    case kItemRemoteFile:
    case kItemRemoteDirectory: return kItemRemoteDirectory;
    case kItemGroup: return kItemGroup;
    default: return kItemSite;
    }
}

CSiteTreeItem* CSiteTree::AddDirectoryNode(const std::string& name)
{
    if (!currentItem)
        return nullptr;
    if (CSiteTreeItem* existing = ChildNamed(currentItem, name))
        return existing;
    auto* node = new CSiteTreeItem(kItemRemoteDirectory, name);
    currentItem->addChild(node);
    currentItem->setExpanded(true);
    if (CSiteTreeItem* group = GroupAncestor())
        group->setExpanded(true);
    scrollToItem(currentItem);
    return node;
}

void CSiteTree::AddDirectoryNodes(const std::vector<std::string>& names)
{
    if (!currentItem)
        return;
    std::set<std::string> known;
    for (int i = 0; i < currentItem->childCount(); ++i)
        known.insert(static_cast<CSiteTreeItem*>(currentItem->child(i))->name);
    QList<QTreeWidgetItem*> added;
    for (const std::string& name : names) {
        if (known.insert(name).second)
            added.push_back(new CSiteTreeItem(kItemRemoteDirectory, name));
    }
    if (added.isEmpty())
        return;
    currentItem->addChildren(added);
    currentItem->setExpanded(true);
    if (CSiteTreeItem* group = GroupAncestor())
        group->setExpanded(true);
    scrollToItem(currentItem);
}

void CSiteTree::AddDirectoryPath(const std::string& path)
{
    // An absolute path begins with an empty component: the root directory.
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string component =
            path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (CSiteTreeItem* node = AddDirectoryNode(component))
            currentItem = node;
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
}

bool CSiteTree::SiteAndPathOfCurrent(CSiteProfile* profile, std::string* path) const
{
    path->clear();
    std::vector<std::string> between;
    for (QTreeWidgetItem* item = currentItem; item; item = item->parent()) {
        auto* node = static_cast<CSiteTreeItem*>(item);
        if (node->kind == kItemSite) {
            *profile = node->profile;
            for (auto it = between.rbegin(); it != between.rend(); ++it)
                *path += *it + "/";
            return true;
        }
        if (node != currentItem)
            between.push_back(node->name);
    }
    return false;
}

CSiteTreeItem* CSiteTree::SiteAndPathWithCurrent(CSiteProfile* profile, std::string* path, int* kind) const
{
    path->clear();
    *kind = ItemKindOf(currentItem);
    std::vector<std::string> names;
    CSiteTreeItem* site = nullptr;
    for (QTreeWidgetItem* item = currentItem; item; item = item->parent()) {
        auto* node = static_cast<CSiteTreeItem*>(item);
        if (node->kind == kItemSite && !site) {
            site = node;
            *profile = node->profile;
        } else if (!site && node->kind == kItemRemoteDirectory) {
            names.push_back(node->name);
        }
    }
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        *path += *it + "/";
    return site;
}

std::string CSiteTree::CurrentItemText() const
{
    return currentItem ? currentItem->name : std::string();
}

std::vector<CSiteTreeItem*> CSiteTree::RootItems() const
{
    std::vector<CSiteTreeItem*> items;
    for (int i = 0; i < topLevelItemCount(); ++i)
        items.push_back(static_cast<CSiteTreeItem*>(topLevelItem(i)));
    return items;
}

std::vector<CSiteTreeItem*> CSiteTree::Children(const CSiteTreeItem* item) const
{
    if (!item)
        return RootItems();
    std::vector<CSiteTreeItem*> items;
    for (int i = 0; i < item->childCount(); ++i)
        items.push_back(static_cast<CSiteTreeItem*>(item->child(i)));
    return items;
}

// --- User actions ----------------------------------------------------------------------------

bool CSiteTree::HasSelection() const
{
    return !selectedItems().isEmpty();
}

void CSiteTree::DeleteSelected()
{
    CConfirmDeleteDialog confirm(
        QStringLiteral("Are you sure you want to delete the selected item(s), they will be gone forever?"), this);
    if (Prompter().Exec(confirm) != QDialog::Accepted)
        return;
    const QList<QTreeWidgetItem*> selected = selectedItems();
    auto* item = selected.isEmpty() ? nullptr : static_cast<CSiteTreeItem*>(selected.first());
    if (!item || (item->kind != kItemGroup && item->kind != kItemSite))
        return;
    CSiteProfile site;
    std::string path;
    if (SiteAndPathOfCurrent(&site, &path) && session.Connected() && site.host == session.Login().host) {
        if (view)
            view->Disconnect(true);
        if (session.Connected())
            return;
    }
    DeleteItem(item);
    ProfilesChanged();
    if (view)
        view->RefreshAfterTreeChange();
}

bool CSiteTree::LabelEdited(CSiteTreeItem* item, const QString& text)
{
    if (text.isEmpty()) {
        Prompter().Inform(this, QStringLiteral("You must have a name, can't you see it's important."));
        return false;
    }
    switch (item->kind) {
    case kItemGroup:
    case kItemSite: return RenameItem(item, text.toStdString());
    default:
        Prompter().Inform(this,
                          QStringLiteral("To change a directory name, select it in the main view and choose rename."));
        return false;
    }
}

void CSiteTree::focusInEvent(QFocusEvent* event)
{
    QTreeWidget::focusInEvent(event);
    emit gainedFocus();
}

void CSiteTree::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        OpenSelectedItem();
    else
        QTreeWidget::keyPressEvent(event);
}

void CSiteTree::HighlightCurrentItem()
{
    const std::uint64_t id = currentItem ? currentItem->id : 0;
    if (id == highlightedId)
        return;
    highlightedId = id;
    if (!currentItem) {
        clearSelection();
        return;
    }
    QTreeWidget::setCurrentItem(currentItem);
    scrollToItem(currentItem);
}

void CSiteTree::OpenSelectedItem()
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    if (!selected.isEmpty())
        OpenItem(static_cast<CSiteTreeItem*>(selected.first()));
}

bool CSiteTree::OpensWithoutConnecting(const CSiteTreeItem* item) const
{
    if (item->kind == kItemGroup)
        return true;
    if (item->kind != kItemRemoteDirectory || !session.Connected())
        return false;
    const QTreeWidgetItem* up = item;
    while (up && static_cast<const CSiteTreeItem*>(up)->kind != kItemSite)
        up = up->parent();
    return up && static_cast<const CSiteTreeItem*>(up)->profile.host == session.Login().host;
}

void CSiteTree::OpenItem(CSiteTreeItem* item)
{
    currentItem = item;
    if (view) {
        view->SelectItemByName(item->name);
        view->OpenTreeItem();
    }
}

void CSiteTree::DeleteItem(CSiteTreeItem* item)
{
    // The current item must not outlive the branch it belongs to.
    for (QTreeWidgetItem* up = currentItem; up; up = up->parent()) {
        if (up == item) {
            currentItem = static_cast<CSiteTreeItem*>(item->parent());
            break;
        }
    }
    delete item;
}

CSiteTreeItem* CSiteTree::ChildNamed(const CSiteTreeItem* parent, const std::string& name) const
{
    for (CSiteTreeItem* child : Children(parent)) {
        if (child->name == name)
            return child;
    }
    return nullptr;
}

void CSiteTree::InsertSorted(QTreeWidgetItem* parent, CSiteTreeItem* item)
{
    int index = 0;
    while (index < parent->childCount()
           && !SiteNameLess(item->name, static_cast<CSiteTreeItem*>(parent->child(index))->name))
        ++index;
    parent->insertChild(index, item);
}
