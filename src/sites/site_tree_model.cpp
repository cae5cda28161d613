// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/site_tree_model.h"

#include "sites/site_icons.h"

namespace {

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

}  // namespace

CSiteTreeModel::CSiteTreeModel(SiteStore& store, QObject* parent) : QAbstractItemModel(parent), store(store)
{
    store.SetObserver(this);
}

CSiteTreeModel::~CSiteTreeModel()
{
    store.SetObserver(nullptr);
}

QModelIndex CSiteTreeModel::IndexOf(SiteNodeId id) const
{
    if (id == kRootNode || !store.Node(id))
        return {};
    return createIndex(static_cast<int>(store.RowOf(id)), 0, id);
}

QModelIndex CSiteTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    const std::vector<SiteNodeId>& children = store.Children(IdOf(parent));
    if (row < 0 || column != 0 || static_cast<std::size_t>(row) >= children.size())
        return {};
    return createIndex(row, 0, children[static_cast<std::size_t>(row)]);
}

QModelIndex CSiteTreeModel::parent(const QModelIndex& child) const
{
    return IndexOf(store.ParentOf(IdOf(child)));
}

int CSiteTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    return static_cast<int>(store.Children(IdOf(parent)).size());
}

int CSiteTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant CSiteTreeModel::data(const QModelIndex& index, int role) const
{
    const SiteNode* node = store.Node(IdOf(index));
    if (!node || !index.isValid())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return QString::fromStdString(node->name);
    case Qt::DecorationRole: return ImageForKind(node->kind);
    default: return {};
    }
}

Qt::ItemFlags CSiteTreeModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable : Qt::NoItemFlags;
}

void CSiteTreeModel::BeginInsert(SiteNodeId parent, std::size_t row, std::size_t count)
{
    beginInsertRows(IndexOf(parent), static_cast<int>(row), static_cast<int>(row + count - 1));
}

void CSiteTreeModel::EndInsert()
{
    endInsertRows();
}

void CSiteTreeModel::BeginRemove(SiteNodeId parent, std::size_t row)
{
    beginRemoveRows(IndexOf(parent), static_cast<int>(row), static_cast<int>(row));
}

void CSiteTreeModel::EndRemove()
{
    endRemoveRows();
}

void CSiteTreeModel::BeginReorder()
{
    emit layoutAboutToBeChanged();
    reordered.clear();
    for (const QModelIndex& index : persistentIndexList())
        reordered.push_back(IdOf(index));
}

void CSiteTreeModel::EndReorder()
{
    QModelIndexList moved;
    for (const SiteNodeId id : reordered)
        moved.push_back(IndexOf(id));
    changePersistentIndexList(persistentIndexList(), moved);
    emit layoutChanged();
}

void CSiteTreeModel::Renamed(SiteNodeId id)
{
    const QModelIndex index = IndexOf(id);
    emit dataChanged(index, index);
}
