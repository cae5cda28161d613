// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CIconSelectionDialog ("Icon Selection"): every icon of one file, labelled with its index; "Browse
// ..." switches to another file, OK hands back the index of the icon picked.

#include <QDialog>
#include <QString>

#include <optional>
#include <string>

class QLineEdit;
class QListWidget;

class CIconSelectionDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CIconSelectionDialog)

public:
    // Shows the icons of the file that `reference` names; no icon is selected at first.
    explicit CIconSelectionDialog(const std::string& reference, QWidget* parent = nullptr);

    // Runs the dialog for a site whose icon is `currentReference`: the new reference "file ,index"
    // when an icon was chosen, nothing when the site keeps its icon.
    static std::optional<std::string> ChooseIcon(QWidget* parent, const std::string& currentReference);

    // After OK: the index of the icon picked, -1 when none was.
    int ChosenIconIndex() const { return chosenIconIndex; }
    // After OK: the file the icons came from.
    const QString& FileName() const { return fileName; }

private:
    void EnumerateFileIcons(const QString& file);
    void Browse();
    void TakeSelection();

    QString fileName;
    int chosenIconIndex = -1;
    QLineEdit* fileNameEdit = nullptr;
    QListWidget* iconList = nullptr;
};
