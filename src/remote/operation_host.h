// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The front end's side of a background operation: it waits for the worker (a modal dialog in the
// desktop program, a plain wait on the command line), may cancel, and answers the engine's
// questions about certificates, SSH host keys, key passphrases and plain-text logins.

#include "remote/host_key.h"
#include "remote/peer_certificate.h"

#include <memory>
#include <optional>
#include <string>

class OperationRunner;

// RemoteCommand: one command such as CWD or DELE, whose wait the user sees only when the server
// is slow to answer.
enum class WaitKind { Connecting, GettingDirectory, FileTransfer, RemoteCommand };

class OperationHost {
public:
    virtual ~OperationHost() = default;
    // Waits until the runner's worker is no longer busy (true) or the user cancels (false). It
    // must look at WorkerBusy at least every 500 ms.
    virtual bool WaitWhileBusy(WaitKind kind, const std::string& text, OperationRunner& runner) = 0;
    // Called on the worker thread right after a worker has finished, so the wait can end at once.
    virtual void WorkerEnded() = 0;
    // A message the user must see.
    virtual void Inform(const std::string& text) = 0;
    // Called on the worker when a server's certificate is neither verified nor trusted yet; the
    // worker waits for `reply` (or a cancel), so the question may be answered on another thread.
    // A front end that cannot ask refuses.
    virtual void AskTrust(const CertificateQuestion&, std::shared_ptr<TrustReply> reply)
    {
        reply->Answer(TrustAnswer::Refuse);
    }
    // Called on the worker, the same way, before a password would go in plain text to `server`
    // ("host:port"), which refused TLS and has never spoken it here, for a site that takes TLS if
    // available. Once sends it this time; Always sends it and makes the session's login plain FTP
    // only, for the front end to keep in the site; Refuse cancels the connect. A front end that
    // cannot ask sends it, and the log says so.
    virtual void AskPlainLogin(const std::string&, std::shared_ptr<TrustReply> reply)
    {
        reply->Answer(TrustAnswer::Once);
    }
    // Called on the worker, the same way, when an SSH server's host key is in none of the user's
    // known hosts. Once logs in this time; Always also adds the key to ~/.ssh/known_hosts; Refuse
    // closes the connection. A front end that cannot ask refuses.
    virtual void AskHostKey(const HostKeyQuestion&, std::shared_ptr<TrustReply> reply)
    {
        reply->Answer(TrustAnswer::Refuse);
    }
    // Called on the worker, which waits for the answer: the passphrase of the private key in
    // `keyFile`; nothing to go on without that key. A front end that cannot ask gives nothing.
    virtual std::optional<std::string> AskPassphrase(const std::string&) { return std::nullopt; }
};
