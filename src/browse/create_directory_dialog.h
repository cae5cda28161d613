// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CCreateDirectoryDialog ("Create Directory"): asks for the name of a new remote directory. OK
// with a name longer than 128 characters is refused with a message and the dialog stays open.

#include <QDialog>

class QLineEdit;
class QString;

class CCreateDirectoryDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCreateDirectoryDialog)

public:
    explicit CCreateDirectoryDialog(QWidget* parent = nullptr);

    QString DirectoryName() const;

    void accept() override;

private:
    QLineEdit* nameEdit;
};
