// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Background operations: connect, listing, download and upload run on a worker thread, one at a
// time, while the front end waits for it (a modal dialog in the desktop program, a plain wait on
// the command line) and may cancel.
//
//     std::thread worker = StartDownloadWorker(session);
//     if (!WaitForWorker(session, worker, WaitKind::FileTransfer, title)) { /* cancelled */ }

#include "remote/peer_certificate.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

class CFtpSession;

// RemoteCommand: one command such as CWD or DELE, whose wait the user sees only when the server
// is slow to answer.
enum class WaitKind { Connecting, GettingDirectory, FileTransfer, RemoteCommand };

// The front end's side of a background operation.
class OperationHost {
public:
    virtual ~OperationHost() = default;
    // Waits until the session's worker is no longer busy (true) or the user cancels (false). It
    // must look at `workerBusy` under the session lock at least every 500 ms.
    virtual bool WaitWhileBusy(WaitKind kind, const std::string& text, CFtpSession& session) = 0;
    // Called on the worker thread right after a worker has finished, so the wait can end at once.
    virtual void WorkerEnded() = 0;
    // A message the user must see.
    virtual void Inform(const std::string& text) = 0;
    // Called on the worker when a server's certificate is neither verified nor trusted yet; the
    // worker waits for `reply` (or a cancel), so the question may be answered on another thread.
    // A front end that cannot ask refuses.
    virtual void AskTrust(const CertificateQuestion&, std::shared_ptr<TrustReply> reply) { reply->Answer(TrustAnswer::Refuse); }
    // Called on the worker, the same way, before a password would go in plain text to `server`
    // ("host:port"), which refused TLS and has never spoken it here, for a site that takes TLS if
    // available. Once sends it this time; Always sends it and sets the session's `encryption` to
    // plain FTP for the front end to keep in the site; Refuse cancels the connect. A front end
    // that cannot ask sends it, and the log says so.
    virtual void AskPlainLogin(const std::string&, std::shared_ptr<TrustReply> reply)
    {
        reply->Answer(TrustAnswer::Once);
    }
};

// Marks the session busy and runs `body` on a new thread; the thread clears the mark when done.
// While another worker runs, or when no thread can be started, nothing runs: an empty handle, and
// the worker's result is kNotSent.
std::thread StartWorker(CFtpSession& session, std::function<void()> body);
std::thread StartConnectWorker(CFtpSession& session);
std::thread StartDownloadWorker(CFtpSession& session);
std::thread StartUploadWorker(CFtpSession& session);

// Waits through the session's host for `worker`. When the user cancels, stops the worker (every
// blocking wait of the engine ends at once), joins it, closes the data sockets and returns false;
// `commandDepth` is 0 and `workerBusy` clear afterwards either way.
bool WaitForWorker(CFtpSession& session, std::thread& worker, WaitKind kind, const std::string& text);

// Runs `command` (one remote command of the session, such as ChangeDirectory) on a worker while
// the front end waits with WaitKind::RemoteCommand ("Waiting for host to answer"); its result,
// kNotSent when no worker could be started, nothing when the user cancelled (the session is then
// not connected).
std::optional<int> RunRemoteCommand(CFtpSession& session, std::function<int()> command);

// `workerBusy`, read under the session lock.
bool WorkerBusy(CFtpSession& session);
// A worker runs or a front end still waits for one: an event handled inside that wait must not
// start another operation.
bool OperationInProgress(CFtpSession& session);
