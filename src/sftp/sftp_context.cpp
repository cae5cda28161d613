// SPDX-License-Identifier: GPL-3.0-or-later
#include "sftp/sftp_context.h"

#include "remote/exchange_result.h"
#include "remote/session_log.h"

#include <libssh/libssh.h>
#include <sys/socket.h>
#include <system_error>

namespace {

// The channel's receive window. libssh opens it to what a read asks for, and otherwise keeps it near
// 1.2 MB: over a 50 ms round trip a download then ran at under a third of OpenSSH's speed. It is
// opened to twice every reply of a download in flight (one request's worth more for their
// headers), and again when half of it is used, so it always has room for them all. The server
// sends only what was asked for: a wider window costs no memory.
constexpr std::uint32_t kChannelWindowBytes = 2 * (kRequestsInFlight + 1) * kRequestBytes;

int MillisecondsUntil(std::chrono::steady_clock::time_point end)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(left.count(), 0));
}

}  // namespace

std::string LocalErrorText(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

SftpContext::SftpContext(const SessionSettings& settings)
    : settings(settings)
    , operations([this] { Interrupt(); },
                 [this] {
                     Close();
                     cancelRequested = false;
                 })
{}

SftpContext::~SftpContext()
{
    Close();
}

void SftpContext::Break(const std::string& reason)
{
    if (!lost && ssh) {
        lost = true;
        failure.lostReason = reason;
        LogMessage("%s", {reason});
    }
    Close();
}

void SftpContext::Close()
{
    SetSocket(-1);
    if (channel) {
        ssh_channel_free(channel);
        channel = nullptr;
    }
    if (ssh) {
        ssh_disconnect(ssh);
        ssh_free(ssh);
        ssh = nullptr;
    }
    connected = false;
    received.clear();
    taken = 0;
    windowLeft = 0;
}

void SftpContext::Interrupt()
{
    cancelRequested = true;
    std::lock_guard guard(socketLock);
    if (socket >= 0)
        ::shutdown(socket, SHUT_RDWR);
}

void SftpContext::SetSocket(int fd)
{
    std::lock_guard guard(socketLock);
    socket = fd;
    // A cancel that came before the socket was known still ends the waits on it.
    if (socket >= 0 && cancelRequested)
        ::shutdown(socket, SHUT_RDWR);
}

std::optional<std::chrono::steady_clock::time_point> SftpContext::WaitEnd() const
{
    const std::chrono::milliseconds limit = WaitLimit(settings);
    if (limit.count() <= 0)
        return std::nullopt;
    return std::chrono::steady_clock::now() + limit;
}

bool SftpContext::Send(const std::string& packet)
{
    if (!channel)
        return false;
    // libssh waits for the server's window itself, as long as the session's time-out allows.
    if (ssh_channel_write(channel, packet.data(), static_cast<std::uint32_t>(packet.size())) == SSH_ERROR) {
        Break(cancelRequested ? std::string("Cancelled") : FormatText("Connection lost: %s", {ssh_get_error(ssh)}));
        return false;
    }
    return true;
}

std::optional<SftpPacket> SftpContext::Receive()
{
    const auto end = WaitEnd();
    if (!readBuffer)
        readBuffer = std::make_unique_for_overwrite<char[]>(kChannelWindowBytes);
    while (channel) {
        bool tooLong = false;
        std::string_view unread = std::string_view(received).substr(taken);
        if (std::optional<SftpPacket> packet = TakePacket(unread, tooLong)) {
            taken = received.size() - unread.size();
            return packet;
        }
        if (tooLong) {
            Break(FormatText("The server sent a packet longer than %u bytes; the connection was closed.",
                             {kLargestSftpPacket}));
            return std::nullopt;
        }
        // What was taken goes once per read, not once per packet: a read may bring many.
        received.erase(0, taken);
        taken = 0;
        // A read that asks for more than the window holds sends a window adjustment first. One
        // after every reply, followed by the next request, is held back by Nagle's algorithm until
        // the server's delayed acknowledgement: 40 ms a file in a directory copy. So reads ask for
        // no more than the window holds, but when half of it is used.
        if (windowLeft < kChannelWindowBytes / 2)
            windowLeft = kChannelWindowBytes;
        const int got = ssh_channel_read_timeout(channel, readBuffer.get(), windowLeft, 0,
                                                 end ? std::max(MillisecondsUntil(*end), 1) : -1);
        if (got > 0) {
            windowLeft -= std::min(windowLeft, static_cast<std::uint32_t>(got));
            received.append(readBuffer.get(), static_cast<std::size_t>(got));
            continue;
        }
        if (cancelRequested) {
            Break("Cancelled");
        } else if (got < 0) {
            Break(FormatText("Connection lost: %s", {ssh_get_error(ssh)}));
        } else if (ssh_channel_is_eof(channel) || ssh_channel_is_closed(channel)) {
            Break("The server closed the connection.");
        } else if (end && std::chrono::steady_clock::now() >= *end) {
            failure.timedOut = true;
            Break("Timed out: the server did not answer.");
        }
    }
    return std::nullopt;
}

std::optional<SftpPacket> SftpContext::Exchange(const SftpRequest& request, std::uint32_t id)
{
    if (!Send(request.Bytes()))
        return std::nullopt;
    // One request at a time is out here, so a reply to another is the server's mistake.
    std::optional<SftpPacket> reply = Receive();
    if (reply && reply->id != id) {
        Malformed("reply");
        return std::nullopt;
    }
    return reply;
}

int SftpContext::StatusResult(const std::optional<SftpPacket>& reply, const std::string& what)
{
    if (!reply)
        return kInterrupted;
    const std::optional<SftpStatus> status = reply->type == kFxpStatus ? ParseStatus(reply->body) : std::nullopt;
    if (!status) {
        Malformed(what);
        return kInterrupted;
    }
    if (status->code != kFxOk) {
        Refused(what, *status);
        return kPermanentNegative;
    }
    return kCompletion;
}

void SftpContext::Refused(const std::string& what, const SftpStatus& status)
{
    failure.reply = status.message.empty() ? FormatText("status %u", {status.code}) : status.message;
    failure.replyCode = 0;
    LogMessage("%s: %s", {what, failure.reply});
}

void SftpContext::Malformed(const std::string& what)
{
    Break(FormatText("The server's answer to %s is not SFTP as it should be; the connection was closed.", {what}));
}

std::string SftpContext::PathOf(const std::string& name) const
{
    if (name.starts_with('/') || directory.empty())
        return name;
    return directory.ends_with('/') ? directory + name : directory + "/" + name;
}
