// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two dialogs that ask for one name: "New Group" and "Rename". The caller fills in the text
// the edit starts with, reads the name back after OK, and checks it itself.

#include <QDialog>

#include <string>

class QLineEdit;
class QPixmap;

class CNameDialog : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CNameDialog)

public:
    // The name as entered when the dialog ended with OK; the starting text otherwise.
    const std::string& Name() const { return name; }

public slots:
    void accept() override;

protected:
    CNameDialog(const QString& title, const QString& explanation, const QString& label, const QPixmap& picture,
                const std::string& name, QWidget* parent);

private:
    std::string name;
    QLineEdit* edit = nullptr;
};

class CNewGroupDialog final : public CNameDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CNewGroupDialog)

public:
    explicit CNewGroupDialog(const std::string& name, QWidget* parent = nullptr);
};

class CRenameDialog final : public CNameDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CRenameDialog)

public:
    // `name`: the item's current name.
    explicit CRenameDialog(const std::string& name, QWidget* parent = nullptr);
};
