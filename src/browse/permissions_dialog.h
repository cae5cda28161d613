// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CPermissionsDialog ("Set Permissions"): nine boxes, read, write and execute for the owner, the
// group and the others, ticked from a listing's permission text such as "drwxr-xr-x". The caller
// sends the chosen mode to the server.

#include <QDialog>

#include <array>

class QCheckBox;
class QString;

class CPermissionsDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPermissionsDialog)

public:
    explicit CPermissionsDialog(const QString& permissions, QWidget* parent = nullptr);

    // The mode as SITE CHMOD takes it: three octal digits written as a decimal number without
    // leading zeros ("644", "44", "0").
    QString ModeText() const;
    // `listed` (an entry's permission text) with the chosen rights in place of its nine, as a new
    // listing would show them after the change; unchanged when it is no such text (MLSD's facts).
    QString PermissionsText(const QString& listed) const;

private:
    // Owner read, write, execute, then the group's, then the others', as in the permission text.
    std::array<QCheckBox*, 9> boxes{};
};
