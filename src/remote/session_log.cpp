// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/session_log.h"

#include <deque>
#include <mutex>
#include <utility>

namespace {

// Lock order: the session lock may be held while this lock is taken, never the reverse.
struct LogQueue {
    std::mutex lock;
    std::deque<std::string> lines;
    std::function<void()> wakeUp;
};

LogQueue& Queue()
{
    static LogQueue queue;
    return queue;
}

thread_local int connectionNumber = 0;

}  // namespace

void SetLogConnection(int number)
{
    connectionNumber = number;
}

int LogConnection()
{
    return connectionNumber;
}

void PostLogLine(std::string line)
{
    if (connectionNumber > 0)
        line.insert(0, "(" + std::to_string(connectionNumber) + ") ");
    LogQueue& q = Queue();
    std::function<void()> wake;
    {
        std::lock_guard guard(q.lock);
        if (q.lines.empty())
            wake = q.wakeUp;
        q.lines.push_back(std::move(line));
    }
    if (wake)
        wake();
}

void DrainLogQueue(const std::function<void(const std::string&)>& sink)
{
    LogQueue& q = Queue();
    // The lines are taken out under the lock and handed over outside it, so a worker that posts
    // never waits for the window to draw.
    for (;;) {
        std::deque<std::string> batch;
        {
            std::lock_guard guard(q.lock);
            batch.swap(q.lines);
        }
        if (batch.empty())
            return;
        for (const std::string& line : batch)
            sink(line);
    }
}

void SetLogWakeUp(std::function<void()> wakeUp)
{
    LogQueue& q = Queue();
    std::lock_guard guard(q.lock);
    q.wakeUp = std::move(wakeUp);
}

void LogMessage(std::string_view format, std::initializer_list<FormatArg> args)
{
    PostLogLine(FormatText(format, args));
}
