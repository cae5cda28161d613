// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the parts of the SFTP session share: the SSH connection and its SFTP channel, the state of
// the session and what its last failure leaves for the front end. One worker at a time uses it;
// Cancel may come from any thread and only marks and shuts the socket.

#include "remote/operation_runner.h"
#include "remote/remote_login.h"
#include "remote/session_failure.h"
#include "remote/session_settings.h"
#include "sftp/sftp_packets.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

// Bytes per READ and WRITE of a transfer, and how many are in flight at once: 4 MiB, enough for a
// link of 300 Mbit/s at 100 ms round trip, and a bound on what a download holds in memory.
inline constexpr std::uint32_t kRequestBytes = 64 * 1024;
inline constexpr std::size_t kRequestsInFlight = 64;

struct ssh_session_struct;
struct ssh_channel_struct;

// What the sessions of one login learn and share with the copies' sessions (NewSession): a host
// key the user trusted for this run and the passphrases given, so that none is asked twice.
struct SshLoginMemo {
    std::mutex lock;
    std::string trustedFingerprint;                  // the host key trusted once; empty: none
    std::map<std::string, std::string> passphrases;  // by key file
};

struct SftpContext {
    explicit SftpContext(const SessionSettings& settings);
    ~SftpContext();
    SftpContext(const SftpContext&) = delete;
    SftpContext& operator=(const SftpContext&) = delete;

    const SessionSettings& settings;
    OperationRunner operations;
    RemoteLogin login;
    std::shared_ptr<SshLoginMemo> memo = std::make_shared<SshLoginMemo>();

    ssh_session_struct* ssh = nullptr;
    ssh_channel_struct* channel = nullptr;
    bool connected = false;
    bool lost = false;
    std::string home;          // the directory the login starts in
    std::string directory;     // the current directory, a full path: SFTP itself has none
    std::string sshDirectory;  // ~/.ssh of $HOME: keys, known hosts, config
    bool posixRename = false;
    std::uint32_t nextId = 1;
    std::string received;  // channel bytes, from `taken` on not yet taken as packets
    std::size_t taken = 0;
    std::uint32_t windowLeft = 0;  // what the channel's receive window holds at least, by our count

    std::atomic<bool> cancelRequested{false};
    std::atomic<int> transferAborted{0};
    SessionFailure failure;

    // Marks the connection lost with `reason` (logged) and closes it.
    void Break(const std::string& reason);
    // Closes the SSH connection, whatever state it is in.
    void Close();
    // Ends every wait of the session at once: the socket is shut down under the worker's feet.
    void Interrupt();
    // The socket libssh uses, or -1; set while connected, for Interrupt.
    void SetSocket(int fd);

    // The time a wait that starts now may last until (the "Retry" time-out); nothing: no limit.
    std::optional<std::chrono::steady_clock::time_point> WaitEnd() const;

    // Sends one request; false when the connection broke (logged).
    bool Send(const std::string& packet);
    // The next reply, whatever request it answers; nothing when the connection broke, timed out
    // or was cancelled (each logged, the connection closed).
    std::optional<SftpPacket> Receive();
    // Sends `request` (built with NextId()) and waits for its reply.
    std::optional<SftpPacket> Exchange(const SftpRequest& request, std::uint32_t id);
    std::uint32_t NextId() { return nextId++; }

    // Result of a request whose reply should be a STATUS: kCompletion for OK, kPermanentNegative
    // for a refusal (the server's text logged and kept in `failure`), kInterrupted when the
    // connection is gone.
    int StatusResult(const std::optional<SftpPacket>& reply, const std::string& what);
    // Notes a refusal: the server's text, for the front end and the log.
    void Refused(const std::string& what, const SftpStatus& status);
    // A reply of a type the request does not take: the server is not speaking SFTP as it should.
    void Malformed(const std::string& what);

    // `name` as a full path on the server: a name of the current directory, or a path the user gave.
    std::string PathOf(const std::string& name) const;

private:
    std::mutex socketLock;  // guards `socket` against Interrupt from another thread
    std::unique_ptr<char[]> readBuffer;
    int socket = -1;
};

// The text of a system error number.
std::string LocalErrorText(int error);
