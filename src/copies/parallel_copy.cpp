// SPDX-License-Identifier: GPL-3.0-or-later
// The connections of a directory copy, each on a thread of its own, fed from one queue.

#include "copies/parallel_copy.h"
#include "copies/copy_host.h"

#include "remote/exchange_result.h"
#include "remote/remote_session.h"
#include "remote/session_log.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace {

void LogNotCopied(const FileCopy& file);

// How often the front end's progress is brought up to date.
constexpr auto kProgressInterval = std::chrono::milliseconds(50);

// What the connections share: the queue the walk fills, the count of what is done and whether
// the user cancelled.
class CopyState final : public FileSink {
public:
    void Queue(FileCopy file) override
    {
        std::lock_guard guard(lock);
        ++filesTotal;
        bytesTotal += file.listed.size;
        queue.push_back(std::move(file));
        changed.notify_one();
    }

    // The walk is over and every file taken: a connection still logging in is not needed.
    bool Drained()
    {
        std::lock_guard guard(lock);
        return !walking && queue.empty();
    }

    void WalkEnded()
    {
        std::lock_guard guard(lock);
        walking = false;
        changed.notify_all();
    }

    // The next file to copy; nothing once the walk is over and the queue empty, or on a cancel.
    std::optional<FileCopy> Next()
    {
        std::unique_lock hold(lock);
        changed.wait(hold, [this] { return cancelled || !queue.empty() || !walking; });
        if (cancelled || queue.empty())
            return std::nullopt;
        FileCopy next = std::move(queue.front());
        queue.pop_front();
        return next;
    }

    void Finished(const FileCopy& file, bool copied)
    {
        std::lock_guard guard(lock);
        ++filesDone;
        bytesDone += file.listed.size;
        failed += copied ? 0 : 1;
        everything = everything && copied;
    }

    // The copy is over: what no connection was left to copy is named in the log, and one line
    // counts every file that was not copied.
    void End()
    {
        std::lock_guard guard(lock);
        for (const FileCopy& file : queue)
            LogNotCopied(file);
        failed += static_cast<int>(queue.size());
        everything = everything && queue.empty();
        queue.clear();
        // The lines of the failures are spread among those of every connection: one line counts them.
        if (failed > 0)
            LogMessage("%u of the %u files were not copied.", {failed, filesTotal});
    }

    void Cancel()
    {
        std::lock_guard guard(lock);
        cancelled = true;
        changed.notify_all();
    }

    bool Cancelled()
    {
        std::lock_guard guard(lock);
        return cancelled;
    }

    // A connection's thread begins or ends its work.
    void Working(int change)
    {
        std::lock_guard guard(lock);
        working += change;
        changed.notify_all();
    }
    // Waits up to `delay` for every connection to end its work: true when they have.
    bool AllEnded(std::chrono::milliseconds delay)
    {
        std::unique_lock hold(lock);
        return changed.wait_for(hold, delay, [this] { return working == 0; });
    }

    // Waits `delay` unless the copy is cancelled first: false then.
    bool Pause(std::chrono::milliseconds delay)
    {
        std::unique_lock hold(lock);
        return !changed.wait_for(hold, delay, [this] { return cancelled; });
    }

    // An extra connection's login ended: `refusal` is why it failed, empty when it did not. Once
    // every extra one has tried, a copy with fewer connections than asked says so.
    void LoginEnded(const std::string& refusal, int asked)
    {
        std::lock_guard guard(lock);
        ++loginsEnded;
        if (!refusal.empty()) {
            lastRefusal = refusal;
            ++refused;
        }
        if (loginsEnded == asked - 1 && refused > 0) {
            LogMessage("Connections lowered to %u for this copy: the server refused %u more (%s).",
                       {asked - refused, refused, lastRefusal});
        }
    }

    struct Counts {
        int filesTotal, filesDone;
        long long bytesTotal, bytesDone;
        bool everything;
    };
    Counts Count()
    {
        std::lock_guard guard(lock);
        return {filesTotal, filesDone, bytesTotal, bytesDone, everything};
    }

private:
    std::mutex lock;
    std::condition_variable changed;
    std::deque<FileCopy> queue;
    bool walking = true;
    bool cancelled = false;
    bool everything = true;
    int filesTotal = 0;
    int filesDone = 0;
    int failed = 0;  // files that were not copied
    long long bytesTotal = 0;
    long long bytesDone = 0;  // of the finished files, as listed
    int working = 0;          // connections whose thread has not ended
    int loginsEnded = 0;
    int refused = 0;
    std::string lastRefusal;
};

void LogNotCopied(const FileCopy& file)
{
    LogMessage(file.direction == FileDirection::Download ? "Not downloaded: %s" : "Not uploaded: %s", {file.localPath});
}

// Why the server did not take a connection, in its own words when it gave any.
std::string RefusalOf(const SessionFailure& failure)
{
    for (const std::string* why : {&failure.reply, &failure.refusal, &failure.connectError, &failure.lostReason}) {
        if (!why->empty())
            return *why;
    }
    return "no reason given";
}

