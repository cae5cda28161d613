// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/select_group_dialog.h"

#include "sites/profiles/profile_store.h"
#include "sites/profiles/site_profile.h"

#include <QDialogButtonBox>
#include <QListWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kTreePositionRole = Qt::UserRole;
// Beside the title, a window manager's title bar holds an icon and three buttons.
constexpr int kTitleBarRoom = 120;

}  // namespace

CSelectGroupDialog::CSelectGroupDialog(const std::vector<std::string>& rootItems, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Select A Group for New Site"));
    // A narrow list would cut the title short.
    setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + kTitleBarRoom);

    // Each entry keeps its own tree position, so the answer names the right group even where the
    // list's order and the tree's differ.
    std::vector<int> positions;
    for (int position = 0; position < static_cast<int>(rootItems.size()); ++position) {
        if (rootItems[position] != kQuickConnectGroup)
            positions.push_back(position);
    }
    std::stable_sort(positions.begin(), positions.end(),
                     [&rootItems](int a, int b) { return SiteNameLess(rootItems[a], rootItems[b]); });

    list = new QListWidget(this);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    for (int position : positions) {
        auto* item = new QListWidgetItem(QString::fromStdString(rootItems[position]), list);
        item->setData(kTreePositionRole, position);
    }
    list->setCurrentRow(0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &CSelectGroupDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CSelectGroupDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list);
    layout->addWidget(buttons);
}

void CSelectGroupDialog::accept()
{
    const QList<QListWidgetItem*> chosen = list->selectedItems();
    chosenPosition = chosen.isEmpty() ? -1 : chosen.front()->data(kTreePositionRole).toInt();
    QDialog::accept();
}
