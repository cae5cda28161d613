// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line's side of background operations: it simply waits for each worker, woken the
// moment the worker ends, and prints what the user must be told on standard error, with a
// progress line for file transfers when asked to.

#include "remote/operation_runner.h"

#include <condition_variable>
#include <mutex>
#include <string>

class CliHost final : public OperationHost {
public:
    bool WaitWhileBusy(WaitKind kind, const std::string& text, OperationRunner& runner) override;
    void WorkerEnded() override;
    void Inform(const std::string& text) override;
    // Nobody to ask: a certificate passes only when its fingerprint is the one given.
    void AskTrust(const CertificateQuestion& question, std::shared_ptr<TrustReply> reply) override;
    // The same for an SSH host key that ~/.ssh/known_hosts lacks: trusted for the run only when
    // its fingerprint is the one given.
    void AskHostKey(const HostKeyQuestion& question, std::shared_ptr<TrustReply> reply) override;
    // On the terminal without echo; nothing when there is none.
    std::optional<std::string> AskPassphrase(const std::string& keyFile) override;

    std::string trustedFingerprint;  // from --trust-certificate; empty: none
    std::string trustedHostKey;      // from --trust-host-key; empty: none
    bool quiet = false;              // -q: Inform stays silent, the run's reason line says why
    bool showProgress = false;       // a progress line while a file transfer runs (a terminal, no -q)

private:
    std::mutex lock;
    std::condition_variable ended;
};
