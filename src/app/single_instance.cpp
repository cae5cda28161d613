// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/single_instance.h"

#include "ftp/local_dirs.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QWidget>

namespace {

// How long a start waits for the running copy's answer before it starts beside it.
constexpr int kAnswerMilliseconds = 3000;
// A start that holds the lock waits at most one answer; the next one waits for it to finish.
constexpr int kLockMilliseconds = 2 * kAnswerMilliseconds;

constexpr char kRequest[] = "raise\n";
// Followed by the URL and a line end.
constexpr char kOpenRequest[] = "open ";
constexpr char kAnswer[] = "raised\n";
// Far longer than any URL a browser hands over; a bound on what a stray client can make us keep.
constexpr qint64 kLongestRequest = 16 * 1024;

bool RunningCopyAnswered(const QString& path, const QString& url)
{
    const QDeadlineTimer deadline(kAnswerMilliseconds);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(url.isEmpty() ? QByteArray(kRequest) : kOpenRequest + url.toUtf8() + '\n');
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(int(deadline.remainingTime())))
            return false;
    }
    return socket.readLine() == kAnswer;
}

void BringToFront(QWidget& window)
{
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

}  // namespace

QString CSingleInstance::SocketPath()
{
    const std::string runtime = PrivateTempDirectory();
    if (runtime.empty())
        return {};
    const QByteArray data = QByteArray::fromStdString(DataDirectory());
    const QByteArray key = QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex().left(16);
    return QString::fromStdString(runtime) + QStringLiteral("instance-") + QString::fromLatin1(key);
}

bool CSingleInstance::HandedToRunningCopy(const QString& url)
{
    const QString path = SocketPath();
    if (path.isEmpty())
        return false;
    // Two starts at the same moment: the second asks only once the first listens.
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.tryLock(kLockMilliseconds);
    if (RunningCopyAnswered(path, url))
        return true;
    QLocalServer::removeServer(path);
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path)) {
        delete server;
        server = nullptr;
    }
    return false;
}

void CSingleInstance::BringToFrontOnRequest(QWidget* shown)
{
    window = shown;
    if (!server)
        return;
    connect(server, &QLocalServer::newConnection, this, &CSingleInstance::AnswerPendingStarts);
    // A start that came while this copy was still starting up.
    AnswerPendingStarts();
}

void CSingleInstance::AnswerPendingStarts()
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kLongestRequest)
                    socket->abort();
                return;
            }
            const QByteArray request = socket->readLine(kLongestRequest);
            const bool opens = request.startsWith(kOpenRequest) && request.endsWith('\n');
            if ((request == kRequest || opens) && window) {
                BringToFront(*window);
                socket->write(kAnswer);
            }
            socket->disconnectFromServer();
            if (opens && window)
                emit urlRequested(QString::fromUtf8(request.mid(qsizetype(sizeof kOpenRequest) - 1).chopped(1)));
        });
    }
}
