// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/remote_entry_model.h"

#include "browse/file_types.h"
#include "sites/profiles/profile_store.h"
#include "sites/profiles/site_profile.h"
#include "ui/program_icons.h"

#include <algorithm>

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

CRemoteRow RowOfEntry(const CDirEntry& entry)
{
    CRemoteRow row;
    row.name = entry.name;
    row.permissions = QString::fromStdString(entry.permissions);
    row.link = IsListedLink(entry);
    row.listed = ListedFacts(entry);
    if (entry.isFile) {
        row.kind = kItemRemoteFile;
        row.icon = IconForFileName(entry.name);
        row.type = TypeNameForExtension(entry.name);
        // As file managers say it of an extension the desktop does not know.
        if (row.type.isEmpty()) {
            const std::string extension = FileExtension(entry.name);
            row.type = extension.empty()
                ? QStringLiteral("File")
                : QString::fromStdString(extension.substr(1)).toUpper() + QStringLiteral(" file");
        }
        row.size = SizeColumnText(entry.size);
        row.modified = QString::fromStdString(ModifiedText(entry));
        row.modifiedUtc = QString::fromStdString(ModifiedUtcText(entry));
    } else {
        row.kind = kItemRemoteDirectory;
        row.icon = ProgramIcon(ProgramIconId::Folder);
        row.type = QStringLiteral("Folder");
    }
    return row;
}

CRemoteEntryModel::CRemoteEntryModel(QObject* parent) : QAbstractTableModel(parent) {}

namespace {

// Negative, zero or positive as `a` sorts before, with or after `b` in `column`, ascending.
int CompareIn(int column, const CRemoteRow& a, const CRemoteRow& b)
{
    const auto texts = [](const QString& x, const QString& y) { return QString::compare(x, y, Qt::CaseInsensitive); };
    switch (column) {
    case CRemoteEntryModel::kSize: return a.listed.size < b.listed.size ? -1 : a.listed.size > b.listed.size;
    case CRemoteEntryModel::kType: return texts(a.type, b.type);
    case CRemoteEntryModel::kModified:
        // A listing gives every entry a time or none; LIST's texts only sort as texts.
        if (a.listed.modified && b.listed.modified)
            return *a.listed.modified < *b.listed.modified ? -1 : *a.listed.modified > *b.listed.modified;
        return texts(a.modified, b.modified);
    case CRemoteEntryModel::kPermissions: return texts(a.permissions, b.permissions);
    default: return 0;
    }
}

}  // namespace

bool CRemoteEntryModel::Before(const CRemoteRow& a, const CRemoteRow& b) const
{
    // Directories first whichever way the rows run, as file managers show them.
    const bool aDirectory = a.kind == kItemRemoteDirectory;
    if (aDirectory != (b.kind == kItemRemoteDirectory))
        return aDirectory;
    int order = CompareIn(sortColumn, a, b);
    if (order == 0)
        order = SiteNameLess(a.name, b.name) ? -1 : SiteNameLess(b.name, a.name);
    return sortOrder == Qt::AscendingOrder ? order < 0 : order > 0;
}

void CRemoteEntryModel::Reset(std::vector<CRemoteRow> newRows)
{
    std::stable_sort(newRows.begin(), newRows.end(),
                     [this](const CRemoteRow& a, const CRemoteRow& b) { return Before(a, b); });
    beginResetModel();
    rows = std::move(newRows);
    endResetModel();
}

void CRemoteEntryModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= kColumnCount)
        return;
    sortColumn = column;
    sortOrder = order;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> sorted(rows.size());
    for (std::size_t i = 0; i < sorted.size(); ++i)
        sorted[i] = static_cast<int>(i);
    std::stable_sort(sorted.begin(), sorted.end(), [this](int a, int b) {
        return Before(rows[static_cast<std::size_t>(a)], rows[static_cast<std::size_t>(b)]);
    });
    std::vector<CRemoteRow> moved;
    std::vector<int> newRowOf(rows.size());
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        moved.push_back(std::move(rows[static_cast<std::size_t>(sorted[i])]));
        newRowOf[static_cast<std::size_t>(sorted[i])] = static_cast<int>(i);
    }
    rows = std::move(moved);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    for (const QModelIndex& index : before)
        after << this->index(newRowOf[static_cast<std::size_t>(index.row())], index.column());
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int CRemoteEntryModel::RowNamed(const std::string& name) const
{
    const auto found =
        std::find_if(rows.begin(), rows.end(), [&name](const CRemoteRow& row) { return row.name == name; });
    return found == rows.end() ? -1 : static_cast<int>(found - rows.begin());
}

void CRemoteEntryModel::RemoveRow(int row)
{
    beginRemoveRows({}, row, row);
    rows.erase(rows.begin() + row);
    endRemoveRows();
}

void CRemoteEntryModel::Rename(int row, const std::string& name)
{
    rows[static_cast<std::size_t>(row)].name = name;
    emit dataChanged(index(row, kName), index(row, kName));
}

void CRemoteEntryModel::SetIcon(int row, const QIcon& icon)
{
    rows[static_cast<std::size_t>(row)].icon = icon;
    emit dataChanged(index(row, kName), index(row, kName), {Qt::DecorationRole});
}

void CRemoteEntryModel::SetPermissions(int row, const QString& permissions)
{
    rows[static_cast<std::size_t>(row)].permissions = permissions;
    emit dataChanged(index(row, kPermissions), index(row, kPermissions));
}

int CRemoteEntryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int CRemoteEntryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CRemoteEntryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const CRemoteRow& row = Row(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        switch (index.column()) {
        case kName: return QString::fromStdString(row.name);
        case kSize: return row.size;
        case kType: return row.type;
        case kModified: return row.modified;
        case kPermissions: return row.permissions;
        default: return {};
        }
    case Qt::DecorationRole: return index.column() == kName ? QVariant(row.icon) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == kSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default: return {};
    }
}

QVariant CRemoteEntryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // A header clicked for the first time sorts its column upwards.
    if (orientation == Qt::Horizontal && role == Qt::InitialSortOrderRole)
        return Qt::AscendingOrder;
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const kTitles[kColumnCount] = {"Name", "Size", "Type", "Modified", "Permissions"};
    return section >= 0 && section < kColumnCount ? QString::fromLatin1(kTitles[section]) : QVariant();
}

Qt::ItemFlags CRemoteEntryModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // Only the name is edited in place; every cell can start a drag out of the window.
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    return index.column() == kName ? flags | Qt::ItemIsEditable : flags;
}
