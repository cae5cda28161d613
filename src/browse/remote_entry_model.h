// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CRemoteEntryModel: what the main view lists, one row per group, site or remote entry. Directories
// come before files; within each, the rows follow the column the user sorted by (the name unless
// a header was clicked), in either direction, for the rest of the run. A listing arrives whole, is
// sorted once and replaces the rows in one reset, so the four view styles (views on this one
// model) lay out a directory of any size once.

#include "remote/dir_entry.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

struct CRemoteRow {
    std::string name;  // raw bytes, as the server or the profile file has it
    QIcon icon;
    int kind = 0;                  // kItemGroup, kItemSite, kItemRemoteDirectory, kItemRemoteFile
    std::uint64_t treeItemId = 0;  // a group's or site's tree item; 0 for remote entries
    QString size;
    QString type;
    QString modified;     // local time, or as the listing wrote it
    QString modifiedUtc;  // the whole time in UTC; empty when the listing did not give it
    QString permissions;
    bool link = false;  // the listing marks it as a symbolic link: its name ends in " -> target"
    ListedFile listed;  // the listed size and time
};

class CRemoteEntryModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CRemoteEntryModel)

public:
    enum Column { kName, kSize, kType, kModified, kPermissions, kColumnCount };

    explicit CRemoteEntryModel(QObject* parent = nullptr);

    // Sorts `rows` (rows that compare equal keep their order) and shows them instead of the ones
    // before.
    void Reset(std::vector<CRemoteRow> rows);
    // Sorts the rows shown, and every later listing, by `column`; the selection stays with its rows.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    const CRemoteRow& Row(int row) const { return rows[static_cast<std::size_t>(row)]; }
    // The first row of that raw name, -1 when there is none.
    int RowNamed(const std::string& name) const;
    void RemoveRow(int row);
    // The row keeps its place: the list is sorted again with the next listing.
    void Rename(int row, const std::string& name);
    void SetIcon(int row, const QIcon& icon);
    void SetPermissions(int row, const QString& permissions);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    bool Before(const CRemoteRow& a, const CRemoteRow& b) const;

    std::vector<CRemoteRow> rows;
    int sortColumn = kName;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
};

// The row of one listed file or directory.
CRemoteRow RowOfEntry(const CDirEntry& entry);

// The Size column: the listed size in bytes below 1024, above as K, M or G with one decimal;
// empty when it is not a number.
QString SizeColumnText(const std::string& size);
