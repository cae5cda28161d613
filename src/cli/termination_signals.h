// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGINT, SIGTERM and SIGHUP (Ctrl+C, kill, a closed terminal) cancel what the session is doing:
// every wait ends at once, also the pause before a file is tried again, and a download in progress
// deletes its partial file on the way out (get --continue keeps it). A second such signal ends the
// process at once.

#include <chrono>

class RemoteSession;

class TerminationSignals final {
public:
    explicit TerminationSignals(RemoteSession& session);
    // Gives the signals back their default effect.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // The first signal that came, 0 while none has.
    int Received() const;
    // Waits `delay`; false as soon as a signal has come (within 50 ms).
    bool Wait(std::chrono::milliseconds delay) const;
};
