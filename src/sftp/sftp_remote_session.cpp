// SPDX-License-Identifier: GPL-3.0-or-later
#include "sftp/sftp_remote_session.h"

#include "remote/exchange_result.h"
#include "remote/session_log.h"
#include "sftp/sftp_context.h"
#include "sftp/sftp_steps.h"

#include <libssh/libssh.h>

SftpRemoteSession::SftpRemoteSession(const SessionSettings& settings) : context(std::make_unique<SftpContext>(settings))
{}

SftpRemoteSession::~SftpRemoteSession() = default;

OperationRunner& SftpRemoteSession::Operations()
{
    return context->operations;
}

std::unique_ptr<RemoteSession> SftpRemoteSession::NewSession() const
{
    auto another = std::make_unique<SftpRemoteSession>(context->settings);
    another->SetLogin(Login());
    // A host key trusted once and the passphrases given hold for the copy's connections too.
    another->context->memo = context->memo;
    return another;
}

void SftpRemoteSession::SetLogin(const RemoteLogin& login)
{
    context->login = login;
    context->login.protocol = RemoteProtocol::Sftp;
    context->memo = std::make_shared<SshLoginMemo>();
}

RemoteLogin SftpRemoteSession::Login() const
{
    return context->login;
}

bool SftpRemoteSession::Connect()
{
    if (context->connected) {
        LogMessage("Trying to connect when already connected.");
        return false;
    }
    context->failure = {};
    context->lost = false;
    context->nextId = 1;
    if (context->cancelRequested)
        return false;
    if (!OpenSsh(*context) || !LogIn(*context))
        return false;
    context->connected = true;
    if (!StartSftp(*context)) {
        if (context->failure.connectFailure == ConnectFailure::None)
            context->failure.connectFailure = ConnectFailure::Other;
        context->Close();
        return false;
    }
    return true;
}

bool SftpRemoteSession::Connected() const
{
    return context->connected;
}

bool SftpRemoteSession::Encrypted() const
{
    return context->connected;
}

int SftpRemoteSession::Quit()
{
    if (!context->ssh)
        return kNotSent;
    LogMessage("Tessaline: QUIT");
    context->Close();
    return kCompletion;
}

int SftpRemoteSession::QuitAtExit()
{
    // Closing sends one message and waits for nothing: quick enough at exit, whatever the server does.
    return Quit();
}

ListingResult SftpRemoteSession::ListDirectory(ListingUse use, std::vector<CDirEntry>& entries)
{
    if (!Ready())
        return ListingResult::Failed;
    ListingResult result = ListingResult::Failed;
    std::thread worker = context->operations.Start([&] { result = ListEntries(*context, use, entries); });
    if (!context->operations.Wait(worker, WaitKind::GettingDirectory,
                                  FormatText("Getting directory %s", {context->directory})))
        return ListingResult::Cancelled;
    return result;
}

int SftpRemoteSession::RunTransfer(const std::string& text, std::function<int()> transfer)
{
    context->failure.localFileError = 0;
    context->failure.localPath.clear();
    context->operations.SetTransferTotal(0);
    context->operations.SetTransferDone(0);
    context->operations.SetTransferStart(0);
    context->operations.SetWorkerResult(kNotSent);
    std::thread worker = context->operations.Start(
        [this, transfer = std::move(transfer)] { context->operations.SetWorkerResult(transfer()); });
    if (!context->operations.Wait(worker, WaitKind::FileTransfer, text)) {
        context->transferAborted = 1;
        return kTransferCancelled;
    }
    const int result = context->operations.WorkerResult();
    if (result != kCompletion)
        context->transferAborted = 1;
    return result;
}

int SftpRemoteSession::RetrieveFile(const std::string& remoteName, const std::string& localPath,
                                    const ListedFile& listed, TransferStart start)
{
    if (!Ready())
        return kTransferNotStarted;
    return RunTransfer(FormatText("Receiving %s From %s", {remoteName, context->login.host}),
                       [=, this] { return Download(*context, remoteName, localPath, listed, start); });
}

int SftpRemoteSession::StoreFile(const std::string& remoteName, const std::string& localPath, TransferStart start)
{
    if (!Ready())
        return kTransferNotStarted;
    return RunTransfer(FormatText("Sending %s To %s", {remoteName, context->login.host}),
                       [=, this] { return Upload(*context, remoteName, localPath, start); });
}

void SftpRemoteSession::Cancel()
{
    context->Interrupt();
}

void SftpRemoteSession::ClearCancel()
{
    context->cancelRequested = false;
}

bool SftpRemoteSession::CancelRequested() const
{
    return context->cancelRequested;
}

bool SftpRemoteSession::ConnectionLost() const
{
    return context->lost;
}

SessionFailure SftpRemoteSession::Failure() const
{
    SessionFailure failure = context->failure;
    failure.cancelled = context->cancelRequested;
    return failure;
}

std::atomic<int>& SftpRemoteSession::TransferAborted()
{
    return context->transferAborted;
}
