// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/debug_window.h"
#include "app/main_frame.h"
#include "app/tessaline_app.h"
#include "browse/remote_view.h"
#include "ftp/encryption.h"
#include "ftp/internal/control_connection.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"
#include "sites/site_tree.h"
#include "support/dialog_fields.h"
#include "support/real_ftp_servers.h"
#include "support/scripted_ftp_server.h"
#include "support/test_certificates.h"
#include "support/test_files.h"
#include "support/test_home.h"
#include "support/test_prompter.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <set>
#include <thread>

namespace {

// The start-up's line about saved passwords, in a test that reaches no keyring.
const QString kNoKeyring = QStringLiteral("Saved passwords are kept in the profile file: no keyring answered");

// Runs the window thread's event loop for a while, so that idle steps happen as in the program.
void RunEventLoop(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

// The same until `done`, for at most ten seconds.
void RunEventLoopUntil(const std::function<bool()>& done)
{
    for (int waited = 0; waited < 10000 && !done(); waited += 20)
        RunEventLoop(20);
}

QStringList LogLines(const CDebugWindow* log)
{
    QStringList lines;
    for (QTextBlock block = log->document()->begin(); block.isValid(); block = block.next())
        lines << block.text();
    return lines;
}

}  // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

private slots:
    void init() { dir = NewTestHome(); }

    void firstRunUsesTheDefaultsAndWritesThemAll()
    {
        CTessalineApp app;
        QVERIFY(app.Startup());
        CMainFrame* frame = app.MainFrame();
        QCOMPARE(frame->windowTitle(), QStringLiteral("Tessaline"));
        // No stored rectangle: about 60 % of the available area, centred.
        const QRect available = frame->screen()->availableGeometry();
        const QRect outer = frame->frameGeometry();
        QVERIFY((outer.center() - available.center()).manhattanLength() <= 2);
        const double share = double(outer.width()) * outer.height() / (double(available.width()) * available.height());
        QVERIFY2(share > 0.58 && share < 0.62, qPrintable(QString::number(share)));
        QCOMPARE(frame->OuterSplitter()->sizes().value(0), 400);
        QCOMPARE(frame->InnerSplitter()->sizes().value(0), 150);
        QVERIFY(frame->Action(CommandId::LargeIcons)->isChecked());
        QCOMPARE(app.Settings().defaultDownloadDirectory, QDir::homePath().toStdString() + "/");
        QCOMPARE(app.Settings().engine.transferMode.load(), int('I'));

        frame->close();
        QCOMPARE(app.Shutdown(0), 0);

        QSettings stored(QSettings::NativeFormat, QSettings::UserScope, "Corvane", "Tessaline");
        QCOMPARE(stored.childGroups(), (QStringList{"ProgramOptions", "TransOptions", "WndProperties"}));
        stored.beginGroup("ProgramOptions");
        QCOMPARE(stored.childKeys().size(), 12);
        QCOMPARE(stored.value("Port").toInt(), 21);
        QCOMPARE(stored.value("Fire Password").toString(), QString());
        stored.endGroup();
        stored.beginGroup("TransOptions");
        // The computed download directory is not written: it follows the home directory.
        QCOMPARE(stored.childKeys().size(), 8);
        QVERIFY(!stored.contains("Default Download Directory"));
        QCOMPARE(stored.value("Transfer Mode").toInt(), int('I'));
        QCOMPARE(stored.value("Passive Mode").toInt(), 2);
        QCOMPARE(stored.value("Connections").toInt(), 4);
        stored.endGroup();
        stored.beginGroup("WndProperties");
        QCOMPARE(stored.childKeys().size(), 6);
        QCOMPARE(stored.value("Right").toInt(), outer.x() + outer.width());
        QCOMPARE(stored.value("TopPane").toInt(), 400);
        QCOMPARE(stored.value("LeftPane").toInt(), 150);
    }

    void defaultViewPressesItsButton_data()
    {
        QTest::addColumn<int>("view");
        QTest::addColumn<int>("pressed");
        QTest::newRow("large icons") << 0 << int(CommandId::LargeIcons);
        QTest::newRow("details") << 1 << int(CommandId::Details);
        QTest::newRow("small icons") << 2 << int(CommandId::SmallIcons);
        QTest::newRow("list") << 3 << int(CommandId::List);
        QTest::newRow("out of range") << 7 << 0;
    }

