// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// COperationStatus: what the window thread and the one worker thread of a session share while a
// background operation runs. Lock order: this lock may be held while the session log's lock is
// taken, never the reverse.

#include <mutex>

struct COperationStatus final {
    std::mutex lock;              // the session lock: guards the fields below
    int workerBusy = 0;           // 1 while a worker's operation runs
    int workerResult = 0;         // outcome of the last worker
    int connectCancelled = 0;     // the user cancelled the last connect
    int waits = 0;                // front ends waiting for a worker; more than one only when a wait was entered again
    long long transferTotal = 0;  // expected bytes of the current transfer, 0 = unknown
    long long transferDone = 0;   // bytes moved so far
    long long transferStart = 0;  // of them, those an earlier try had moved (a resumed transfer)
    int filesTotal = 0;           // files of a whole directory copy; 0: one file only
    int filesDone = 0;            // of them, those that are finished (copied or failed)
};
