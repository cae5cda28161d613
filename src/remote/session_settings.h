// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings every protocol's session reads while a worker runs. The window thread may change
// them at the same moment (options sheet), so each value is atomic and read afresh where it is used.

#include <atomic>
#include <chrono>

struct SessionSettings {
    std::atomic<int> retry{60};  // "Retry": seconds any network wait may last, 0 = no limit
    // The same limit in milliseconds, which wins over "Retry" when above 0: tests wait out time-outs
    // shorter than the whole seconds the user can set. Never stored.
    std::atomic<int> retryMilliseconds{0};
    // How long a quit at program exit waits for the server, whatever the time-out: everything is
    // saved by then, and a silent server must not keep the program from ending. Never stored.
    std::atomic<int> exitQuitMilliseconds{3000};
    // A downloaded file gets the server's modification time, an uploaded one the local file's.
    std::atomic<bool> keepTimes{true};
};

// How long any network wait may last; 0: no limit.
inline std::chrono::milliseconds WaitLimit(const SessionSettings& settings)
{
    const int milliseconds = settings.retryMilliseconds.load();
    if (milliseconds > 0)
        return std::chrono::milliseconds(milliseconds);
    return std::chrono::seconds(settings.retry.load());
}
