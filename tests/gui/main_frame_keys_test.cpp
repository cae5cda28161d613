// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's keys as the user presses them: each reaches its command once, a disabled
// command's key does nothing, and the keys the panes handle themselves (in-place rename, the main
// view's Backspace and Delete) or that an editor takes stay where they are typed.

#include "app/debug_window.h"
#include "app/main_frame.h"
#include "app/tessaline_app.h"
#include "browse/remote_view.h"
#include "remote/session_log.h"
#include "sites/site_tree.h"
#include "support/test_home.h"
#include "support/test_prompter.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <map>

Q_DECLARE_METATYPE(CommandId)

namespace {

QLineEdit* FocusedEditor()
{
    return qobject_cast<QLineEdit*>(QApplication::focusWidget());
}

}  // namespace

class MainFrameKeysTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        dir = NewTestHome();
        app = std::make_unique<CTessalineApp>();
        QVERIFY(app->Startup());
        frame = app->MainFrame();
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        frame->SiteTreePane()->Store().AddGroup("Local");
        frame->MainViewPane()->ShowSites();
    }

    void cleanup()
    {
        app->Shutdown(0);
        app.reset();
        runs.clear();
    }

    void everyKeyReachesItsCommandOnce_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<CommandId>("command");
        using enum CommandId;
        QTest::newRow("F5") << int(Qt::Key_F5) << int(Qt::NoModifier) << Refresh;
        QTest::newRow("F2") << int(Qt::Key_F2) << int(Qt::NoModifier) << Rename;
        QTest::newRow("Delete") << int(Qt::Key_Delete) << int(Qt::NoModifier) << Delete;
        QTest::newRow("Ctrl+N") << int(Qt::Key_N) << int(Qt::ControlModifier) << NewSite;
        QTest::newRow("Ctrl+Shift+N") << int(Qt::Key_N) << int(Qt::ControlModifier | Qt::ShiftModifier) << NewGroup;
        QTest::newRow("Alt+Up") << int(Qt::Key_Up) << int(Qt::AltModifier) << UpOneLevel;
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << int(Qt::NoModifier) << UpOneLevel;
        QTest::newRow("Ctrl+Q") << int(Qt::Key_Q) << int(Qt::ControlModifier) << Exit;
        QTest::newRow("Ctrl+D") << int(Qt::Key_D) << int(Qt::ControlModifier) << Disconnect;
        QTest::newRow("F1") << int(Qt::Key_F1) << int(Qt::NoModifier) << Help;
    }

    void everyKeyReachesItsCommandOnce()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(CommandId, command);
        CountEveryCommand();
        frame->LogPane()->setFocus();
        QTest::keyClick(frame->LogPane(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(runs, (std::map<CommandId, int>{{command, 1}}));
    }

    // The rule is asked when the key comes, not at the last idle step.
    void aDisabledCommandsKeyDoesNothing()
    {
        bool connected = false;
        frame->SetCommandHandler(
            CommandId::Refresh, [this] { ++runs[CommandId::Refresh]; }, [&connected] { return connected; });
        frame->LogPane()->setFocus();
        QTest::keyClick(frame->LogPane(), Qt::Key_F5);
        QCOMPARE(runs[CommandId::Refresh], 0);
        connected = true;
        QTest::keyClick(frame->LogPane(), Qt::Key_F5);
        QCOMPARE(runs[CommandId::Refresh], 1);
        connected = false;
        QTest::keyClick(frame->LogPane(), Qt::Key_F5);
        QCOMPARE(runs[CommandId::Refresh], 1);
    }

    void theMainViewKeepsItsOwnKeys()
    {
        TestPrompter prompter;
        CountEveryCommand();
        QAbstractItemView* list = frame->MainViewPane()->ActiveList();
        list->setFocus();
        list->setCurrentIndex(list->model()->index(0, 0));

        // Not connected: the view's own Backspace beeps, and Delete goes to the command once.
        QTest::keyClick(list, Qt::Key_Backspace);
        QCOMPARE(prompter.beeps, 1);
        QTest::keyClick(list, Qt::Key_Delete);
        QTRY_COMPARE(runs[CommandId::Delete], 1);
        QTest::qWait(50);
        QCOMPARE(runs, (std::map<CommandId, int>{{CommandId::Delete, 1}}));

        // F2 renames in place, and the editor keeps every key typed into it.
        runs.clear();
        QTest::keyClick(list, Qt::Key_F2);
        QLineEdit* editor = FocusedEditor();
        QVERIFY(editor);
        QVERIFY(frame->MainViewPane()->isAncestorOf(editor));
        TypeIntoEditor(editor);
        QCOMPARE(runs, (std::map<CommandId, int>{}));
        QCOMPARE(prompter.beeps, 1);
    }

    void theSiteTreeRenamesInPlaceAndPassesTheRestOn()
    {
        CountEveryCommand();
        CSiteTree* tree = frame->SiteTreePane();
        tree->setFocus();
        tree->setCurrentIndex(tree->model()->index(0, 0));

        QTest::keyClick(tree, Qt::Key_Delete);
        QTest::keyClick(tree, Qt::Key_Backspace);
        QCOMPARE(runs, (std::map<CommandId, int>{{CommandId::Delete, 1}, {CommandId::UpOneLevel, 1}}));

        runs.clear();
        QTest::keyClick(tree, Qt::Key_F2);
        QLineEdit* editor = FocusedEditor();
        QVERIFY(editor);
        QVERIFY(tree->isAncestorOf(editor));
        TypeIntoEditor(editor);
        QCOMPARE(runs, (std::map<CommandId, int>{}));
    }

    // F2 outside the panes' lists opens the Rename dialog, whose field keeps Backspace.
    void theRenameDialogKeepsBackspace()
    {
        TestPrompter prompter;
        frame->SetCommandHandler(
            CommandId::UpOneLevel, [this] { ++runs[CommandId::UpOneLevel]; }, [] { return true; });
        CSiteTree* tree = frame->SiteTreePane();
        tree->setFocus();
        tree->setCurrentIndex(tree->model()->index(0, 0));
        QString typed;
        prompter.onDialog = [&typed](QDialog& dialog) {
            dialog.show();
            dialog.activateWindow();
            if (!QTest::qWaitForWindowActive(&dialog))
                return int(QDialog::Rejected);
            auto* edit = dialog.findChild<QLineEdit*>();
            edit->setFocus();
            edit->end(false);
            QTest::keyClick(edit, Qt::Key_Backspace);
            typed = edit->text();
            return int(QDialog::Rejected);
        };
        frame->LogPane()->setFocus();
        QTest::keyClick(frame->LogPane(), Qt::Key_F2);
        QCOMPARE(prompter.dialogs, (std::vector<QString>{"Rename"}));
        QCOMPARE(typed, QStringLiteral("Loca"));
        QCOMPARE(runs[CommandId::UpOneLevel], 0);
    }

private:
    void CountEveryCommand()
    {
        for (const CommandInfo& info : AllCommands()) {
            const CommandId id = info.id;
            frame->SetCommandHandler(
                id, [this, id] { ++runs[id]; }, [] { return true; });
        }
    }

    // Editing keys change the text; command keys do nothing while the editor is open.
    static void TypeIntoEditor(QLineEdit* editor)
    {
        editor->setText(QStringLiteral("abc"));
        editor->setCursorPosition(1);
        QTest::keyClick(editor, Qt::Key_Delete);
        QTest::keyClick(editor, Qt::Key_Backspace);
        QCOMPARE(editor->text(), QStringLiteral("c"));
        for (const auto& [key, modifiers] : {std::pair{Qt::Key_F2, Qt::NoModifier},
                                             {Qt::Key_F5, Qt::NoModifier},
                                             {Qt::Key_Up, Qt::AltModifier},
                                             {Qt::Key_N, Qt::ControlModifier},
                                             {Qt::Key_D, Qt::ControlModifier},
                                             {Qt::Key_F1, Qt::NoModifier}})
            QTest::keyClick(editor, key, modifiers);
        QCOMPARE(FocusedEditor(), editor);
        QTest::keyClick(editor, Qt::Key_Escape);
    }

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<CTessalineApp> app;
    CMainFrame* frame = nullptr;
    std::map<CommandId, int> runs;
};

QTEST_MAIN(MainFrameKeysTest)
#include "main_frame_keys_test.moc"
