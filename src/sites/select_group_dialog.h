// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSelectGroupDialog ("Select A Group for New Site"): picks the group a new site goes into from
// the site tree's root items, sorted by name. The "Quick Connect" group is not offered.

#include <QDialog>

#include <string>
#include <vector>

class QListWidget;

class CSelectGroupDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSelectGroupDialog)

public:
    // `rootItems`: the texts of the site tree's root items in tree order.
    explicit CSelectGroupDialog(const std::vector<std::string>& rootItems, QWidget* parent = nullptr);

    // The chosen group's position among the root items ("Quick Connect" counted); -1 for none.
    int ChosenPosition() const { return chosenPosition; }

public slots:
    void accept() override;

private:
    QListWidget* list = nullptr;
    int chosenPosition = -1;
};
