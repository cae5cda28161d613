// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// RemoteSession: everything the front ends (the remote view, the directory copies, drag-out and
// the command line) do on a server, whatever the protocol. A protocol's session implements it in
// a folder of its own (FTP: ftp/ftp_remote_session.h); the front ends never see what is behind it.
//
// Results are those of remote/exchange_result.h: kCompletion when done. Commands run on the calling
// thread (RunRemoteCommand puts one on a worker); listings and transfers run on the session's
// worker while its runner's host waits, and are called on the thread that owns the session.

#include "remote/dir_entry.h"
#include "remote/operation_runner.h"
#include "remote/remote_login.h"
#include "remote/session_failure.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// PermissionDenied: the server refused part of the listing (the host was told); the entries
// before it came. Failed: refused or broken off (the log says which).
enum class ListingResult { Listed, PermissionDenied, Failed, Cancelled };
// Fresh: the transfer starts at the first byte; a failed download leaves nothing. Resume: a
// download grows in its partial file beside the target (PartialDownloadPath, remote/local_names.h),
// goes on from the bytes that file holds when the server can restart there, and keeps it when it
// fails; an upload goes on from the bytes the server's file holds, and is checked against the
// server's size when done. Only binary transfers go on from the middle; ASCII ones start over.
enum class TransferStart { Fresh, Resume };
// Show: for the user to see, stopping at a refusal. Copy: for a directory copy, every entry the
// server lists, read whole before the copy goes on.
enum class ListingUse { Show, Copy };

class RemoteSession {
public:
    virtual ~RemoteSession() = default;

    virtual OperationRunner& Operations() = 0;
    // Another session of the same protocol, settings and login, not connected yet: one more
    // connection for a copy of many files.
    virtual std::unique_ptr<RemoteSession> NewSession() const = 0;

    // The login of the next Connect; Login() keeps it, with what the connect changed in it (a
    // plain login the user allowed for good).
    virtual void SetLogin(const RemoteLogin& login) = 0;
    virtual RemoteLogin Login() const = 0;
    // Connects and logs in; true when logged in. Failure() says why not.
    virtual bool Connect() = 0;
    virtual bool Connected() const = 0;
    virtual bool Encrypted() const = 0;
    virtual int Quit() = 0;
    // Quit for a program that is ending: the answer is waited for only briefly.
    virtual int QuitAtExit() = 0;

    virtual int ChangeDirectory(const std::string& name) = 0;
    // Enters the target of what the listing shows as a link ("name -> target").
    virtual int EnterLink(const std::string& listedName) = 0;
    virtual int ChangeToRoot() = 0;
    // The server's full name of the current directory, which another session of the same login
    // can enter; kCompletion when the server gave one.
    virtual int CurrentDirectory(std::string& path) = 0;
    virtual int MakeDirectory(const std::string& name) = 0;
    virtual int RemoveDirectory(const std::string& name) = 0;
    virtual int DeleteFile(const std::string& name) = 0;
    virtual int RenameFile(const std::string& oldName, const std::string& newName) = 0;
    virtual int SetPermissions(const std::string& mode, const std::string& name) = 0;
    // Asks the server what system it runs; SystemType() then holds the answer (ftp/system_types.h).
    virtual int QuerySystemType() = 0;
    virtual int SystemType() const = 0;

    // The entries of the current directory ("." and ".." as the server lists them).
    virtual ListingResult ListDirectory(ListingUse use, std::vector<CDirEntry>& entries) = 0;
    // `listed`: what a listing showed of the file (remote/dir_entry.h). The front end decides
    // `localPath`: the file is written only there. When times are kept, the downloaded file gets
    // the listed time, and an uploaded one keeps the local file's time on the server.
    virtual int RetrieveFile(const std::string& remoteName, const std::string& localPath, const ListedFile& listed,
                             TransferStart start) = 0;
    virtual int StoreFile(const std::string& remoteName, const std::string& localPath, TransferStart start) = 0;

    // Ends whatever the session waits for, from any thread, until ClearCancel.
    virtual void Cancel() = 0;
    virtual void ClearCancel() = 0;
    // Cancel was called and ClearCancel not yet.
    virtual bool CancelRequested() const = 0;
    // The connection broke, timed out or was closed by the server.
    virtual bool ConnectionLost() const = 0;
    virtual SessionFailure Failure() const = 0;
    // Set by a failed or cancelled transfer: a directory copy stops after the current entry.
    virtual std::atomic<int>& TransferAborted() = 0;
};

// Runs `command` (one of the session's commands) on its worker while the front end waits
// ("Waiting for host to answer"); nothing when the user cancelled.
std::optional<int> RunRemoteCommand(RemoteSession& session, std::function<int()> command);

// Waits `delay` on the session's worker while the front end waits as for a command; false when the
// user cancelled meanwhile.
bool PauseInBackground(RemoteSession& session, std::chrono::milliseconds delay);

// Connects and logs in on the session's worker while the front end waits (WaitKind::Connecting,
// under `text`); false when the user cancelled.
bool ConnectInBackground(RemoteSession& session, const std::string& text);
