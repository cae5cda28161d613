// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/termination_signals.h"

#include "remote/remote_session.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <thread>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
// How often a wait looks whether a signal has come.
constexpr std::chrono::milliseconds kSignalCheck{50};

// The handler touches nothing but these and the session's cancel, which is lock-free atomics and
// a write() to its wake-up descriptor: all safe inside a signal handler.
std::atomic<RemoteSession*> cancelled{nullptr};
std::atomic<int> received{0};
static_assert(std::atomic<RemoteSession*>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

void OnSignal(int number)
{
    if (received.exchange(number) != 0)
        ::_exit(128 + number);
    if (RemoteSession* session = cancelled.load())
        session->Cancel();
}

void Handle(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kSignals)
        ::sigaction(number, &action, nullptr);
}

}  // namespace

TerminationSignals::TerminationSignals(RemoteSession& session)
{
    cancelled = &session;
    Handle(OnSignal);
}

TerminationSignals::~TerminationSignals()
{
    Handle(SIG_DFL);
    cancelled = nullptr;
}

int TerminationSignals::Received() const
{
    return received;
}

bool TerminationSignals::Wait(std::chrono::milliseconds delay) const
{
    const auto end = std::chrono::steady_clock::now() + delay;
    for (;;) {
        if (received != 0)
            return false;
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::steady_clock::duration::zero())
            return true;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, kSignalCheck));
    }
}