    void defaultViewPressesItsButton()
    {
        QFETCH(int, view);
        QFETCH(int, pressed);
        {
            QSettings stored(QSettings::NativeFormat, QSettings::UserScope, "Corvane", "Tessaline");
            stored.setValue("ProgramOptions/Default View", view);
        }
        CTessalineApp app;
        QVERIFY(app.Startup());
        for (CommandId id : ViewStyleCommands())
            QCOMPARE(app.MainFrame()->Action(id)->isChecked(), int(id) == pressed);
        app.Shutdown(0);
    }

    void firewallPasswordIsStoredAsTypedInAPrivateFile()
    {
        CTessalineApp app;
        QVERIFY(app.Startup());
        app.Settings().firePassword = "Zx9 !pa;ss";
        app.MainFrame()->close();
        app.Shutdown(0);

        const QString path = dir->path() + "/Corvane/Tessaline.conf";
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0600u);
        QSettings stored(path, QSettings::IniFormat);
        QCOMPARE(stored.value("ProgramOptions/Fire Password").toString(), QStringLiteral("Zx9 !pa;ss"));
    }

    void optionsOkAndApplyReachTheSettingsFileAtOnce()
    {
        TestPrompter prompter;
        CTessalineApp app;
        QVERIFY(app.Startup());
        const QString path = dir->path() + "/Corvane/Tessaline.conf";
        const auto onDisk = [path](const std::string& line) {
            return ReadFile(QFile::encodeName(path).toStdString()).find(line) != std::string::npos;
        };
        bool appliedOnDisk = false;
        prompter.onDialog = [&](QDialog& sheet) {
            Labelled(sheet, QStringLiteral("e-mail address:")).setText(QStringLiteral("first@example.org"));
            sheet.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Apply)->click();
            appliedOnDisk = onDisk("e-mail=first@example.org");
            Labelled(sheet, QStringLiteral("e-mail address:")).setText(QStringLiteral("second@example.org"));
            sheet.findChild<QTabWidget*>()->setCurrentIndex(2);
            Button(sheet, QStringLiteral("Detail view")).click();
            sheet.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            return sheet.result();
        };
        app.MainFrame()->RunCommand(CommandId::Options);
        // No exit in between: what a kill -9 would leave behind.
        QVERIFY(appliedOnDisk);
        QVERIFY(onDisk("e-mail=second@example.org"));
        // The default view just stored is the style the list shows.
        QVERIFY(app.MainFrame()->MainViewPane()->ActiveList()->inherits("QTreeView"));
        QVERIFY(app.MainFrame()->Action(CommandId::Details)->isChecked());
        app.Shutdown(0);
    }

    void storedRectangleAndDraggedSplittersSurviveARestart()
    {
        {
            QSettings stored(QSettings::NativeFormat, QSettings::UserScope, "Corvane", "Tessaline");
            stored.setValue("WndProperties/Left", 40);
            stored.setValue("WndProperties/Top", 30);
            stored.setValue("WndProperties/Right", 840);
            stored.setValue("WndProperties/Bottom", 630);
        }
        {
            CTessalineApp app;
            QVERIFY(app.Startup());
            CMainFrame* frame = app.MainFrame();
            QCOMPARE(frame->frameGeometry(), QRect(40, 30, 800, 600));
            // Drag both splitter bars as a user would.
            QSplitterHandle* rowBar = frame->OuterSplitter()->handle(1);
            QSplitterHandle* columnBar = frame->InnerSplitter()->handle(1);
            QTest::mousePress(rowBar, Qt::LeftButton, {}, QPoint(5, 1));
            QTest::mouseMove(rowBar, QPoint(5, -99));
            QTest::mouseRelease(rowBar, Qt::LeftButton, {}, QPoint(5, -99));
            QTest::mousePress(columnBar, Qt::LeftButton, {}, QPoint(1, 5));
            QTest::mouseMove(columnBar, QPoint(61, 5));
            QTest::mouseRelease(columnBar, Qt::LeftButton, {}, QPoint(61, 5));
            QCOMPARE(frame->OuterSplitter()->sizes().value(0), 300);
            QCOMPARE(frame->InnerSplitter()->sizes().value(0), 210);
            frame->Action(CommandId::Exit)->trigger();  // Exit closes exactly like the close box
            QVERIFY(!frame->isVisible());
            app.Shutdown(0);
        }
        CTessalineApp app;
        QVERIFY(app.Startup());
        QCOMPARE(app.Settings().topPane, 300);
        QCOMPARE(app.Settings().leftPane, 210);
        QCOMPARE(app.MainFrame()->OuterSplitter()->sizes().value(0), 300);
        QCOMPARE(app.MainFrame()->InnerSplitter()->sizes().value(0), 210);
        QCOMPARE(app.MainFrame()->frameGeometry(), QRect(40, 30, 800, 600));
        app.Shutdown(0);
    }

    // A larger window keeps the panes' shares and the size before comes back exactly; a long group
    // name widens the tree column, but never past a third of the window.
    void panesKeepTheirSharesAndTheTreeFitsItsNames()
    {
        CTessalineApp app;
        QVERIFY(app.Startup());
        CMainFrame* frame = app.MainFrame();
        RunEventLoop(20);
        QSplitter* rows = frame->OuterSplitter();
        const QSize before = frame->size();
        const int upper = rows->sizes().value(0);
        const double share = double(upper) / rows->height();
        frame->resize(before.width() * 2, before.height() * 2);
        RunEventLoop(20);
        QVERIFY(std::abs(double(rows->sizes().value(0)) / rows->height() - share) < 0.01);
        frame->resize(before);
        RunEventLoop(20);
        QCOMPARE(rows->sizes().value(0), upper);

        SiteStore& sites = frame->SiteTreePane()->Store();
        sites.AddGroup("Group");
        RunEventLoop(20);
        QCOMPARE(frame->InnerSplitter()->sizes().value(0), 150);
        sites.AddGroup(std::string(12, 'w'));
        RunEventLoop(20);
        const int wide = frame->InnerSplitter()->sizes().value(0);
        QVERIFY(wide > 150);
        QCOMPARE(wide, frame->SiteTreePane()->NamesWidth());
        sites.AddGroup(std::string(200, 'w'));
        RunEventLoop(20);
        QCOMPARE(frame->InnerSplitter()->sizes().value(0), frame->InnerSplitter()->width() / 3);
        app.Shutdown(0);
    }

    void smallClientAreaLeavesThePanesBelowTheToolbarBand()
    {
        CTessalineApp app;
        QVERIFY(app.Startup());
        CMainFrame* frame = app.MainFrame();
        const int menuHeight = frame->menuBar()->height();
        frame->resize(frame->width(), menuHeight + 100);
        RunEventLoop(20);
        const QRect panes = frame->OuterSplitter()->geometry();
        QCOMPARE(panes.top() - menuHeight, CMainFrame::kToolbarBand);
        QCOMPARE(panes.height(), 72);
        QCOMPARE(panes.width(), frame->width());
        app.Shutdown(0);
    }

    void menusAndToolbarHoldEveryCommandInOrder()
    {
        CTessalineApp app;
        QVERIFY(app.Startup());
        CMainFrame* frame = app.MainFrame();
        RunEventLoop(20);

        QStringList menus;
        for (QAction* menu : frame->menuBar()->actions()) {
            QStringList entries;
            for (QAction* entry : menu->menu()->actions()) {
                // A menu shows an entry's first key beside its text.
                const QString key = entry->shortcut().toString(QKeySequence::NativeText);
                entries << (entry->isSeparator() ? QStringLiteral("-")
                                                 : entry->text() + (key.isEmpty() ? "" : " " + key));
            }
            menus << menu->text() + ": " + entries.join(" | ");
        }
        QCOMPARE(menus,
                 (QStringList{
                     "&File: New Group... Ctrl+Shift+N | New Site... Ctrl+N | - | Quick Connect... | - | E&xit Ctrl+Q",
                     "&Edit: Do&wnload... Ctrl+Shift+D | &Upload... Ctrl+Shift+U | Upload Director&y... | - | Create "
                     "Directory... | "
                     "&Delete Del | - | &Properties... | Rename... F2 | Permissions...",
                     "&View: &Large Icons | Small Icons | L&ist | Details | - | &Options... | - | Refresh F5",
                     "&Help: Help... F1 | About Tessaline...",
                 }));

        QStringList buttons;
        for (QAction* slot : frame->ToolBar()->actions())
            buttons << (slot->isSeparator() ? QStringLiteral("-") : slot->toolTip());
        QCOMPARE(buttons,
                 (QStringList{"New Profile (Ctrl+N)", "-", "Up One Level (Alt+Up, Backspace)",
                              "Refresh Directory. (F5)", "Disconnect (Ctrl+D)", "-", "Download (Ctrl+Shift+D)",
                              "Upload (Ctrl+Shift+U)", "Delete (Del)", "-", "Large Icons", "Small Icons", "List View",
                              "Detail", "Encrypted: commands, the password and files travel over TLS"}));
        // The padlock shows only while an encrypted session is open.
        QVERIFY(!frame->EncryptionSignShown());
        QCOMPARE(frame->ToolBar()->height(), CMainFrame::kToolbarBand);

        // Not connected and nothing selected.
        using enum CommandId;
        const std::set<CommandId> enabled = {Exit, NewGroup, NewSite, QuickConnect, LargeIcons, SmallIcons,
                                             List, Details,  Options, Help,         About};
        for (const CommandInfo& info : AllCommands())
            QCOMPARE(frame->Action(info.id)->isEnabled(), enabled.count(info.id) == 1);
        app.Shutdown(0);
    }

    void logPaneStartsWithTheWelcomeLineOnGrey()
    {
        CTessalineApp app;
        QVERIFY(app.Startup());
        CDebugWindow* log = app.MainFrame()->LogPane();
        QCOMPARE(LogLines(log), (QStringList{"Welcome to Tessaline v2.5", ""}));
        QCOMPARE(log->font().pointSize(), 10);
        QVERIFY(QFontInfo(log->font()).fixedPitch());
        QCOMPARE(log->palette().color(QPalette::Base), QColor(205, 205, 205));
        QVERIFY(log->isReadOnly());
        QVERIFY(log->textInteractionFlags() & Qt::TextSelectableByMouse);
        QCOMPARE(log->verticalScrollBar()->value(), 0);
        app.Shutdown(0);
    }

    void linesPostedBeforeThePaneExistsAppearInOrder()
    {
        PostLogLine("early one");
        PostLogLine("early two");
        CTessalineApp app;
        QVERIFY(app.Startup());
        // Then the line that says where saved passwords are kept, once the keyring was asked.
        RunEventLoopUntil([&app] { return LogLines(app.MainFrame()->LogPane()).size() == 5; });
        QCOMPARE(LogLines(app.MainFrame()->LogPane()).mid(0, 4),
                 (QStringList{"Welcome to Tessaline v2.5", "", "early one", "early two"}));
        QVERIFY(LogLines(app.MainFrame()->LogPane())[4].startsWith(kNoKeyring));
        app.Shutdown(0);
    }

    void onlyTheNewest500LinesStayAndTheNewestIsInSight()
    {
        CTessalineApp app;
        QVERIFY(app.Startup());
        RunEventLoopUntil([&app] { return LogLines(app.MainFrame()->LogPane()).last().startsWith(kNoKeyring); });
        for (int i = 1; i <= 600; ++i)
            PostLogLine("line " + std::to_string(i));
        RunEventLoop(50);
        CDebugWindow* log = app.MainFrame()->LogPane();
        const QStringList lines = LogLines(log);
        QCOMPARE(lines.size(), CDebugWindow::kMaxLines);
        QCOMPARE(lines.first(), QStringLiteral("line 101"));
        QCOMPARE(lines.last(), QStringLiteral("line 600"));
        QScrollBar* bar = log->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        QTextCursor newest(log->document()->lastBlock());
        QVERIFY(log->viewport()->rect().contains(log->cursorRect(newest)));
        app.Shutdown(0);
    }

    void workerLinesAppearWhileAModalDialogIsUp()
    {
        CTessalineApp app;
        QVERIFY(app.Startup());
        auto* dialog = new QDialog(app.MainFrame());
        bool seenWhileOpen = false;
        std::thread worker;
        QTimer::singleShot(0, dialog, [&] { worker = std::thread([] { PostLogLine("220 posted by a worker"); }); });
        QTimer poll;
        connect(&poll, &QTimer::timeout, dialog, [&] {
            if (LogLines(app.MainFrame()->LogPane()).contains("220 posted by a worker")) {
                seenWhileOpen = true;
                dialog->accept();
            }
        });
        poll.start(10);
        QTimer::singleShot(5000, dialog, &QDialog::reject);
        dialog->exec();
        worker.join();
        QVERIFY(seenWhileOpen);
        app.Shutdown(0);
    }

    void shutdownSavesTheSettingsAndQuitsTheOpenSession()
    {
        ScriptedFtpServer server;
        server.Reply("USER", "230 Logged in\r\n");
        server.Reply("SYST", "215 UNIX Type: L8\r\n");
        CTessalineApp app;
        QVERIFY(app.Startup());
        RemoteSession& session = app.Session();
        RemoteLogin login;
        login.host = "127.0.0.1:" + std::to_string(server.Port());
        login.user = "anna";
        login.encryption = kPlainOnly;  // the scripted server speaks plain FTP
        session.SetLogin(login);
        QVERIFY(session.Connect());
        app.MainFrame()->close();
        app.Shutdown(0);
        QCOMPARE(server.Commands().back(), std::string("quit"));
        QVERIFY(!session.Connected());
        QVERIFY(QFile::exists(dir->path() + "/Corvane/Tessaline.conf"));
    }

    // The worker asks about the certificate; the dialog comes up on the window thread over the
    // "Connecting" dialog, and while the session is encrypted the toolbar shows the padlock.
    void anUntrustedCertificateIsAskedAboutAndTheEncryptedSessionShowsThePadlock()
    {
        QTemporaryDir served;
        TestCertificates certificates(dir->path().toStdString());
        const CertificateFiles certificate = certificates.SelfSigned("server");
        QVERIFY2(!certificate.fingerprint.empty(), certificates.Failures().c_str());
        PyftpdlibOptions options;
        options.tls = {certificate.certificate, certificate.key};
        PyftpdlibServer server(served.path().toStdString(), "anna", "secret", options);
        QVERIFY2(server.Started(), server.ServerLog().c_str());

        TestPrompter prompter;
        QStringList shown;
        prompter.onDialog = [&](QDialog& dialog) {
            if (dialog.windowTitle() != QStringLiteral("Server Certificate"))
                return dialog.exec();
            for (QLabel* label : dialog.findChildren<QLabel*>())
                shown << label->text();
            Button(dialog, QStringLiteral("Trust &once")).click();
            return dialog.result();
        };
        CTessalineApp app;
        QVERIFY(app.Startup());
        CMainFrame* frame = app.MainFrame();
        CSiteProfile site;
        site.name = "secure";
        site.host = "127.0.0.1:" + std::to_string(server.Port());
        site.userId = "anna";
        site.password = "secret";
        site.prompt = 0;
        site.encryption = kTlsRequired;
        frame->UpdateCommandStates();
        QVERIFY(!frame->EncryptionSignShown());
        frame->MainViewPane()->Navigation().ConnectSiteWithoutPrompt(site);
        QVERIFY(app.Session().Connected());
        QVERIFY(shown.contains(QString::fromStdString(certificate.fingerprint)));
        QVERIFY(shown.contains(QStringLiteral("self-signed certificate")));
        QVERIFY(shown.contains(QStringLiteral("CN=localhost")));
        frame->UpdateCommandStates();
        QVERIFY(frame->EncryptionSignShown());
        // Trusted once: nothing is kept for the next time.
        QVERIFY(!QFile::exists(dir->path() + "/Tessaline/trusted-certificates"));

        frame->MainViewPane()->Disconnect(false);
        frame->UpdateCommandStates();
        QVERIFY(!frame->EncryptionSignShown());

        // Cancel to the certificate is the user's own choice: nothing is sent and no failure told.
        prompter.onDialog = [](QDialog& dialog) {
            if (dialog.windowTitle() != QStringLiteral("Server Certificate"))
                return dialog.exec();
            return int(QDialog::Rejected);
        };
        frame->MainViewPane()->Navigation().ConnectSiteWithoutPrompt(site);
        QVERIFY(!app.Session().Connected());
        QVERIFY(prompter.informed.empty());
        app.Shutdown(0);
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
};

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"
