// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One running copy per data directory. A later start asks the running copy to come to the front
// (and to open the URL it was given) and ends, instead of running beside it and writing over its
// site profiles and settings at exit.
// The running copy answers on a local socket in the user's private runtime directory, named after
// the data directory, so copies that have data directories of their own do not meet.

#include <QObject>
#include <QPointer>
#include <QString>

class QLocalServer;
class QWidget;

class CSingleInstance final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CSingleInstance)

public:
    CSingleInstance() = default;

    // True when a running copy answered that it has come to the front, and has taken `url` when
    // one is given: this start is to end, having written nothing. Otherwise this copy takes the
    // socket (replacing one left by a crash, or one whose copy did not answer in time) and answers
    // later starts itself.
    bool HandedToRunningCopy(const QString& url);
    // From now on each later start brings `window` to the front.
    void BringToFrontOnRequest(QWidget* window);

    // The socket for this user and data directory; empty without a private runtime directory.
    static QString SocketPath();

signals:
    // A later start handed over this URL, after its answer went out.
    void urlRequested(const QString& url);

private:
    void AnswerPendingStarts();

    QLocalServer* server = nullptr;
    QPointer<QWidget> window;
};
