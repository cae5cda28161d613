// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program against a real server: connect to a stored site, browse, download, and the
// item commands, each through the same commands and dialogs a user works with.

#include "app/debug_window.h"
#include "app/main_frame.h"
#include "app/tessaline_app.h"
#include "browse/remote_view.h"
#include "ftp/encryption.h"
#include "remote/session_log.h"
#include "sites/site_tree.h"
#include "support/dialog_fields.h"
#include "support/real_ftp_servers.h"
#include "support/test_files.h"
#include "support/test_home.h"
#include "support/test_prompter.h"
#include "support/view_mouse.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>

namespace fs = std::filesystem;

namespace {

// Selects the list item with that name and double-clicks it.
void Open(CTessalinev3View& view, const QString& name)
{
    view.selectedIndex = static_cast<int>(Names(view).indexOf(name));
    QVERIFY(view.selectedIndex >= 0);
    view.ActiveList()->selectionModel()->select(view.ActiveList()->model()->index(view.selectedIndex, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    view.OpenSelectedItem();
}

// A right-click on the item: the entries of the menu that opens ("-" a separator, nothing when
// no menu opens). The menu is closed without choosing.
QStringList ContextMenuEntries(CTessalinev3View& view, const QString& name)
{
    QWidget* viewport = view.ActiveList()->viewport();
    const QPoint at = NameCell(view, name);
    QStringList entries;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&entries] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (const QAction* action : menu->actions())
                entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
            menu->close();
        }
    });
    poll.start(10);
    QTest::mousePress(viewport, Qt::RightButton, {}, at);
    QTest::mouseRelease(viewport, Qt::RightButton, {}, at);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &event);
    // The window system gives the keyboard back to the window when the menu closes; the
    // offscreen platform leaves that to us.
    viewport->window()->activateWindow();
    if (!QTest::qWaitForWindowActive(viewport->window()))
        entries << QStringLiteral("(the window did not get the keyboard back)");
    return entries;
}

// The in-place editor open in the list, if any.
QLineEdit* Editor(CTessalinev3View& view)
{
    for (QLineEdit* editor : view.ActiveList()->viewport()->findChildren<QLineEdit*>()) {
        if (editor->isVisible())
            return editor;
    }
    return nullptr;
}

