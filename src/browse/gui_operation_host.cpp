// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/gui_operation_host.h"

#include "browse/certificate_dialog.h"
#include "browse/command_waiting_dialog.h"
#include "browse/getting_directory_dialog.h"
#include "browse/host_key_dialog.h"
#include "browse/passphrase_dialog.h"
#include "browse/plain_login_dialog.h"
#include "browse/transfer_status_dialog.h"
#include "browse/trust_answer_buttons.h"
#include "keyring/saved_passwords.h"
#include "remote/operation_runner.h"
#include "sites/connecting_dialog.h"
#include "sites/profiles/keyring_entry.h"
#include "ui/prompter.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QString>
#include <QTimer>

#include <algorithm>

namespace {

// Most commands are answered at once; only a longer wait shows its dialog.
constexpr int kQuietWaitMilliseconds = 300;

// Runs a waiting dialog until its worker ends (true) or the user cancels (false).
template <class Dialog>
bool RunWaitingDialog(CGuiOperationHost& host, Dialog& dialog)
{
    QObject::connect(&host, &CGuiOperationHost::workerEnded, &dialog, &Dialog::Wake, Qt::QueuedConnection);
    // A worker that ended before the dialog was connected sent its wake-up to nobody: look once
    // as soon as the dialog runs instead of at its first tick.
    QTimer::singleShot(0, &dialog, &Dialog::Wake);
    return Prompter().Exec(dialog) == QDialog::Accepted;
}

// Waits up to kQuietWaitMilliseconds for the worker; true when it ended. The windows keep
// repainting meanwhile, and the user's input waits until the command is done or its dialog shows.
bool WorkerEndsQuietly(CGuiOperationHost& host, OperationRunner& runner)
{
    QEventLoop loop;
    QObject::connect(&host, &CGuiOperationHost::workerEnded, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    QTimer::singleShot(kQuietWaitMilliseconds, &loop, &QEventLoop::quit);
    if (runner.WorkerBusy())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return !runner.WorkerBusy();
}

// Runs the question's Dialog on the window thread, which sits in the "Connecting" dialog's loop,
// and answers the worker that waits for `reply`.
template <class Dialog, class Subject>
void AskOnWindowThread(CGuiOperationHost& host, QWidget* window, Subject subject, std::shared_ptr<TrustReply> reply)
{
    QMetaObject::invokeMethod(
        &host,
        [window, subject = std::move(subject), reply = std::move(reply)] {
            if (reply->Abandoned())
                return;  // the connect was cancelled before the question came up
            Dialog dialog(subject, window);
            reply->Answer(TrustAnswerOf(Prompter().Exec(dialog)));
        },
        Qt::QueuedConnection);
}

// The waiting dialog of `kind`, run until the worker ends (true) or the user cancels (false).
bool RunWaitingDialogOf(CGuiOperationHost& host, QWidget* window, WaitKind kind, const std::string& text,
                        OperationRunner& runner)
{
    switch (kind) {
    case WaitKind::Connecting: {
        CConnectingDialog dialog(runner, text, window);
        return RunWaitingDialog(host, dialog);
    }
    case WaitKind::GettingDirectory: {
        CGettingDirectoryDialog dialog(runner, QString::fromStdString(text), window);
        return RunWaitingDialog(host, dialog);
    }
    case WaitKind::RemoteCommand: {
        if (WorkerEndsQuietly(host, runner))
            return true;
        CCommandWaitingDialog dialog(runner, QString::fromStdString(text), window);
        return RunWaitingDialog(host, dialog);
    }
    case WaitKind::FileTransfer: break;
    }
    CTransferStatusDialog dialog(runner, QString::fromStdString(text), window);
    return RunWaitingDialog(host, dialog);
}

}  // namespace

CGuiOperationHost::CGuiOperationHost(QWidget* window) : window(window) {}

bool CGuiOperationHost::WaitWhileBusy(WaitKind kind, const std::string& text, OperationRunner& runner)
{
    OpenQuestions();
    const bool finished = RunWaitingDialogOf(*this, window, kind, text, runner);
    // The runner joins a cancelled worker next: no question may keep it waiting for a dialog.
    if (!finished)
        CloseQuestions(runner);
    return finished;
}

void CGuiOperationHost::WorkerEnded()
{
    // A cancelled worker asks nothing more once it has ended; the next one may ask before its
    // wait has begun.
    OpenQuestions();
    emit workerEnded();
}

void CGuiOperationHost::Inform(const std::string& text)
{
    Prompter().Inform(window, QString::fromStdString(text));
}

void CGuiOperationHost::AskTrust(const CertificateQuestion& question, std::shared_ptr<TrustReply> reply)
{
    AskOnWindowThread<CCertificateDialog>(*this, window, question, std::move(reply));
}

void CGuiOperationHost::AskPlainLogin(const std::string& server, std::shared_ptr<TrustReply> reply)
{
    AskOnWindowThread<CPlainLoginDialog>(*this, window, server, std::move(reply));
}

void CGuiOperationHost::AskHostKey(const HostKeyQuestion& question, std::shared_ptr<TrustReply> reply)
{
    AskOnWindowThread<CHostKeyDialog>(*this, window, question, std::move(reply));
}

std::optional<std::string> CGuiOperationHost::AskPassphrase(const std::string& keyFile)
{
    auto promise = std::make_shared<PassphrasePromise>();
    std::future<std::optional<std::string>> answer = promise->get_future();
    {
        std::lock_guard guard(questionLock);
        if (questionsClosed)
            return std::nullopt;
        unanswered.push_back(promise);
    }
    QMetaObject::invokeMethod(
        this,
        [this, keyFile, promise] {
            if (!Unanswered(promise))
                return;  // the wait was cancelled before the question came up
            SavedPasswords* keyring = SavedPasswords::Active();
            if (!keyring || !keyring->InKeyring() || !keysFromKeyring.insert(keyFile).second) {
                ShowPassphraseDialog(keyFile, promise);
                return;
            }
            keyring->ReadSecret(SshKeyKeyringEntry(keyFile), [this, keyFile, promise](const KeyringReply& reply) {
                if (reply.outcome == KeyringReply::Outcome::Done)
                    SettlePassphrase(promise, reply.password);
                else if (Unanswered(promise))
                    ShowPassphraseDialog(keyFile, promise);
            });
        },
        Qt::QueuedConnection);
    return answer.get();
}

void CGuiOperationHost::ShowPassphraseDialog(const std::string& keyFile,
                                             const std::shared_ptr<PassphrasePromise>& promise)
{
    SavedPasswords* keyring = SavedPasswords::Active();
    CPassphraseDialog dialog(keyFile, keyring && keyring->InKeyring(), window);
    std::optional<std::string> passphrase;
    if (Prompter().Exec(dialog) == QDialog::Accepted)
        passphrase = dialog.Passphrase();
    if (passphrase && dialog.SaveChosen())
        keyring->SaveSecret(SshKeyKeyringEntry(keyFile), *passphrase);
    SettlePassphrase(promise, std::move(passphrase));
}

bool CGuiOperationHost::Unanswered(const std::shared_ptr<PassphrasePromise>& promise)
{
    std::lock_guard guard(questionLock);
    return std::find(unanswered.begin(), unanswered.end(), promise) != unanswered.end();
}

void CGuiOperationHost::SettlePassphrase(const std::shared_ptr<PassphrasePromise>& promise,
                                         std::optional<std::string> passphrase)
{
    std::lock_guard guard(questionLock);
    const auto found = std::find(unanswered.begin(), unanswered.end(), promise);
    if (found == unanswered.end())
        return;
    unanswered.erase(found);
    promise->set_value(std::move(passphrase));
}

void CGuiOperationHost::CloseQuestions(OperationRunner& runner)
{
    std::lock_guard guard(questionLock);
    // A worker that has ended already will not report its end again to open them.
    questionsClosed = runner.WorkerBusy();
    for (const std::shared_ptr<PassphrasePromise>& promise : unanswered)
        promise->set_value(std::nullopt);
    unanswered.clear();
}

void CGuiOperationHost::OpenQuestions()
{
    std::lock_guard guard(questionLock);
    questionsClosed = false;
}
