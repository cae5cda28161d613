// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/operation_runner.h"

#include "remote/exchange_result.h"
#include "remote/session_log.h"

#include <system_error>
#include <utility>

OperationRunner::OperationRunner(std::function<void()> stop, std::function<void()> stopped)
    : stop(std::move(stop))
    , stopped(std::move(stopped))
{}

std::thread OperationRunner::Start(std::function<void()> body)
{
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
        return std::thread([this, body = std::move(body), connection = LogConnection()] {
            SetLogConnection(connection);
            body();
            {
                std::lock_guard guard(status.lock);
                status.workerBusy = 0;
            }
            if (host)
                host->WorkerEnded();
        });
    } catch (const std::system_error&) {
        std::lock_guard guard(status.lock);
        status.workerBusy = 0;
        status.workerResult = kNotSent;
        return {};
    }
}

bool OperationRunner::Wait(std::thread& worker, WaitKind kind, const std::string& text)
{
    // A worker that was not started leaves its operation's result as it was: nothing to wait for.
    if (!worker.joinable())
        return true;
    BeginOuterWait();
    const bool finished = !host || host->WaitWhileBusy(kind, text, *this);
    EndOuterWait();
    if (finished) {
        if (worker.joinable())
            worker.join();
        return true;
    }
    {
        // Holding the lock keeps the worker from being stopped inside it.
        std::lock_guard guard(status.lock);
        stop();
    }
    if (worker.joinable())
        worker.join();
    {
        std::lock_guard guard(status.lock);
        status.workerBusy = 0;
    }
    stopped();
    return false;
}

std::optional<int> OperationRunner::RunCommand(const std::string& text, std::function<int()> command)
{
    SetWorkerResult(kNotSent);  // what stays when no worker starts
    std::thread worker = Start([this, command = std::move(command)] { SetWorkerResult(command()); });
    if (!Wait(worker, WaitKind::RemoteCommand, text))
        return std::nullopt;
    return WorkerResult();
}

bool OperationRunner::WorkerBusy()
{
    std::lock_guard guard(status.lock);
    return status.workerBusy != 0;
}

bool OperationRunner::InProgress()
{
    std::lock_guard guard(status.lock);
    return status.workerBusy != 0 || status.waits != 0;
}

void OperationRunner::BeginOuterWait()
{
    std::lock_guard guard(status.lock);
    ++status.waits;
}

void OperationRunner::EndOuterWait()
{
    std::lock_guard guard(status.lock);
    --status.waits;
}

int OperationRunner::WorkerResult()
{
    std::lock_guard guard(status.lock);
    return status.workerResult;
}

void OperationRunner::SetWorkerResult(int result)
{
    std::lock_guard guard(status.lock);
    status.workerResult = result;
}

bool OperationRunner::ConnectCancelled()
{
    std::lock_guard guard(status.lock);
    return status.connectCancelled != 0;
}

void OperationRunner::SetConnectCancelled(bool cancelled)
{
    std::lock_guard guard(status.lock);
    status.connectCancelled = cancelled ? 1 : 0;
}

OperationRunner::Progress OperationRunner::TransferProgress()
{
    std::lock_guard guard(status.lock);
    return {status.transferTotal, status.transferDone, status.filesTotal, status.filesDone, status.transferStart};
}

void OperationRunner::SetTransferStart(long long start)
{
    std::lock_guard guard(status.lock);
    status.transferStart = start;
}

void OperationRunner::SetCopiedFiles(int done, int total)
{
    std::lock_guard guard(status.lock);
    status.filesDone = done;
    status.filesTotal = total;
}

void OperationRunner::SetTransferTotal(long long total)
{
    std::lock_guard guard(status.lock);
    status.transferTotal = total;
}

void OperationRunner::SetTransferDone(long long done)
{
    std::lock_guard guard(status.lock);
    status.transferDone = done;
}
