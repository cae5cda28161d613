// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// OperationRunner: one session's background operations. Connect, listing, download and upload
// run on a worker thread, one at a time, while the front end (`host`) waits for it and may cancel.
//
//     std::thread worker = runner.Start([&] { ... });
//     if (!runner.Wait(worker, WaitKind::FileTransfer, title)) { /* cancelled */ }

#include "remote/operation_host.h"
#include "remote/operation_status.h"

#include <functional>
#include <optional>
#include <string>
#include <thread>

class OperationRunner final {
public:
    // `stop` ends every blocking wait of the session at once, from any thread; `stopped` runs once
    // a stopped worker has been joined (it closes what the operation left open and clears the stop).
    OperationRunner(std::function<void()> stop, std::function<void()> stopped);

    OperationHost* host = nullptr;  // the front end that waits for workers; not owned

    // Marks the session busy and runs `body` on a new thread; the thread clears the mark when
    // done. While another worker runs, or when no thread can be started, nothing runs: an empty
    // handle, and the worker's result is kNotSent.
    std::thread Start(std::function<void()> body);
    // Waits through `host` for `worker`. When the user cancels, stops the worker, joins it and
    // returns false; the session is not busy afterwards either way.
    bool Wait(std::thread& worker, WaitKind kind, const std::string& text);
    // Runs `command` on a worker while the front end waits with WaitKind::RemoteCommand under
    // `text`: its result, kNotSent when no worker could be started, nothing when the user cancelled.
    std::optional<int> RunCommand(const std::string& text, std::function<int()> command);

    // The shared state, each read or written under the session lock.
    bool WorkerBusy();
    // A worker runs or a front end still waits for one: an event handled inside that wait must
    // not start another operation.
    bool InProgress();
    // A front end waits for something else that uses this session from other threads (a copy over
    // several connections): InProgress until the matching EndOuterWait.
    void BeginOuterWait();
    void EndOuterWait();
    int WorkerResult();
    void SetWorkerResult(int result);
    bool ConnectCancelled();
    void SetConnectCancelled(bool cancelled);
    struct Progress {
        long long total = 0;
        long long done = 0;
        int filesTotal = 0;  // a copy of many files: how many, and how many are finished
        int filesDone = 0;
        long long resumedFrom = 0;  // of `done`, the bytes an earlier try had moved: not this one's rate
    };
    Progress TransferProgress();
    void SetTransferTotal(long long total);
    void SetTransferDone(long long done);
    void SetTransferStart(long long start);
    void SetCopiedFiles(int done, int total);

private:
    COperationStatus status;
    std::function<void()> stop;
    std::function<void()> stopped;
};
