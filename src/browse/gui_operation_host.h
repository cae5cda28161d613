// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CGuiOperationHost: the desktop program's side of background operations. While a worker runs,
// the window thread sits in the modal waiting dialog of the operation ("Connecting", "Getting
// Directory", "File Transfer Status"; "Waiting for Server" for a remote command, shown only when
// the server is slow); the worker's end wakes that dialog through a queued signal, so the worker
// itself never touches a widget. The worker's questions run on the window thread as well, inside
// that waiting dialog's loop.

#include "remote/operation_host.h"

#include <QObject>

#include <future>
#include <mutex>
#include <set>
#include <string>
#include <vector>

class QWidget;

class CGuiOperationHost final : public QObject, public OperationHost {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CGuiOperationHost)

public:
    // `window` is the parent of the waiting dialogs and message boxes.
    explicit CGuiOperationHost(QWidget* window);

    // For a connect `text` is the host; otherwise it is the dialog's text line.
    bool WaitWhileBusy(WaitKind kind, const std::string& text, OperationRunner& runner) override;
    void WorkerEnded() override;
    void Inform(const std::string& text) override;
    // The certificate dialog, run on the window thread; the worker waits for the answer.
    void AskTrust(const CertificateQuestion& question, std::shared_ptr<TrustReply> reply) override;
    // The question before a password goes in plain text, the same way.
    void AskPlainLogin(const std::string& server, std::shared_ptr<TrustReply> reply) override;
    // The unknown host key dialog, the same way.
    void AskHostKey(const HostKeyQuestion& question, std::shared_ptr<TrustReply> reply) override;
    // The passphrase dialog; the worker blocks until it is answered. A wait the user cancels
    // answers it with nothing, as it does every question of its worker until that ends. A
    // passphrase saved in the keyring answers the first question for its key in the run; a
    // later one (the saved one may be wrong) is asked.
    std::optional<std::string> AskPassphrase(const std::string& keyFile) override;

signals:
    // Emitted on the worker thread: receivers connect queued.
    void workerEnded();

private:
    using PassphrasePromise = std::promise<std::optional<std::string>>;
    // Gives `promise` its answer unless it has one already.
    void SettlePassphrase(const std::shared_ptr<PassphrasePromise>& promise, std::optional<std::string> passphrase);
    void ShowPassphraseDialog(const std::string& keyFile, const std::shared_ptr<PassphrasePromise>& promise);
    // The question of `promise` still waits for its answer.
    bool Unanswered(const std::shared_ptr<PassphrasePromise>& promise);
    // Answers every open passphrase question with nothing, and every later one of `runner`'s
    // worker, while it runs, until OpenQuestions.
    void CloseQuestions(OperationRunner& runner);
    void OpenQuestions();

    QWidget* window;
    std::mutex questionLock;
    bool questionsClosed = false;
    std::vector<std::shared_ptr<PassphrasePromise>> unanswered;
    std::set<std::string> keysFromKeyring;  // window thread only
};
