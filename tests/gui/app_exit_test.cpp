// SPDX-License-Identifier: GPL-3.0-or-later
// The end of a run of the desktop program: what is saved before the session is quit, how long a
// silent server may hold the exit, and what a signal does once the window is gone.

#include "app/main_frame.h"
#include "app/termination_signals.h"
#include "app/tessaline_app.h"
#include "ftp/encryption.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"
#include "support/scripted_ftp_server.h"
#include "support/test_data.h"
#include "support/test_home.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

using Control = ScriptedFtpServer::Control;
using namespace std::chrono_literals;

namespace {

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// A server that logs anyone in and answers quit with silence (hanging up only after 30 s);
// `onQuit` runs on the server thread when quit arrives.
void ServeASilentQuit(ScriptedFtpServer& server, std::function<void()> onQuit = {})
{
    server.Reply("USER", "331 Password required\r\n");
    server.Reply("PASS", "230 Logged in\r\n");
    server.Reply("SYST", "215 UNIX Type: L8\r\n");
    server.OnCommand([onQuit](const std::string& command, Control& control) {
        if (command != "quit") {
            control.Answer(command);
            return;
        }
        if (onQuit)
            onQuit();
        control.Pause(30s);
        control.Close();
    });
}

bool ConnectTo(RemoteSession& session, int port)
{
    RemoteLogin login;
    login.host = "127.0.0.1:" + std::to_string(port);
    login.user = "anna";
    login.password = "secret";
    login.encryption = kPlainOnly;  // the scripted server speaks plain FTP
    session.SetLogin(login);
    return session.Connect();
}

// The program's part of the signal test runs in a process of its own: this test program started
// again with these set. A copy forked from the test process would carry the locks its other
// threads (the scripted server's, Qt's) held at the fork, and could wait on one for ever.
constexpr char kProgramHome[] = "TESSALINE_EXIT_TEST_HOME";
constexpr char kProgramServerPort[] = "TESSALINE_EXIT_TEST_PORT";

// Starts the program in `home`, connects it to the server on `port` and shuts it down; the server
// sends the signal while the program waits for the answer to its quit. Never returns: the exit
// status says how far it got.
[[noreturn]] void RunTheProgram(const QString& home, int port)
{
    int argc = 1;
    char name[] = "tessaline";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    UseTestHome(home, home);
    CTessalineApp app;
    if (!app.Startup())
        ::_exit(2);
    CloseOnTerminationSignals(app.MainFrame());
    app.Settings().engine.retry = 4321;
    if (!ConnectTo(app.Session(), port))
        ::_exit(3);
    app.Shutdown(0);
    ::_exit(0);
}

}  // namespace

class AppExitTest : public QObject {
    Q_OBJECT

public:
    // Runs before the test's own QApplication exists.
    static void initMain()
    {
        if (qEnvironmentVariableIsSet(kProgramServerPort))
            RunTheProgram(qEnvironmentVariable(kProgramHome), qEnvironmentVariableIntValue(kProgramServerPort));
    }

private slots:
    void init() { dir = NewTestHome(); }

    void quitAtExitDoesNotWaitForASilentServer()
    {
        ScriptedFtpServer server;
        ServeASilentQuit(server);
        CTessalineApp app;
        QVERIFY(app.Startup());
        app.Settings().engine.retry = 0;  // no time-out at all
        QVERIFY(ConnectTo(app.Session(), server.Port()));
        app.MainFrame()->close();
        QCOMPARE(app.Shutdown(0), 0);

        std::vector<std::string> log;
        DrainLogQueue([&log](const std::string& line) { log.push_back(line); });
        const auto has = [&log](const std::string& text) {
            return std::find(log.begin(), log.end(), text) != log.end();
        };
        QVERIFY(has("Tessaline: quit"));
        QVERIFY2(has("Connection timed out, try connecting again."), "the quit was not cut short");
        QVERIFY(!has("Connection closed by the server."));
    }

    // The program runs in a process of its own, so that the signal it gets may end it.
    void everythingIsSavedBeforeQuitAndASignalThenEndsTheProcess()
    {
        const std::filesystem::path home = dir->path().toStdString();
        std::filesystem::create_directories(home / "Tessaline");
        std::filesystem::copy_file(TestDataPath("Tessa.INI"), home / "Tessaline" / "Tessa.INI");

        std::atomic<pid_t> child{-1};
        std::atomic<bool> settingsSaved{false};
        std::atomic<bool> profilesSaved{false};
        ScriptedFtpServer server;
        ServeASilentQuit(server, [&] {
            settingsSaved = ReadFile(home / "Corvane" / "Tessaline.conf").find("Retry=4321") != std::string::npos;
            profilesSaved =
                ReadFile(home / "Tessaline" / "Tessaline.site").find("HOST=ftp.example.org") != std::string::npos;
            while (child.load() <= 0)
                std::this_thread::yield();
            ::kill(child, SIGTERM);
        });

        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kProgramHome, dir->path());
        environment.insert(kProgramServerPort, QString::number(server.Port()));
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(program.waitForStarted());
        child = pid_t(program.processId());
        QVERIFY(program.waitForFinished(-1));
        QVERIFY(settingsSaved);
        QVERIFY(profilesSaved);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 128 + SIGTERM);
    }

private:
    std::unique_ptr<QTemporaryDir> dir;
};

QTEST_MAIN(AppExitTest)
#include "app_exit_test.moc"
