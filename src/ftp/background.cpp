// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/background.h"

#include "ftp/ftp_session.h"
#include "remote/exchange_result.h"
#include "remote/format_text.h"
#include "remote/session_log.h"

#include <system_error>

std::thread StartWorker(CFtpSession& session, std::function<void()> body)
{
    COperationStatus& status = session.operationStatus;
    {
        // Busy before the thread starts, so the wait cannot end before the worker has begun. One
        // operation at a time: two workers on one session would interleave their commands.
        std::lock_guard guard(status.lock);
        if (status.workerBusy) {
            LogMessage("Another operation is still in progress.");
            status.workerResult = kNotSent;
            return {};
        }
        status.workerBusy = 1;
    }
    try {
        return std::thread([&session, body = std::move(body)] {
            body();
            {
                std::lock_guard guard(session.operationStatus.lock);
                session.operationStatus.workerBusy = 0;
            }
            if (session.host)
                session.host->WorkerEnded();
        });
    } catch (const std::system_error&) {
        std::lock_guard guard(status.lock);
        status.workerBusy = 0;
        status.workerResult = kNotSent;
        return {};
    }
}

std::thread StartConnectWorker(CFtpSession& session)
{
    return StartWorker(session, [&session] { session.Connect(); });
}

std::thread StartDownloadWorker(CFtpSession& session)
{
    return StartWorker(session, [&session] {
        session.SetWorkerResult(session.ReceiveFile());
    });
}

std::thread StartUploadWorker(CFtpSession& session)
{
    return StartWorker(session, [&session] {
        // The mode in force now, so a change in the options applies to the next upload at once.
        session.transferType = static_cast<char>(session.Settings().transferMode.load());
        session.SetWorkerResult(session.SendFile());
    });
}

bool WaitForWorker(CFtpSession& session, std::thread& worker, WaitKind kind, const std::string& text)
{
    // A worker that was not started leaves its operation's result as it was: nothing to wait for.
    if (!worker.joinable())
        return true;
    {
        std::lock_guard guard(session.operationStatus.lock);
        ++session.operationStatus.waits;
    }
    const bool finished = !session.host || session.host->WaitWhileBusy(kind, text, session);
    {
        std::lock_guard guard(session.operationStatus.lock);
        --session.operationStatus.waits;
    }
    if (finished) {
        if (worker.joinable())
            worker.join();
        return true;
    }
    {
        // Holding the lock keeps the worker from being stopped inside it.
        std::lock_guard guard(session.operationStatus.lock);
        session.Cancel();
    }
    if (worker.joinable())
        worker.join();
    session.AbortTransfer();
    {
        std::lock_guard guard(session.operationStatus.lock);
        session.operationStatus.workerBusy = 0;
    }
    session.ClearCancel();
    return false;
}

std::optional<int> RunRemoteCommand(CFtpSession& session, std::function<int()> command)
{
    session.SetWorkerResult(kNotSent);  // what stays when no worker starts
    std::thread worker = StartWorker(session, [&session, command = std::move(command)] {
        session.SetWorkerResult(command());
    });
    if (!WaitForWorker(session, worker, WaitKind::RemoteCommand,
                       FormatText("Waiting for %s to answer", {session.hostName})))
        return std::nullopt;
    return session.WorkerResult();
}

bool WorkerBusy(CFtpSession& session)
{
    std::lock_guard guard(session.operationStatus.lock);
    return session.operationStatus.workerBusy != 0;
}

bool OperationInProgress(CFtpSession& session)
{
    std::lock_guard guard(session.operationStatus.lock);
    return session.operationStatus.workerBusy != 0 || session.operationStatus.waits != 0;
}

int CFtpSession::WorkerResult()
{
    std::lock_guard guard(operationStatus.lock);
    return operationStatus.workerResult;
}

void CFtpSession::SetWorkerResult(int result)
{
    std::lock_guard guard(operationStatus.lock);
    operationStatus.workerResult = result;
}

bool CFtpSession::ConnectCancelled()
{
    std::lock_guard guard(operationStatus.lock);
    return operationStatus.connectCancelled != 0;
}

void CFtpSession::SetConnectCancelled(bool cancelled)
{
    std::lock_guard guard(operationStatus.lock);
    operationStatus.connectCancelled = cancelled ? 1 : 0;
}

CFtpSession::TransferProgress CFtpSession::Progress()
{
    std::lock_guard guard(operationStatus.lock);
    return {transferTotal, transferDone};
}
