// SPDX-License-Identifier: GPL-3.0-or-later
// One running copy per data directory: a request on its socket brings the window to the front,
// and real starts of the program (offscreen, in a home of their own) hand over to the running
// copy, or start normally when the socket is stale or its copy does not answer.

#include "app/single_instance.h"
#include "tessaline_version.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

namespace {

constexpr int kStartMilliseconds = 30000;

// True when the copy listening at `path` answers that it has come to the front.
bool RaiseAnswered(const QString& path)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write("raise\n");
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(1000))
            return false;
    }
    return socket.readLine() == "raised\n";
}

// Asks again and again until the copy at `path` answers or the time is up. (QTRY_ counts only
// its own pauses, and each try can wait a second.)
bool AnswersWithin(const QString& path, int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    while (!RaiseAnswered(path)) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

// Every entry below `root` with its size and modification time.
QStringList Snapshot(const QString& root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries << info.filePath()
                + (info.isDir()
                       ? QString()
                       : QStringLiteral(" %1 %2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch()));
    }
    entries.sort();
    return entries;
}

}  // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        home = std::make_unique<QTemporaryDir>();
        QDir(home->path()).mkdir(QStringLiteral("run"));
        QFile::setPermissions(home->filePath("run"),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert("HOME", home->path());
        environment.insert("XDG_CONFIG_HOME", home->filePath("config"));
        environment.insert("XDG_DATA_HOME", home->filePath("data"));
        environment.insert("XDG_RUNTIME_DIR", home->filePath("run"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        // No desktop bus: the program needs none, and the bus library's own thread leaks at exit.
        environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/tessaline-test-bus");
        // The same socket name as the program's.
        for (const char* name : {"XDG_DATA_HOME", "XDG_RUNTIME_DIR"})
            qputenv(name, environment.value(name).toUtf8());
        path = CSingleInstance::SocketPath();
        QVERIFY(!path.isEmpty());
    }

    void cleanup()
    {
        for (QProcess* copy : {&first, &second}) {
            if (copy->state() != QProcess::NotRunning) {
                copy->kill();
                copy->waitForFinished();
            }
        }
    }

    void aRequestBringsTheWindowToTheFront()
    {
        CSingleInstance instance;
        QVERIFY(!instance.HandedToRunningCopy({}));
        QWidget window;
        window.showMinimized();
        instance.BringToFrontOnRequest(&window);

        QLocalSocket socket;
        socket.connectToServer(path);
        QVERIFY(socket.waitForConnected(5000));
        socket.write("raise\n");
        QTRY_VERIFY(socket.canReadLine());
        QCOMPARE(socket.readLine(), QByteArray("raised\n"));
        QVERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());
        QTRY_VERIFY(window.isActiveWindow());
    }

    void aSecondStartHandsItsUrlOver()
    {
        CSingleInstance instance;
        QVERIFY(!instance.HandedToRunningCopy({}));
        QWidget window;
        instance.BringToFrontOnRequest(&window);
        QSignalSpy requested(&instance, &CSingleInstance::urlRequested);
        const QString url = QStringLiteral("ftp://anna@127.0.0.1:2121/pub/");

        Start(second, {url});
        QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, kStartMilliseconds);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(requested.count(), 1);
        QCOMPARE(requested[0][0].toString(), url);
        QVERIFY(window.isVisible());
    }

    // Answered before any window opens, and without a display for --version and --help.
    void theCommandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("output");
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << QStringLiteral("tessaline %1\n").arg(kTessalineVersion);
        QTest::newRow("-h") << QStringList{"-h"} << 0 << QStringLiteral("usage: tessaline ");
        QTest::newRow("unknown option") << QStringList{"--bogus"} << 2
                                        << QStringLiteral("tessaline: unknown option --bogus\n");
        QTest::newRow("bad URL, password hidden") << QStringList{"ftp://a:secret@h:99999/"} << 2
                                                  << QStringLiteral("tessaline: bad URL ftp://a:***@h:99999/: ");
        QTest::newRow("two URLs") << QStringList{"ftp://h/", "ftp://g/"} << 2
                                  << QStringLiteral("tessaline: give one ftp:// URL only\n");
        QTest::newRow("not a URL") << QStringList{"notes.txt"} << 2
                                   << QStringLiteral("tessaline: not an ftp:// URL: notes.txt\n");
    }

    void theCommandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, output);
        if (status == 0) {
            for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
                environment.remove(QString::fromLatin1(name));
        }
        first.setProcessEnvironment(environment);
        first.start(QStringLiteral(TESSALINE_PROGRAM), arguments);
        QVERIFY(first.waitForFinished(kStartMilliseconds));
        QCOMPARE(first.exitCode(), status);
        const QString printed =
            QString::fromUtf8(status == 0 ? first.readAllStandardOutput() : first.readAllStandardError());
        QVERIFY2(printed.startsWith(output), qPrintable(printed));
    }

    void aSecondStartHandsOverAndWritesNothing()
    {
        Start(first);
        QVERIFY(AnswersWithin(path, kStartMilliseconds));
        const QStringList before = Snapshot(home->path());

        Start(second);
        QVERIFY(second.waitForFinished(kStartMilliseconds));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(Snapshot(home->path()), before);

        QCOMPARE(first.state(), QProcess::Running);
        QVERIFY(RaiseAnswered(path));
        EndNormally(first);
    }

    void aStaleSocketDoesNotBlockAStart()
    {
        // What a copy that crashed leaves: a socket file nobody listens on.
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray name = QFile::encodeName(path);
        std::memcpy(address.sun_path, name.constData(), std::size_t(name.size()));
        QCOMPARE(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        ::close(fd);
        QVERIFY(QFileInfo::exists(path));

        Start(first);
        QVERIFY(AnswersWithin(path, kStartMilliseconds));
        EndNormally(first);
    }

    // A running copy that does not answer (hung) does not keep the user from starting.
    void aCopyThatDoesNotAnswerIsStartedBeside()
    {
        QLocalServer silent;
        QVERIFY(silent.listen(path));
        Start(first);
        QVERIFY(AnswersWithin(path, kStartMilliseconds));
        QCOMPARE(first.state(), QProcess::Running);
        EndNormally(first);
    }

private:
    void Start(QProcess& copy, const QStringList& arguments = {})
    {
        copy.setProcessEnvironment(environment);
        copy.setProcessChannelMode(QProcess::ForwardedChannels);
        copy.start(QStringLiteral(TESSALINE_PROGRAM), arguments);
        QVERIFY(copy.waitForStarted());
    }

    static void EndNormally(QProcess& copy)
    {
        ::kill(pid_t(copy.processId()), SIGTERM);
        QVERIFY(copy.waitForFinished(kStartMilliseconds));
        QCOMPARE(copy.exitStatus(), QProcess::NormalExit);
        QCOMPARE(copy.exitCode(), 0);
    }

    std::unique_ptr<QTemporaryDir> home;
    QProcessEnvironment environment;
    QString path;
    QProcess first;
    QProcess second;
};

QTEST_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
