// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CFilePropertiesDialog ("File Properties"): one remote entry's name, size, type, modification
// time and location. Only the name can be edited; the caller renames the entry when it changed.

#include <QDialog>
#include <QString>

class QLineEdit;

class CFilePropertiesDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFilePropertiesDialog)

public:
    CFilePropertiesDialog(const QString& name, const QString& size, const QString& type, const QString& modified,
                          const QString& location, QWidget* parent = nullptr);

    QString EditedName() const;
    // The name differs from the one the dialog opened with (case counts).
    bool NameChanged() const;

private:
    QString startName;
    QLineEdit* nameEdit;
};
