// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CopyHost: the front end of a copy's sessions, which run on the copy's threads. A wait blocks its
// thread until the worker ends or the copy is cancelled, a message goes to the log, and a question
// about a certificate or a plain login goes to the copy's own front end once: every connection
// that asks it takes the same answer.

#include "remote/operation_host.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

class SharedQuestion;

class CopyHost final : public OperationHost {
public:
    // `front`: the host of the front end that waits for the whole copy (none: every question is
    // answered no); `cancelled` says whether the copy was cancelled, from any thread.
    CopyHost(OperationHost* front, std::function<bool()> cancelled);
    ~CopyHost() override;

    bool WaitWhileBusy(WaitKind kind, const std::string& text, OperationRunner& runner) override;
    void WorkerEnded() override;
    void Inform(const std::string& text) override;
    void AskTrust(const CertificateQuestion& question, std::shared_ptr<TrustReply> reply) override;
    void AskPlainLogin(const std::string& server, std::shared_ptr<TrustReply> reply) override;

private:
    std::shared_ptr<SharedQuestion> Join(const std::string& subject, std::shared_ptr<TrustReply> reply);

    OperationHost* front;
    std::function<bool()> cancelled;
    std::mutex lock;
    std::condition_variable ended;
    std::mutex asking;
    std::map<std::string, std::shared_ptr<SharedQuestion>> questions;
};
