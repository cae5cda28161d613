// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What ends a wait of the session: the cancel signal that any thread may raise, and the deadline
// the "Retry" time-out sets.

#include <chrono>
#include <optional>

// A wake-up that any thread can raise; it stays raised until cleared.
class CancelSignal final {
public:
    CancelSignal();
    ~CancelSignal();
    CancelSignal(const CancelSignal&) = delete;
    CancelSignal& operator=(const CancelSignal&) = delete;

    void Raise();
    void Clear();
    int Fd() const { return fd; }

private:
    int fd = -1;
};

// The moment by which a wait must have ended; none: it may last for ever.
using WaitDeadline = std::optional<std::chrono::steady_clock::time_point>;
// `limit` from now, 0 or less meaning no limit.
WaitDeadline DeadlineAfter(std::chrono::milliseconds limit);
WaitDeadline EarlierOf(WaitDeadline a, WaitDeadline b);