// Copies files from the queue on `session`, which is logged in and in `directory`, until none is
// left; leaves it in `directory` again when it can. An empty `directory`: anywhere, and left anywhere.
void CopyQueuedFiles(RemoteSession& session, std::string directory, CopyState& state, const RetryRules& retry)
{
    const std::string start = directory;
    while (const std::optional<FileCopy> file = state.Next()) {
        bool copied = false;
        if (directory != file->remoteDirectory && !session.ConnectionLost()) {
            directory.clear();  // unknown until the server says
            // On the session's worker, like every command of the copy, so that a cancel ends it the
            // way it ends a transfer.
            if (RunRemoteCommand(session, [&] { return session.ChangeDirectory(file->remoteDirectory); })
                == kCompletion)
                directory = file->remoteDirectory;
        }
        if (directory == file->remoteDirectory)
            copied = CopyFileWithRetries(session, *file, retry) == kCompletion;
        if (!copied)
            LogNotCopied(*file);
        state.Finished(*file, copied);
        // The files left go to the connections that still work.
        if (session.ConnectionLost())
            return;
    }
    if (!start.empty() && directory != start && !session.ConnectionLost() && !state.Cancelled())
        RunRemoteCommand(session, [&] { return session.ChangeDirectory(start); });
}

// The copy's threads, joined when it goes.
class Threads final {
public:
    explicit Threads(CopyState& state) : state(state) {}
    ~Threads()
    {
        for (std::thread& thread : threads)
            thread.join();
    }
    // Runs the work of one connection; false when no thread could be started for it.
    bool Start(std::function<void()> body)
    {
        state.Working(1);
        try {
            threads.emplace_back([this, body = std::move(body)] {
                body();
                state.Working(-1);
            });
            return true;
        } catch (const std::system_error&) {
            state.Working(-1);
            return false;
        }
    }

private:
    CopyState& state;
    std::vector<std::thread> threads;
};

}  // namespace

std::string RemotePath(const std::string& directory, const std::string& name)
{
    // A name given from the server's root (a copy asked for by its full name) is already whole.
    if (name.starts_with('/'))
        return name;
    return directory.ends_with('/') ? directory + name : directory + "/" + name;
}

std::optional<bool> CopyInParallel(RemoteSession& first, const CopyRules& rules, const std::string& text,
                                   const std::function<bool(FileSink&, const std::string& start)>& walk)
{
    if (rules.connections < 2)
        return std::nullopt;
    std::string startDirectory;
    const std::optional<int> named = RunRemoteCommand(first, [&] { return first.CurrentDirectory(startDirectory); });
    if (!named) {
        first.TransferAborted() = 1;  // cancelled
        return false;
    }
    if (named != kCompletion || !startDirectory.starts_with('/'))
        return std::nullopt;

    CopyState state;
    OperationRunner& front = first.Operations();
    CopyHost host(front.host, [&state] { return state.Cancelled(); });
    std::vector<std::unique_ptr<RemoteSession>> extra;
    for (int i = 1; i < rules.connections; ++i) {
        extra.push_back(first.NewSession());
        extra.back()->Operations().host = &host;
    }
    const auto stop = [&] {
        state.Cancel();
        first.Cancel();
        for (const auto& session : extra)
            session->Cancel();
    };
    // The copy as one operation the front end waits for, with the first session's own host
    // standing in for the copy's until it is over.
    OperationRunner copy(stop, [&first] { first.ClearCancel(); });
    copy.host = front.host;
    front.host = &host;
    front.BeginOuterWait();
    const RetryRules retry{rules.retries, false,
                           [&state](std::chrono::milliseconds delay) { return state.Pause(delay); }};
    bool walked = false;
    std::thread supervisor = copy.Start([&] {
        {
            Threads threads(state);
            const int asked = static_cast<int>(extra.size()) + 1;
            std::vector<std::atomic<bool>> loggingIn(extra.size());
            for (std::size_t i = 0; i < extra.size(); ++i) {
                RemoteSession& session = *extra[i];
                const bool started = threads.Start([&, i] {
                    SetLogConnection(static_cast<int>(i) + 2);
                    loggingIn[i] = true;
                    const bool connected = session.Connect();
                    loggingIn[i] = false;
                    // A login given up because nothing was left to copy is no refusal.
                    const bool unneeded = !connected && state.Drained();
                    state.LoginEnded(connected || unneeded ? std::string() : RefusalOf(session.Failure()), asked);
                    if (!connected)
                        return;
                    CopyQueuedFiles(session, std::string(), state, retry);
                    // After a cancel the server may still be busy with what was stopped: the
                    // connection simply goes with the session.
                    if (!state.Cancelled())
                        session.Quit();
                });
                if (!started)
                    state.LoginEnded("no thread", asked);
            }
            threads.Start([&] {
                SetLogConnection(1);
                walked = walk(state, startDirectory);
                state.WalkEnded();
                if (!first.ConnectionLost())
                    CopyQueuedFiles(first, startDirectory, state, retry);
                // A slow login (a server that hashes passwords at length) must not hold up a copy
                // that is over.
                for (std::size_t i = 0; i < extra.size() && state.Drained(); ++i) {
                    if (loggingIn[i])
                        extra[i]->Cancel();
                }
            });
            // The front end's progress: the finished files as listed, the running ones as far as
            // they are.
            const auto running = [](RemoteSession& session) {
                OperationRunner& runner = session.Operations();
                return runner.WorkerBusy() ? runner.TransferProgress().done : 0;
            };
            while (!state.AllEnded(kProgressInterval)) {
                // The front end may cancel the first session alone (a signal on the command line).
                if (first.CancelRequested() && !state.Cancelled())
                    stop();
                const CopyState::Counts counts = state.Count();
                long long moving = running(first);
                for (const auto& session : extra)
                    moving += running(*session);
                copy.SetTransferTotal(counts.bytesTotal);
                copy.SetTransferDone(counts.bytesDone + moving);
                copy.SetCopiedFiles(counts.filesDone, counts.filesTotal);
            }
            state.End();
        }
    });
    const bool finished = copy.Wait(supervisor, WaitKind::FileTransfer, text);
    front.EndOuterWait();
    front.host = copy.host;
    if (!finished)
        first.TransferAborted() = 1;
    return finished && walked && state.Count().everything;
}
