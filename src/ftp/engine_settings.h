// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings that the engine reads while a worker runs. The window thread may change them at
// the same moment (options sheet), so each value is atomic and read afresh where it is used.

#include "ftp/connection_modes.h"

#include <atomic>
#include <chrono>

// Bytes per data read and per upload piece unless the user stored other counts: one system call
// per half kilobyte, as the counts of 1024 and 512 of earlier versions cost, held transfers to a
// fraction of what a network carries today.
inline constexpr int kDefaultChunkBytes = 65536;

struct EngineSettings final {
    std::atomic<int> receiveBytes{kDefaultChunkBytes};  // "Receive Bytes": bytes asked for per data read
    std::atomic<int> sendBytes{kDefaultChunkBytes};     // "Send Bytes": bytes sent per upload piece
    std::atomic<int> retry{60};                         // "Retry": seconds any network wait may last, 0 = no limit
    // The same limit in milliseconds, which wins over "Retry" when above 0: tests wait out time-outs
    // shorter than the whole seconds the user can set. Never stored.
    std::atomic<int> retryMilliseconds{0};
    // How long a quit at program exit waits for the server, whatever the time-out: everything is
    // saved by then, and a silent server must not keep the program from ending. Never stored.
    std::atomic<int> exitQuitMilliseconds{3000};
    std::atomic<int> transferMode{'I'};            // transfer mode in force for the next transfer: 'I', 'A', 'F'
    std::atomic<int> passiveMode{kAutomaticMode};  // "Passive Mode": a DataConnectionMode
    std::atomic<bool> useMlsd{true};               // list with MLSD when the server offers it
    // A downloaded file gets the server's modification time, an uploaded one the local file's.
    std::atomic<bool> keepTimes{true};
};

// How long any network wait may last; 0: no limit.
inline std::chrono::milliseconds WaitLimit(const EngineSettings& settings)
{
    const int milliseconds = settings.retryMilliseconds.load();
    if (milliseconds > 0)
        return std::chrono::milliseconds(milliseconds);
    return std::chrono::seconds(settings.retry.load());
}
