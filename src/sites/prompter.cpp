#include "sites/prompter.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The guide's section for each help context number of the dialogs and option pages.
QString HelpSection(int context)
{
    switch (context) {
    case 37: return QStringLiteral("properties");
    case 48: return QStringLiteral("program-options");
    case 49: return QStringLiteral("firewall-options");
    case 50: return QStringLiteral("transfer-options");
    case 51: return QStringLiteral("display-options");
    case 101: return QStringLiteral("about");
    default: return QStringLiteral("contents");
    }
}

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
    void ShowHelp(QWidget* parent, int context) override
    {
        // One help window for the run: asking again brings it forward at the new section.
        static QPointer<QDialog> window;
        if (!window) {
            window = new QDialog(parent);
            window->setAttribute(Qt::WA_DeleteOnClose);
            window->setWindowTitle(QStringLiteral("Tessaline Help"));
            window->resize(560, 480);
            auto* browser = new QTextBrowser(window);
            browser->setObjectName(QStringLiteral("guide"));
            auto* layout = new QVBoxLayout(window);
            layout->addWidget(browser);
        }
        auto* browser = window->findChild<QTextBrowser*>(QStringLiteral("guide"));
        browser->setSource(QUrl(QStringLiteral("qrc:/help/guide.html#") + HelpSection(context)));
        window->show();
        window->raise();
    }
    QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& filter,
                           const QString& start) override
    {
        return QFileDialog::getOpenFileName(parent, title, start, filter);
    }
    bool ChooseFolder(QWidget* parent, std::string& path) override
    {
        // Only local directories: a location the file system cannot open gives an empty text.
        const QString chosen = QFileDialog::getExistingDirectory(
            parent, QStringLiteral("Make your directory choice"), QString(), QFileDialog::ShowDirsOnly);
        if (chosen.isEmpty())
            return false;
        path = chosen.toStdString();
        return true;
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
