// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/prompter.h"

#include "ui/help_window.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QString>

namespace {

class OnScreenPrompter final : public CPrompter {
public:
    void Inform(QWidget* parent, const QString& text) override
    {
        QMessageBox::information(parent, QStringLiteral("Tessaline"), text);
    }
    bool Ask(QWidget* parent, const QString& text, const QString& caption, bool yesIsDefault) override
    {
        return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                     yesIsDefault ? QMessageBox::Yes : QMessageBox::No)
            == QMessageBox::Yes;
    }
    BatchAnswer AskForBatch(QWidget* parent, const QString& text, const QString& caption) override
    {
        switch (QMessageBox::question(parent, caption, text,
                                      QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::NoToAll,
                                      QMessageBox::No)) {
        case QMessageBox::Yes: return BatchAnswer::Yes;
        case QMessageBox::YesToAll: return BatchAnswer::YesToAll;
        case QMessageBox::NoToAll: return BatchAnswer::NoToAll;
        default: return BatchAnswer::No;
        }
    }
    void Beep() override { QApplication::beep(); }
    int Exec(QDialog& dialog) override { return dialog.exec(); }
    void ShowHelp(QWidget*, int context) override { ShowHelpWindow(context); }
    QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter, const QString& start) override
    {
        return QFileDialog::getOpenFileName(parent, title, start, filter);
    }
    bool ChooseFolder(QWidget* parent, std::string& path) override
    {
        // Only local directories: a location the file system cannot open gives an empty text.
        const QString chosen = QFileDialog::getExistingDirectory(parent, QStringLiteral("Make your directory choice"),
                                                                 QString(), QFileDialog::ShowDirsOnly);
        if (chosen.isEmpty())
            return false;
        path = chosen.toStdString();
        return true;
    }
};

CPrompter* installed = nullptr;

}  // namespace

CPrompter& Prompter()
{
    static OnScreenPrompter onScreen;
    return installed ? *installed : onScreen;
}

void SetPrompter(CPrompter* prompter)
{
    installed = prompter;
}
