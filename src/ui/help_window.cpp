// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/help_window.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QPointer>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

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

class CHelpWindow final : public QDialog {
public:
    CHelpWindow()
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowTitle(QStringLiteral("Tessaline Help"));
        resize(560, 480);
        browser = new QTextBrowser(this);
        browser->setObjectName(QStringLiteral("guide"));
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(browser);
        // Not a child of any window: it must outlive the dialog that first asked for it.
        connect(qApp, &QCoreApplication::aboutToQuit, this, &QObject::deleteLater);
    }

    void Show(int context)
    {
        browser->setSource(QUrl(QStringLiteral("qrc:/help/guide.html#") + HelpSection(context)));
        show();
        FollowModalDialog();
        raise();
        activateWindow();
    }

protected:
    bool event(QEvent* event) override
    {
        // Once the dialog's own show is over.
        if (event->type() == QEvent::WindowBlocked)
            FollowModalDialogSoon();
        return QDialog::event(event);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The dialog followed goes: the one under it, if any, would block the window now.
        if (watched == followed && event->type() == QEvent::Hide)
            FollowModalDialogSoon();
        return QDialog::eventFilter(watched, event);
    }

private:
    void FollowModalDialogSoon()
    {
        QTimer::singleShot(0, this, [this] { FollowModalDialog(); });
    }

    // A window whose transient parent is the modal dialog is not blocked by it.
    void FollowModalDialog()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == this || modal == followed || !windowHandle())
            return;
        if (followed)
            followed->removeEventFilter(this);
        followed = modal;
        modal->installEventFilter(this);
        modal->winId();
        windowHandle()->setTransientParent(modal->windowHandle());
    }

    QTextBrowser* browser = nullptr;
    QPointer<QWidget> followed;  // the modal dialog this window is the companion of
};

QPointer<CHelpWindow> window;

}  // namespace

void ShowHelpWindow(int context)
{
    if (!window)
        window = new CHelpWindow;
    window->Show(context);
}

QWidget* HelpWindow()
{
    return window;
}
