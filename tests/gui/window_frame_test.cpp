// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on a real X server (Xvfb) with a window manager (openbox), which puts its frame
// round the window only after the window is shown: the outer rectangle stored at one close must be
// the outer rectangle of the next start. Skipped, saying why, where Xvfb or openbox is missing.

#include "app/main_frame.h"
#include "app/tessaline_app.h"
#include "support/test_home.h"

#include <QApplication>
#include <QScreen>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string FindProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string rest = path ? path : "/usr/bin:/bin";
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        const std::string candidate = rest.substr(0, colon) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
    }
    return {};
}

pid_t Spawn(const std::vector<std::string>& command)
{
    // Built before the fork: the child of a process with threads must not allocate before exec.
    std::vector<char*> argv;
    for (const std::string& part : command)
        argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

bool WaitForFile(const std::string& path)
{
    for (int i = 0; i < 200; ++i) {
        if (::access(path.c_str(), F_OK) == 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// An X server and a window manager of the test's own, stopped by PID when it goes.
class Desktop final {
public:
    Desktop()
    {
        const std::string server = FindProgram("Xvfb");
        const std::string manager = FindProgram("openbox");
        if (server.empty() || manager.empty()) {
            missing = server.empty() ? "Xvfb" : "openbox";
            return;
        }
        int number = 150;
        while (number < 250
               && (::access(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), F_OK) == 0
                   || ::access(("/tmp/.X" + std::to_string(number) + "-lock").c_str(), F_OK) == 0))
            ++number;
        display = ":" + std::to_string(number);
        serverPid = Spawn({server, display, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"});
        if (!WaitForFile("/tmp/.X11-unix/X" + std::to_string(number))) {
            missing = "a running Xvfb";
            return;
        }
        ::setenv("DISPLAY", display.c_str(), 1);
        // openbox runs its start-up command once it manages the screen.
        const std::string ready = std::string(dir.path().toLocal8Bit().constData()) + "/openbox-ready";
        managerPid = Spawn({manager, "--startup", "/usr/bin/touch " + ready});
        if (!WaitForFile(ready))
            missing = "a running openbox";
    }
    ~Desktop()
    {
        for (const pid_t pid : {managerPid, serverPid}) {
            if (pid > 0) {
                ::kill(pid, SIGTERM);
                ::waitpid(pid, nullptr, 0);
            }
        }
    }
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    std::string missing;  // what is not there; empty when the desktop runs

private:
    QTemporaryDir dir;
    std::string display;
    pid_t serverPid = -1;
    pid_t managerPid = -1;
};

Desktop* desktop = nullptr;

QRect StoredRectangle()
{
    QSettings stored(QSettings::NativeFormat, QSettings::UserScope, "Corvane", "Tessaline");
    const int left = stored.value("WndProperties/Left").toInt();
    const int top = stored.value("WndProperties/Top").toInt();
    return QRect(
        QPoint(left, top),
        QPoint(stored.value("WndProperties/Right").toInt() - 1, stored.value("WndProperties/Bottom").toInt() - 1));
}

}  // namespace

class WindowFrameTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!desktop->missing.empty())
            QSKIP(qPrintable(QString::fromStdString("needs " + desktop->missing
                                                    + " (tools/install-deps installs Xvfb and openbox)")));
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }

    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        UseTestHome(home->path(), home->path());
    }

    void theOuterRectangleStaysTheSameAcrossStarts()
    {
        {
            QSettings stored(QSettings::NativeFormat, QSettings::UserScope, "Corvane", "Tessaline");
            stored.setValue("WndProperties/Left", 100);
            stored.setValue("WndProperties/Top", 80);
            stored.setValue("WndProperties/Right", 900);
            stored.setValue("WndProperties/Bottom", 680);
        }
        for (int run = 0; run < 3; ++run) {
            RunOnce();
            QCOMPARE(StoredRectangle(), QRect(100, 80, 800, 600));
        }
    }

    void theFirstStartIsCentredAndStaysWhereItOpened()
    {
        RunOnce();
        const QRect first = StoredRectangle();
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QVERIFY2(
            (first.center() - available.center()).manhattanLength() <= 2,
            qPrintable(QString("%1,%2 %3x%4").arg(first.x()).arg(first.y()).arg(first.width()).arg(first.height())));
        RunOnce();
        QCOMPARE(StoredRectangle(), first);
    }

private:
    // One run of the program: start, wait until the window manager has framed the window, close.
    void RunOnce()
    {
        CTessalineApp app;
        QVERIFY(app.Startup());
        CMainFrame* frame = app.MainFrame();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        QTRY_VERIFY_WITH_TIMEOUT(frame->frameGeometry().size() != frame->geometry().size(), 10000);
        const QRect wanted = StoredOrNone();
        if (wanted.isValid())
            QTRY_COMPARE_WITH_TIMEOUT(frame->frameGeometry(), wanted, 10000);
        // Whatever the fit does comes once: nothing moves afterwards.
        QTest::qWait(300);
        frame->close();
        app.Shutdown(0);
    }

    QRect StoredOrNone() const
    {
        QSettings stored(QSettings::NativeFormat, QSettings::UserScope, "Corvane", "Tessaline");
        return stored.contains("WndProperties/Right") ? StoredRectangle() : QRect();
    }

    std::unique_ptr<QTemporaryDir> home;
};

int main(int argc, char** argv)
{
    Desktop ownDesktop;
    desktop = &ownDesktop;
    qputenv("QT_QPA_PLATFORM", ownDesktop.missing.empty() ? "xcb" : "offscreen");
    // No desktop bus: the window needs none, and the bus library's own thread leaks at exit.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tessaline-test-bus");
    QApplication application(argc, argv);
    WindowFrameTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "window_frame_test.moc"
