// SPDX-License-Identifier: GPL-3.0-or-later
#include "copies/copy_host.h"

#include "remote/operation_runner.h"
#include "remote/session_log.h"

#include <chrono>
#include <optional>
#include <utility>
#include <vector>

namespace {

// How often a wait looks whether the copy was cancelled.
constexpr auto kLookInterval = std::chrono::milliseconds(50);

}  // namespace

// One question of the copy's connections, put to the front end once: every connection that asks
// it gets the answer, one that asks after it at once.
class SharedQuestion final : public TrustReply {
public:
    explicit SharedQuestion(std::function<bool()> cancelled) : cancelled(std::move(cancelled)) {}

    // Adds `reply` to those the answer goes to; true for the first, whose question is to be put.
    bool Join(std::shared_ptr<TrustReply> reply)
    {
        std::unique_lock hold(lock);
        if (answer) {
            const TrustAnswer known = *answer;
            hold.unlock();
            reply->Answer(known);
            return false;
        }
        waiting.push_back(std::move(reply));
        return std::exchange(first, false);
    }
    void Answer(TrustAnswer given) override
    {
        std::vector<std::shared_ptr<TrustReply>> replies;
        {
            std::lock_guard guard(lock);
            answer = given;
            replies.swap(waiting);
        }
        for (const std::shared_ptr<TrustReply>& reply : replies)
            reply->Answer(given);
    }
    bool Abandoned() const override { return cancelled(); }

private:
    std::function<bool()> cancelled;
    std::mutex lock;
    bool first = true;
    std::optional<TrustAnswer> answer;
    std::vector<std::shared_ptr<TrustReply>> waiting;
};

CopyHost::CopyHost(OperationHost* front, std::function<bool()> cancelled)
    : front(front)
    , cancelled(std::move(cancelled))
{}

CopyHost::~CopyHost() = default;

bool CopyHost::WaitWhileBusy(WaitKind, const std::string&, OperationRunner& runner)
{
    std::unique_lock hold(lock);
    while (runner.WorkerBusy() && !cancelled())
        ended.wait_for(hold, kLookInterval);
    // A cancel wins over a worker that has just ended, as a dialog's Cancel button does: the
    // session then closes what the cancelled command left open.
    return !cancelled();
}

void CopyHost::WorkerEnded()
{
    std::lock_guard guard(lock);
    ended.notify_all();
}

void CopyHost::Inform(const std::string& text)
{
    LogMessage("%s", {text});
}

void CopyHost::AskTrust(const CertificateQuestion& question, std::shared_ptr<TrustReply> reply)
{
    if (const auto shared = Join(question.server + " " + question.certificate.fingerprint, std::move(reply)))
        front->AskTrust(question, shared);
}

void CopyHost::AskPlainLogin(const std::string& server, std::shared_ptr<TrustReply> reply)
{
    if (const auto shared = Join(server, std::move(reply)))
        front->AskPlainLogin(server, shared);
}

// The question about `subject` when `reply` is the first to ask it and the front end is to be
// asked now; nothing when the answer comes from a question asked before.
std::shared_ptr<SharedQuestion> CopyHost::Join(const std::string& subject, std::shared_ptr<TrustReply> reply)
{
    if (!front) {
        reply->Answer(TrustAnswer::Refuse);
        return nullptr;
    }
    std::shared_ptr<SharedQuestion> question;
    {
        std::lock_guard guard(asking);
        std::shared_ptr<SharedQuestion>& slot = questions[subject];
        if (!slot)
            slot = std::make_shared<SharedQuestion>(cancelled);
        question = slot;
    }
    return question->Join(std::move(reply)) ? question : nullptr;
}