void Select(CTessalinev3View& view, const QStringList& names)
{
    QItemSelectionModel* selection = view.ActiveList()->selectionModel();
    selection->clearSelection();
    for (const QString& name : names) {
        view.selectedIndex = static_cast<int>(Names(view).indexOf(name));
        QVERIFY(view.selectedIndex >= 0);
        selection->select(view.ActiveList()->model()->index(view.selectedIndex, 0),
                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

}  // namespace

class BrowseWalkTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        root = std::make_unique<QTemporaryDir>();
        UseTestHome(home->path() + "/config", home->path() + "/data");
        const fs::path top(root->path().toStdString());
        fs::create_directories(top / "pub" / "deeper");
        WriteFile(top / "hello.txt", "hello\n");
        WriteFile(top / "pub" / "readme.txt", "read me\n");
        WriteFile(top / "pub" / "other.txt", "other\n");
        server = std::make_unique<PyftpdlibServer>(root->path().toStdString(), "anna", "secret");
        QVERIFY2(server->Started(), server->ServerLog().c_str());

        downloads = home->path() + "/downloads/";
        fs::create_directories(downloads.toStdString());
        {
            QSettings stored(QSettings::NativeFormat, QSettings::UserScope, "Corvane", "Tessaline");
            stored.setValue("TransOptions/Default Download Directory", downloads);
            stored.setValue("TransOptions/View On Double-Click", 0);
            stored.setValue("ProgramOptions/Default View", 1);
        }
        fs::create_directories(home->path().toStdString() + "/data/Tessaline");
        WriteFile(home->path().toStdString() + "/data/Tessaline/Tessaline.site",
                  "[Local]\r\nHOST=127.0.0.1:" + std::to_string(server->Port())
                      + "\r\nUID=anna\r\nPASSWORD=secret\r\nSAVPWD=TRUE\r\nGROUP=Work\r\nPROMPT?=FALSE\r\nENCRYPTION="
                        "3\r\n\r\n");

        prompter = std::make_unique<TestPrompter>();
        app = std::make_unique<CTessalineApp>();
        QVERIFY(app->Startup());
        frame = app->MainFrame();
        view = frame->MainViewPane();
        tree = frame->SiteTreePane();
        // The window has the keyboard, as it does for the user who works in it.
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
    }

    void cleanup()
    {
        if (app) {
            frame->close();
            app->Shutdown(0);
            app.reset();
        }
        prompter.reset();
        server.reset();
    }

    void connectBrowseAndDownload()
    {
        QCOMPARE(Names(*view), (QStringList{"Work"}));
        Open(*view, "Work");
        QCOMPARE(Names(*view), (QStringList{"Local"}));
        Open(*view, "Local");
        QVERIFY(app->Session().Connected());
        QCOMPARE(Names(*view), (QStringList{"pub", "hello.txt"}));
        QCOMPARE(Location(), QStringLiteral("Local - ~ - Tessaline | Local"));
        QCOMPARE(view->TextAt(0, CTessalinev3View::kType), QStringLiteral("Folder"));
        QCOMPARE(prompter->dialogs.front(), QStringLiteral("Connecting"));

        Open(*view, "pub");
        QCOMPARE(Names(*view), (QStringList{"deeper", "other.txt", "readme.txt"}));
        QCOMPARE(Location(), QStringLiteral("Local - ~/pub - Tessaline | pub"));
        Open(*view, "readme.txt");
        QCOMPARE(QString::fromStdString(ReadFile((downloads + "readme.txt").toStdString())),
                 QStringLiteral("read me\n"));
        QCOMPARE(prompter->dialogs.back(), QStringLiteral("File Transfer Status"));

        // A second double-click asks before overwriting; No leaves everything as it is.
        WriteFile((downloads + "readme.txt").toStdString(), "mine");
        Open(*view, "readme.txt");
        QVERIFY(prompter->asked.back().startsWith("File Exists: File "));
        QCOMPARE(QString::fromStdString(ReadFile((downloads + "readme.txt").toStdString())), QStringLiteral("mine"));

        // A download directory changed in Options while connected is where the next file goes,
        // the one the overwrite question and the opened file name.
        const QString elsewhere = home->path() + "/elsewhere/";
        fs::create_directories(elsewhere.toStdString());
        app->Settings().defaultDownloadDirectory = elsewhere.toStdString();
        Open(*view, "other.txt");
        QVERIFY(fs::exists((elsewhere + "other.txt").toStdString()));
        QVERIFY(!fs::exists((downloads + "other.txt").toStdString()));
        app->Settings().defaultDownloadDirectory = downloads.toStdString();

        // After a disconnect the list, the title and the tree are back at the group.
        view->Disconnect(false);
        QCOMPARE(Names(*view), (QStringList{"Local"}));
        QCOMPARE(Location(), QStringLiteral("Tessaline | Work"));
    }

    // A site whose protocol is SFTP is reached over SSH with the user's own key and known host, and
    // browsed and downloaded from as an FTP site is; an FTP site afterwards speaks FTP again.
    void anSftpSiteIsBrowsedAsAnFtpSiteIs()
    {
        const fs::path ssh = fs::path(home->path().toStdString()) / ".ssh";
        fs::create_directories(ssh);
        QCOMPARE(std::system(("ssh-keygen -q -t ed25519 -N '' -f " + (ssh / "id_ed25519").string()).c_str()), 0);
        SshdServer sshd(root->path().toStdString(), ReadFile(ssh / "id_ed25519.pub"));
        QVERIFY2(sshd.Started(), sshd.ServerLog().c_str());
        const std::string port = std::to_string(sshd.Port());
        WriteFile(ssh / "known_hosts", "[127.0.0.1]:" + port + " " + sshd.HostKeyLine() + "\n");
        const QByteArray savedHome = qgetenv("HOME");
        qputenv("HOME", home->path().toUtf8());
        qunsetenv("SSH_AUTH_SOCK");
        CSiteProfile site;
        site.group = "Work";
        site.name = "Over SSH";
        site.host = "127.0.0.1:" + port;
        site.userId = sshd.User();
        site.prompt = 0;
        site.protocol = RemoteProtocol::Sftp;
        Sites().AddSite(site);

        Open(*view, "Work");
        Open(*view, "Over SSH");
        QVERIFY(app->Session().Connected());
        QVERIFY(LogText().contains("SFTP"));
        Open(*view, "pub");
        QCOMPARE(Names(*view), (QStringList{"deeper", "other.txt", "readme.txt"}));
        Open(*view, "readme.txt");
        QCOMPARE(ReadFile((downloads + "readme.txt").toStdString()), std::string("read me\n"));
        view->Disconnect(false);
        Open(*view, "Local");
        QVERIFY(app->Session().Connected());
        QCOMPARE(Names(*view), (QStringList{"pub", "hello.txt"}));
        QVERIFY(LogText().contains("Tessaline: USER anna"));
        qputenv("HOME", savedHome);
    }

    // Selected files and a directory go together into a folder of the user's; Return on several
    // files downloads them all into the download directory.
    void selectedEntriesAreDownloadedTogether()
    {
        Open(*view, "Work");
        Open(*view, "Local");
        const std::string chosen = home->path().toStdString() + "/chosen/";
        fs::create_directories(chosen);
        Select(*view, {"hello.txt", "pub"});
        app->Settings().connections = 1;  // the copy's order, not its spread, is under test here
        view->DownloadSelected(chosen);
        QCOMPARE(ReadFile(chosen + "hello.txt"), std::string("hello\n"));
        QCOMPARE(ReadFile(chosen + "pub/readme.txt"), std::string("read me\n"));
        QVERIFY(fs::is_directory(chosen + "pub/deeper"));

        Open(*view, "pub");
        Select(*view, {"other.txt", "readme.txt"});
        QTest::keyClick(view->ActiveList(), Qt::Key_Return);
        QTRY_VERIFY(fs::exists((downloads + "other.txt").toStdString())
                    && fs::exists((downloads + "readme.txt").toStdString()));
    }

    void itemCommandsChangeTheServer()
    {
        Open(*view, "Work");
        Open(*view, "Local");
        QVERIFY(app->Session().Connected());
        frame->activePane = 1;
        const fs::path top(root->path().toStdString());

        prompter->onDialog = [](QDialog& dialog) {
            if (dialog.windowTitle() == "Create Directory") {
                dialog.findChild<QLineEdit*>()->setText("made by test");
                return int(QDialog::Accepted);
            }
            return dialog.exec();
        };
        frame->CreateDirectory();
        QVERIFY(fs::is_directory(top / "made by test"));
        QVERIFY(Names(*view).contains("made by test"));

        prompter->onDialog = [](QDialog& dialog) {
            if (dialog.windowTitle() == "Set Permissions") {
                for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
                    box->setChecked(box->objectName() == "OwnerRead" || box->objectName() == "OwnerWrite");
                return int(QDialog::Accepted);
            }
            return dialog.exec();
        };
        // Every selected entry gets the mode the first one's permission text gave.
        Select(*view, {"hello.txt", "made by test"});
        view->SetPermissionsOfSelected();
        QCOMPARE(fs::status(top / "hello.txt").permissions() & fs::perms::all,
                 fs::perms::owner_read | fs::perms::owner_write);
        QCOMPARE(fs::status(top / "made by test").permissions() & fs::perms::all,
                 fs::perms::owner_read | fs::perms::owner_write);
        view->RefreshListing();

        prompter->onDialog = [](QDialog& dialog) {
            if (dialog.windowTitle() == "Rename") {
                dialog.findChild<QLineEdit*>()->setText("renamed.txt");
                dialog.accept();
                return dialog.result();
            }
            return dialog.exec();
        };
        Select(*view, {"hello.txt"});
        frame->Rename();
        QVERIFY(fs::exists(top / "renamed.txt"));
        QVERIFY(Names(*view).contains("renamed.txt"));

        // Delete asks once and removes both; a file the server refuses gives one message each.
        prompter->onDialog = [](QDialog& dialog) {
            return dialog.windowTitle() == "Delete" ? int(QDialog::Accepted) : dialog.exec();
        };
        Select(*view, {"renamed.txt", "made by test"});
        view->DeleteSelected();
        QVERIFY(!fs::exists(top / "renamed.txt"));
        QVERIFY(!fs::exists(top / "made by test"));
        QCOMPARE(Names(*view), (QStringList{"pub"}));
        // A directory that is not empty goes with what it holds when the user says so.
        for (const bool agreed : {false, true}) {
            prompter->answers.push_back(agreed);
            Select(*view, {"pub"});
            view->DeleteSelected();
            QCOMPARE(prompter->asked.back(),
                     "Delete Directory: The directory pub is not empty: it holds 3 entries. "
                     "Delete them with it? They will be gone forever.");
            QCOMPARE(fs::exists(top / "pub"), !agreed);
        }
        QCOMPARE(Names(*view), QStringList());
    }

    void commandsFollowTheConnectionAndTheSelection()
    {
        using enum CommandId;
        const std::set<CommandId> always = {Exit,    NewGroup, LargeIcons, SmallIcons, List,
                                            Details, Options,  Help,       About};
        std::set<CommandId> expected = always;
        expected.insert({NewSite, QuickConnect});
        QCOMPARE(Enabled(), expected);

        Open(*view, "Work");
        Open(*view, "Local");
        view->ActiveList()->setFocus();
        expected = always;
        expected.insert({CreateDirectory, Refresh, UpOneLevel, Disconnect, Upload, UploadDirectory});
        QCOMPARE(Enabled(), expected);

        Select(*view, {"hello.txt"});
        expected.insert({Delete, Properties, Rename, Permissions, Download});
        QCOMPARE(Enabled(), expected);
        // Rename wants exactly one item while the list has the focus.
        Select(*view, {"hello.txt", "pub"});
        expected.erase(Rename);
        QCOMPARE(Enabled(), expected);

        // Disconnect asks; No keeps the connection and the list.
        frame->RunCommand(Disconnect);
        QVERIFY(
            prompter->asked.back().startsWith("Disconnect (Yes): Are you sure you want to disconnect from 127.0.0.1:"));
        QVERIFY(app->Session().Connected());
        QCOMPARE(Names(*view), (QStringList{"pub", "hello.txt"}));
        prompter->answers.push_back(true);
        frame->RunCommand(Disconnect);
        QVERIFY(!app->Session().Connected());
        QCOMPARE(Names(*view), (QStringList{"Local"}));
    }

    void aClickSelectsInEveryViewStyle()
    {
        using enum CommandId;
        Open(*view, "Work");
        Open(*view, "Local");
        prompter->onDialog = [](QDialog&) { return int(QDialog::Rejected); };
        const std::set<CommandId> itemCommands = {Delete, Properties, Rename, Permissions};
        for (const CommandId style : {LargeIcons, SmallIcons, List, Details}) {
            frame->ChangeViewStyle(style);
            view->ActiveList()->selectionModel()->clear();
            const QString styleName = frame->Action(style)->text();

            Click(*view, "hello.txt");
            QVERIFY2(view->SelectedRows() == std::vector<int>{1}, qPrintable(styleName));
            std::set<CommandId> on = Enabled();
            QVERIFY2(std::includes(on.begin(), on.end(), itemCommands.begin(), itemCommands.end()),
                     qPrintable(styleName));

            // A right-click selects the item under the mouse and opens its menu.
            QCOMPARE(
                ContextMenuEntries(*view, "pub"),
                (QStringList{"&Open pub", "Do&wnload...", "&Upload...", "-", "&Disconnect", "-", "Create Director&y...",
                             "&Delete", "Rena&me", "Permissio&ns...", "-", "&Properties"}));
            QVERIFY2(view->SelectedRows() == std::vector<int>{0}, qPrintable(styleName));

            Click(*view, "hello.txt", Qt::ControlModifier);
            QVERIFY2(view->SelectedRows() == (std::vector<int>{0, 1}), qPrintable(styleName));
            QVERIFY2(!Enabled().contains(Rename), qPrintable(styleName));

            // F2 edits the name of the item the user clicked last; Escape leaves it.
            QTest::keyClick(view->ActiveList(), Qt::Key_F2);
            QLineEdit* editor = Editor(*view);
            QVERIFY2(editor, qPrintable(styleName));
            QCOMPARE(editor->text(), QStringLiteral("hello.txt"));
            QTest::keyClick(editor, Qt::Key_Escape);
            QTRY_VERIFY(!Editor(*view));

            // The Delete key asks about the selection (and No keeps it).
            prompter->dialogs.clear();
            QTest::keyClick(view->ActiveList(), Qt::Key_Delete);
            QTRY_COMPARE(prompter->dialogs.size(), std::size_t(1));
            QCOMPARE(prompter->dialogs.front(), QStringLiteral("Delete"));
        }
    }

    void slowDoubleClickOpensWithoutStartingARename()
    {
        Open(*view, "Work");
        Open(*view, "Local");
        frame->ChangeViewStyle(CommandId::LargeIcons);
        WriteFile((downloads + "hello.txt").toStdString(), "mine");
        prompter->answers.push_back(true);  // File Exists: overwrite
        const int interval = QApplication::doubleClickInterval();
        prompter->onDialog = [interval](QDialog& dialog) {
            const int result = dialog.exec();
            if (dialog.windowTitle() == "File Transfer Status")
                QTest::qWait(2 * interval);  // the events of a transfer that takes a moment
            return result;
        };

        Click(*view, "hello.txt");
        QTest::qWait(interval + 200);
        DoubleClick(*view, "hello.txt");
        QTRY_COMPARE(QString::fromStdString(ReadFile((downloads + "hello.txt").toStdString())),
                     QStringLiteral("hello\n"));
        QTest::qWait(2 * interval);
        QVERIFY(!Editor(*view));

        // What the user types next and a click elsewhere rename nothing.
        QTest::keyClicks(view->ActiveList(), "o");
        Click(*view, "pub");
        QTest::qWait(100);
        QVERIFY(!LogText().contains("RNFR"));
        QVERIFY(fs::exists(fs::path(root->path().toStdString()) / "hello.txt"));
    }

    void returnInTheEditorRenamesTheEditedItemOnly()
    {
        Open(*view, "Work");
        Open(*view, "Local");
        frame->ChangeViewStyle(CommandId::LargeIcons);
        const fs::path top(root->path().toStdString());

        // Two selected, the editor on the one clicked last: that one is renamed, nothing opened.
        Click(*view, "hello.txt");
        Click(*view, "pub", Qt::ControlModifier);
        QTest::keyClick(view->ActiveList(), Qt::Key_F2);
        QLineEdit* editor = Editor(*view);
        QVERIFY(editor);
        QTest::keyClick(editor, Qt::Key_End);
        QTest::keyClicks(editor, "X");
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(Names(*view), (QStringList{"pubX", "hello.txt"}));
        QVERIFY(fs::is_directory(top / "pubX"));
        QVERIFY(fs::exists(top / "hello.txt"));
        QVERIFY(!fs::exists(downloads.toStdString() + "hello.txt"));
        QVERIFY(!LogText().contains("CWD pub"));
        QCOMPARE(Sites().Node(Sites().Current())->name, std::string("Local"));

        // An editor emptied with Backspace, or left as it was, sends nothing.
        Click(*view, "hello.txt");
        QTest::keyClick(view->ActiveList(), Qt::Key_F2);
        QVERIFY(Editor(*view));
        QTest::keyClick(Editor(*view), Qt::Key_Backspace);
        QCOMPARE(Editor(*view)->text(), QString());
        Click(*view, "pubX");
        QTRY_VERIFY(!Editor(*view));
        QTest::keyClick(view->ActiveList(), Qt::Key_F2);
        QVERIFY(Editor(*view));
        QTest::keyClick(Editor(*view), Qt::Key_Return);
        QTRY_VERIFY(!Editor(*view));
        QTest::qWait(100);
        QCOMPARE(LogText().count("RNFR"), 1);
        QVERIFY(app->Session().Connected());
        QCOMPARE(Names(*view), (QStringList{"pubX", "hello.txt"}));
    }

    void saveConnectConnectsWithWhatTheDialogHolds()
    {
        bool promptTicked = false;
        const QString host = QStringLiteral("127.0.0.1:%1").arg(server->Port());
        prompter->onDialog = [&promptTicked, &host](QDialog& dialog) {
            if (dialog.windowTitle() == "Select A Group for New Site") {
                dialog.accept();  // "Work", the only group
                return dialog.result();
            }
            if (dialog.windowTitle() == "Properties") {
                Labelled(dialog, "Profile name:").setText("Fresh");
                Button(dialog, "Anonymous &login").click();  // a new site starts anonymous
                Labelled(dialog, "Host &name:").setText(host);
                Labelled(dialog, "&User ID:").setText("anna");
                Labelled(dialog, "Pass&word:").setText("secret");
                Labelled<QComboBox>(dialog, "&Encryption:").setCurrentIndex(kPlainOnly);
                promptTicked = Button(dialog, "Prompt").isChecked();
                Button(dialog, "Save/Connect").click();
                return dialog.result();
            }
            if (dialog.windowTitle() == "Session Profile")
                return int(QDialog::Rejected);
            return dialog.exec();
        };
        frame->NewSite();
        QVERIFY(promptTicked);
        QVERIFY(app->Session().Connected());
        QCOMPARE(std::count(prompter->dialogs.begin(), prompter->dialogs.end(), "Session Profile"), 0);
        QCOMPARE(Names(*view), (QStringList{"pub", "hello.txt"}));

        // The same from the Properties of a site that asks: Save/Connect connects at once ...
        prompter->answers.push_back(true);
        frame->RunCommand(CommandId::Disconnect);
        QCOMPARE(Names(*view), (QStringList{"Fresh", "Local"}));
        Select(*view, {"Fresh"});
        prompter->onDialog = [](QDialog& dialog) {
            if (dialog.windowTitle() == "Properties") {
                Button(dialog, "Save/Connect").click();
                return dialog.result();
            }
            return dialog.windowTitle() == "Session Profile" ? int(QDialog::Rejected) : dialog.exec();
        };
        view->ShowProperties();
        QVERIFY(app->Session().Connected());
        QCOMPARE(std::count(prompter->dialogs.begin(), prompter->dialogs.end(), "Session Profile"), 0);

        // ... and a later connect asks.
        prompter->answers.push_back(true);
        frame->RunCommand(CommandId::Disconnect);
        Open(*view, "Fresh");
        QCOMPARE(std::count(prompter->dialogs.begin(), prompter->dialogs.end(), "Session Profile"), 1);
        QVERIFY(!app->Session().Connected());
    }

    // A URL handed to the program (on its command line or by a later start) opens the Session
    // Profile filled in from it once nothing else runs; the session in use ends first, if the user
    // agrees.
    void aUrlHandedOverOpensAFilledInQuickConnect()
    {
        Open(*view, "Work");
        Open(*view, "Local");
        QVERIFY(app->Session().Connected());
        QStringList shown;
        prompter->answers.push_back(true);
        prompter->onDialog = [&shown](QDialog& dialog) {
            if (dialog.windowTitle() != "Session Profile")
                return dialog.exec();
            for (const char* label : {"Host &name:", "&User ID:", "Pass&word:", "Initial Directory"})
                shown << Labelled(dialog, label).text();
            Labelled<QComboBox>(dialog, "&Encryption:").setCurrentIndex(kPlainOnly);
            Button(dialog, "Connect").click();
            return dialog.result();
        };
        const QString host = QStringLiteral("127.0.0.1:%1").arg(server->Port());
        app->OpenUrlWhenIdle("ftp://anna:secret@" + host + "/pub/");
        // The test's waits never block, so the idle steps come from here.
        QTRY_VERIFY_WITH_TIMEOUT((app->IdleStep(), !shown.isEmpty()), 10000);
        QCOMPARE(shown, (QStringList{host, "anna", "secret", "pub"}));
        QVERIFY(app->Session().Connected());
        QCOMPARE(Names(*view), (QStringList{"deeper", "other.txt", "readme.txt"}));
        QCOMPARE(Sites().Children(Sites().FindGroup("Quick Connect")).size(), std::size_t(1));
    }

    void droppedFilesAreUploadedOneByOneAndReplaceNothingUnasked()
    {
        const fs::path local(home->path().toStdString());
        const fs::path top(root->path().toStdString());
        WriteFile(local / "one.txt", "1");
        WriteFile(local / "three.txt", "3");
        fs::create_directories(local / "tree" / "inner");
        WriteFile(local / "tree" / "inner" / "deep.txt", "deep");
        const std::vector<std::string> dropped = {(local / "one.txt").string(), (local / "missing.txt").string(),
                                                  (local / "three.txt").string(), (local / "tree").string()};
        view->Upload(dropped);
        QTRY_COMPARE(prompter->informed.size(), std::size_t(1));
        QCOMPARE(prompter->informed.front(), "System Not Connected To A Server");

        Open(*view, "Work");
        Open(*view, "Local");
        view->Upload(dropped);
        QTRY_VERIFY(Names(*view).contains("tree"));  // the listing shows what the drop made
        QCOMPARE(ReadFile(top / "one.txt"), std::string("1"));
        QCOMPARE(ReadFile(top / "three.txt"), std::string("3"));
        QCOMPARE(ReadFile(top / "tree" / "inner" / "deep.txt"), std::string("deep"));
        QCOMPARE(std::count_if(prompter->informed.begin(), prompter->informed.end(),
                               [](const QString& text) { return text.startsWith("Error uploading file."); }),
                 1);

        // A file the server has is replaced only when the user says so: for each file, or once
        // for every file of the drop still to come.
        WriteFile(local / "hello.txt", "mine");
        WriteFile(local / "one.txt", "uno");
        WriteFile(local / "three.txt", "tres");
        prompter->batchAnswers = {CPrompter::BatchAnswer::No, CPrompter::BatchAnswer::YesToAll};
        const std::size_t asked = prompter->asked.size();
        view->Upload({(local / "hello.txt").string(), (local / "one.txt").string(), (local / "three.txt").string()});
        QTRY_COMPARE(ReadFile(top / "three.txt"), std::string("tres"));
        QCOMPARE(ReadFile(top / "one.txt"), std::string("uno"));
        QCOMPARE(ReadFile(top / "hello.txt"), std::string("hello\n"));
        QCOMPARE(prompter->asked.size(), asked + 2);
        QCOMPARE(prompter->asked[asked],
                 "File Exists: File hello.txt already exists on the server.\n Do you wish to "
                 "overwrite it?");
        prompter->answers.push_back(true);
        view->Upload({(local / "hello.txt").string()});
        QTRY_COMPARE(ReadFile(top / "hello.txt"), std::string("mine"));

        // A drop on the window hands over the bytes of the path, also of a name that is not UTF-8.
        WriteFile(local / "caf\xe9.txt", "accented");
        QMimeData data;
        data.setData("text/uri-list",
                     "file://" + QByteArray::fromStdString(local.string()).toPercentEncoding("/") + "/caf%E9.txt\r\n");
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(frame, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(frame, &drop);
        const auto arrived = [&top] {
            for (const fs::directory_entry& entry : fs::directory_iterator(top)) {
                if (entry.is_regular_file() && ReadFile(entry.path()) == "accented")
                    return true;
            }
            return false;
        };
        QTRY_VERIFY(arrived());
        fs::remove(local / "caf\xe9.txt");  // Qt cannot remove a name that is not UTF-8
    }

    void quickConnectSitesAreNeverSaved()
    {
        prompter->onDialog = [this](QDialog& dialog) {
            if (dialog.windowTitle() == "Session Profile") {
                Labelled(dialog, "Host &name:").setText(QStringLiteral("127.0.0.1:%1").arg(server->Port()));
                Button(dialog, "Anonymous &Login").click();  // the quick-connect profile starts anonymous
                Labelled(dialog, "&User ID:").setText("anna");
                Labelled(dialog, "Pass&word:").setText("secret");
                Button(dialog, "Connect").click();
                return dialog.result();
            }
            if (dialog.windowTitle() == "No Encryption") {
                Button(dialog, "&Always for this site").click();
                return dialog.result();
            }
            return dialog.exec();
        };
        frame->QuickConnect();
        QVERIFY(app->Session().Connected());
        const SiteNodeId quick = Sites().FindGroup("Quick Connect");
        QVERIFY(quick != kRootNode);
        // "Always for this site" holds for the Quick Connect entry while the program runs.
        QCOMPARE(Sites().Node(Sites().Children(quick).front())->profile.encryption, int(kPlainOnly));
        QCOMPARE(Names(*view), (QStringList{"pub", "hello.txt"}));

        frame->close();
        app->Shutdown(0);
        app.reset();
        const std::string saved = ReadFile(home->path().toStdString() + "/data/Tessaline/Tessaline.site");
        QVERIFY(saved.find("[Local]") != std::string::npos);
        QVERIFY(saved.find("Quick Connect") == std::string::npos);
    }

    // A site that takes TLS if available, on a server that offers none: the user is asked before
    // the password goes. "Always for this site" keeps plain FTP in the profile file; Cancel sends
    // nothing more and tells nothing more. A server that has spoken TLS before gets no password
    // and nobody is asked: the user is told why.
    void aServerWithoutTlsIsAskedAboutBeforeThePasswordGoes_data()
    {
        QTest::addColumn<QString>("answer");  // none: the server has spoken TLS before
        for (const char* answer : {"&Send this time", "&Always for this site", "Cancel", ""})
            QTest::newRow(*answer ? answer : "spoke TLS before") << QString::fromUtf8(answer);
    }

    void aServerWithoutTlsIsAskedAboutBeforeThePasswordGoes()
    {
        QFETCH(QString, answer);
        const int encryption = answer == QStringLiteral("&Always for this site") ? kPlainOnly : kTlsIfAvailable;
        const bool connects = answer.startsWith('&');
        const QString host = QStringLiteral("127.0.0.1:%1").arg(server->Port());
        if (answer.isEmpty())
            WriteFile(home->path().toStdString() + "/data/Tessaline/tls-hosts", host.toStdString() + "\n");
        Open(*view, "Work");
        const SiteNodeId site = Sites().Children(Sites().Current()).front();
        CSiteProfile profile = Sites().Node(site)->profile;
        profile.encryption = kTlsIfAvailable;
        Sites().ReplaceProfile(site, profile);
        QStringList asked;
        prompter->onDialog = [&](QDialog& dialog) {
            if (dialog.windowTitle() != QStringLiteral("No Encryption"))
                return dialog.exec();
            asked << dialog.findChildren<QLabel*>().value(0)->text();
            Button(dialog, answer).click();
            return dialog.result();
        };
        Open(*view, "Local");
        const QString question = host + QStringLiteral(" does not offer encryption. Send the password in plain text?");
        QCOMPARE(asked, answer.isEmpty() ? QStringList() : QStringList{question});
        QCOMPARE(bool(app->Session().Connected()), connects);
        QCOMPARE(LogText().contains("Tessaline: USER"), connects);
        QCOMPARE(prompter->informed.size(), answer.isEmpty() ? 1u : 0u);
        if (answer.isEmpty())
            QVERIFY(prompter->informed.front().startsWith(host + QStringLiteral(" has spoken TLS before")));
        QCOMPARE(Sites().Node(site)->profile.encryption, encryption);
        const std::string saved = ReadFile(home->path().toStdString() + "/data/Tessaline/Tessaline.site");
        QVERIFY(saved.find("ENCRYPTION=" + std::to_string(encryption)) != std::string::npos);
    }

private:
    std::set<CommandId> Enabled()
    {
        app->IdleStep();
        std::set<CommandId> on;
        for (const CommandInfo& info : AllCommands()) {
            if (frame->Action(info.id)->isEnabled())
                on.insert(info.id);
        }
        return on;
    }

    // The window title, then what the site tree highlights.
    QString Location()
    {
        app->IdleStep();
        const SiteNodeId highlighted = tree->SelectedNode();
        return frame->windowTitle() + " | "
            + (highlighted == kRootNode ? QString() : QString::fromStdString(Sites().Node(highlighted)->name));
    }

    QString LogText()
    {
        app->IdleStep();
        return frame->LogPane()->toPlainText();
    }

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<QTemporaryDir> root;
    std::unique_ptr<PyftpdlibServer> server;
    std::unique_ptr<TestPrompter> prompter;
    std::unique_ptr<CTessalineApp> app;
    QString downloads;
    CMainFrame* frame = nullptr;
    CTessalinev3View* view = nullptr;
    CSiteTree* tree = nullptr;
    SiteStore& Sites() { return tree->Store(); }
};

QTEST_MAIN(BrowseWalkTest)
#include "browse_walk_test.moc"
