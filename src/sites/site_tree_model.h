// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSiteTreeModel: the site store as an item model for the site tree; one column, the node's name
// and the icon of its kind. An index carries its node's id, so that it stays valid for as long as
// the node is there.

#include "sites/profiles/site_store.h"

#include <QAbstractItemModel>

class CSiteTreeModel final : public QAbstractItemModel, private SiteStoreObserver {
    Q_OBJECT

public:
    explicit CSiteTreeModel(SiteStore& store, QObject* parent = nullptr);
    ~CSiteTreeModel() override;

    QModelIndex IndexOf(SiteNodeId id) const;
    static SiteNodeId IdOf(const QModelIndex& index) { return index.isValid() ? index.internalId() : kRootNode; }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void BeginInsert(SiteNodeId parent, std::size_t row, std::size_t count) override;
    void EndInsert() override;
    void BeginRemove(SiteNodeId parent, std::size_t row) override;
    void EndRemove() override;
    void BeginReorder() override;
    void EndReorder() override;
    void Renamed(SiteNodeId id) override;

    SiteStore& store;
    QList<SiteNodeId> reordered;  // the nodes of the persistent indexes while the groups are sorted
};
