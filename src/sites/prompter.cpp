#include "sites/prompter.h"

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
    bool Ask(QWidget* parent, const QString& text, const QString& caption) override
    {
        return QMessageBox::question(parent, caption, text, QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    }
    void Beep() override { QApplication::beep(); }
    int Exec(QDialog& dialog) override { return dialog.exec(); }
    QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter,
                           const QString& start) override
    {
        return QFileDialog::getOpenFileName(parent, title, start, filter);
    }
};

CPrompter* installed = nullptr;

} // namespace

CPrompter& Prompter()
{
    static OnScreenPrompter onScreen;
    return installed ? *installed : onScreen;
}

void SetPrompter(CPrompter* prompter)
{
    installed = prompter;
}
