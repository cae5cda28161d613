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

void CRemoteEntryModel::Reset(std::vector<CRemoteRow> newRows)
{
    std::stable_sort(newRows.begin(), newRows.end(),
                     [](const CRemoteRow& a, const CRemoteRow& b) { return SiteNameLess(a.name, b.name); });
    beginResetModel();
    rows = std::move(newRows);
    endResetModel();
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
