// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program against a server that keeps it waiting: the window goes on painting while a
// command waits for its reply, and a slow command shows its waiting dialog. What a cancel leads to
// is the navigator's (navigator_test.cpp); the waiting dialog's Cancel is browse_dialogs_test's.

#include "app/debug_window.h"
#include "app/main_frame.h"
#include "app/tessaline_app.h"
#include "browse/remote_view.h"
#include "remote/operation_runner.h"
#include "sites/site_tree.h"
#include "support/scripted_ftp_server.h"
#include "support/test_files.h"
#include "support/test_home.h"
#include "support/test_prompter.h"
#include "support/view_mouse.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Counts the paint events a widget gets.
class PaintCounter final : public QObject {
public:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
    std::atomic<int> paints{0};
};

const char kRootListing[] = "drwxr-xr-x   2 anna     anna         4096 Jan 11  2021 slow\r\n"
                            "-rw-r--r--   1 anna     anna            5 Jan 11  2021 top.txt\r\n";
const char kSlowListing[] = "-rw-r--r--   1 anna     anna            6 Jan 11  2021 inside.txt\r\n";

}  // namespace

class SlowServerTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        Hold("");
        release = false;
        inSlow = false;
        home = std::make_unique<QTemporaryDir>();
        UseTestHome(home->path() + "/config", home->path() + "/data");
        server = std::make_unique<ScriptedFtpServer>();
        server->Reply("USER", "331 Password required\r\n");
        server->Reply("PASS", "230 Logged in\r\n");
        server->Reply("SYST", "215 UNIX Type: L8\r\n");
        server->Reply("TYPE", "200 Type set\r\n");
        server->Reply("PORT", "200 PORT command successful\r\n");
        server->OnCommand([this](const std::string& command, ScriptedFtpServer::Control& control) {
            if (command.starts_with("CWD ")) {
                // The reply held back until the test releases it.
                holding = command == HeldCommand();
                const auto deadline = std::chrono::steady_clock::now() + 10s;
                while (holding && !release && control.Connected() && std::chrono::steady_clock::now() < deadline)
                    control.Pause(10ms);
                holding = false;
                inSlow = command == "CWD slow";
                control.SendLine("250 Directory changed");
            } else if (command == "LIST") {
                control.SendLine("150 Here comes the listing");
                if (control.OpenData()) {
                    control.DataSend(inSlow ? kSlowListing : kRootListing);
                    control.CloseData();
                }
                control.SendLine("226 Transfer complete");
            } else {
                if (command.starts_with("USER "))
                    inSlow = false;  // a new login starts at the top
                control.Answer(command);
            }
        });

        fs::create_directories(home->path().toStdString() + "/data/Tessaline");
        WriteFile(home->path().toStdString() + "/data/Tessaline/Tessaline.site",
                  "[Slow]\r\nHOST=127.0.0.1:" + std::to_string(server->Port())
                      + "\r\nUID=anna\r\nPASSWORD=secret\r\nSAVPWD=TRUE\r\nGROUP=Work\r\nPROMPT?=FALSE\r\nENCRYPTION="
                        "3\r\n\r\n");
        {
            QSettings stored(QSettings::NativeFormat, QSettings::UserScope, "Corvane", "Tessaline");
            stored.setValue("ProgramOptions/Retry", 30);
        }
        prompter = std::make_unique<TestPrompter>();
        app = std::make_unique<CTessalineApp>();
        QVERIFY(app->Startup());
        frame = app->MainFrame();
        view = frame->MainViewPane();
        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        frame->LogPane()->viewport()->installEventFilter(&painted);
    }

    void cleanup()
    {
        release = true;
        if (app) {
            frame->close();
            app->Shutdown(0);
            app.reset();
        }
        prompter.reset();
        server.reset();
    }

    void theWindowPaintsWhileACommandWaitsForItsReply()
    {
        ConnectToSlow();
        QCOMPARE(Names(*view), (QStringList{"slow", "top.txt"}));

        // The server answers only once the window has painted while it held the reply, and the
        // wait has shown its dialog.
        Hold("CWD slow");
        bool paintedWhileHeld = false;
        int paintsSeen = 0;
        QTimer ticks;
        connect(&ticks, &QTimer::timeout, this, [&] {
            if (holding && painted.paints > paintsSeen)
                paintedWhileHeld = true;
            paintsSeen = painted.paints;
            frame->LogPane()->viewport()->update();
            if (paintedWhileHeld
                && std::count(prompter->dialogs.begin(), prompter->dialogs.end(), "Waiting for Server"))
                release = true;
        });
        ticks.start(20);
        DoubleClick(*view, "slow");
        QTRY_COMPARE_WITH_TIMEOUT(Names(*view), QStringList{"inside.txt"}, 15000);
        QVERIFY(paintedWhileHeld);
        QCOMPARE(frame->SiteTreePane()->Store().Node(frame->SiteTreePane()->Store().Current())->name,
                 std::string("slow"));
        QVERIFY(prompter->informed.empty());
    }

private:
    void ConnectToSlow()
    {
        frame->RunCommand(CommandId::Details);
        view->selectedIndex = static_cast<int>(Names(*view).indexOf("Work"));
        view->OpenSelectedItem();
        view->selectedIndex = static_cast<int>(Names(*view).indexOf("Slow"));
        view->OpenSelectedItem();
        QVERIFY(app->Session().Connected());
    }

    void Hold(const std::string& command)
    {
        std::lock_guard guard(lock);
        held = command;
    }

    std::string HeldCommand()
    {
        std::lock_guard guard(lock);
        return held;
    }

    std::unique_ptr<QTemporaryDir> home;
    std::unique_ptr<ScriptedFtpServer> server;
    std::unique_ptr<TestPrompter> prompter;
    std::unique_ptr<CTessalineApp> app;
    CMainFrame* frame = nullptr;
    CTessalinev3View* view = nullptr;
    PaintCounter painted;
    std::mutex lock;
    std::string held;  // the command line whose reply the server holds back
    std::atomic<bool> holding{false};
    std::atomic<bool> release{false};
    std::atomic<bool> inSlow{false};
};

QTEST_MAIN(SlowServerTest)
#include "slow_server_test.moc"
