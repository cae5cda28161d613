#include "ftp/background.h"

#include "ftp/exchange_result.h"
#include "ftp/format_text.h"
#include "ftp/ftp_session.h"

#include <system_error>

std::thread StartWorker(CFtpSession& session, std::function<void()> body)
{
    COperationStatus& status = session.operationStatus;
    {
        // Busy before the thread starts, so the wait cannot end before the worker has begun.
        std::lock_guard guard(status.lock);
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
        const int outcome = session.ReceiveFile();
        std::lock_guard guard(session.operationStatus.lock);
        session.operationStatus.workerResult = outcome;
    });
}

std::thread StartUploadWorker(CFtpSession& session)
{
    return StartWorker(session, [&session] {
        // The mode in force now, so a change in the options applies to the next upload at once.
        session.transferType = static_cast<char>(session.Settings().transferMode.load());
        const int outcome = session.SendFile();
        std::lock_guard guard(session.operationStatus.lock);
        session.operationStatus.workerResult = outcome;
    });
}

bool WaitForWorker(CFtpSession& session, std::thread& worker, WaitKind kind, const std::string& text)
{
    const bool finished = !session.host || session.host->WaitWhileBusy(kind, text, session);
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
    {
        std::lock_guard guard(session.operationStatus.lock);
        session.operationStatus.workerResult = kNotSent;  // what stays when no worker starts
    }
    std::thread worker = StartWorker(session, [&session, command = std::move(command)] {
        const int result = command();
        std::lock_guard guard(session.operationStatus.lock);
        session.operationStatus.workerResult = result;
    });
    if (!WaitForWorker(session, worker, WaitKind::RemoteCommand,
                       FormatText("Waiting for %s to answer", {session.hostName})))
        return std::nullopt;
    std::lock_guard guard(session.operationStatus.lock);
    return session.operationStatus.workerResult;
}

bool WorkerBusy(CFtpSession& session)
{
    std::lock_guard guard(session.operationStatus.lock);
    return session.operationStatus.workerBusy != 0;
}
