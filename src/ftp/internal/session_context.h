// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: what a session shares with its connections and transfers. What ends their
// waits: the cancel signal any thread may raise, the "Retry" time-out of the engine settings and
// the bound of the operation in progress. And the session's marks they keep up to date, which stay
// fields of the session because the front ends read them.

#include "ftp/engine_settings.h"
#include "ftp/wait_bounds.h"

#include <atomic>

struct SessionContext final {
    SessionContext(const EngineSettings& settings, std::atomic<int>& interrupted, std::atomic<int>& connected,
                   std::atomic<int>& commandDepth)
        : settings(settings)
        , interrupted(interrupted)
        , connected(connected)
        , commandDepth(commandDepth)
    {}

    // The "Retry" time-out from now, cut short by `waitBound`.
    WaitDeadline RetryDeadline() const { return EarlierOf(DeadlineAfter(WaitLimit(settings)), waitBound); }

    const EngineSettings& settings;
    std::atomic<int>& interrupted;   // a cancel, a time-out or a break; replies then count as 421
    std::atomic<int>& connected;     // logged in; cleared when the control connection goes
    std::atomic<int>& commandDepth;  // engine operations in progress; a counter, not a lock
    CancelSignal cancelSignal;
    std::atomic<bool> cancelRequested{false};  // Cancel was called and ClearCancel not yet
    WaitDeadline waitBound;                    // no wait of the operation in progress goes past this
};
