// SPDX-License-Identifier: GPL-3.0-or-later
// The lowest layer of the session: the control connection, sending, reading one reply line,
// closing sockets, and cancel.

#include "ftp/ftp_session.h"
#include "ftp/host_port.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/socket_address.h"
#include "ftp/internal/tls_stream.h"
#include "ftp/local_dirs.h"
#include "ftp/socket_errors.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t kPeekBytes = 82;        // what one look at the control connection takes in
constexpr std::size_t kReplyLineCap = 4000;   // a reply line stops growing past this
constexpr std::string_view kServerClosed = "Connection closed by the server.";

int ServicePort(const std::string& service, const std::string& protocol)
{
    servent entry {};
    servent* found = nullptr;
    char buffer[1024];
    if (::getservbyname_r(service.c_str(), protocol.c_str(), &entry, buffer, sizeof buffer, &found) == 0 && found)
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    const int number = std::atoi(service.c_str());
    if (number != 0)
        return number;
    LogMessage("can't get \"%s\" service entry, will use default", {service});
    return ::strcasecmp(service.c_str(), "ftps") == 0 ? 990 : 21;  // the engine asks for no other services
}

// One fixed file in this process's listing directory receives every listing.
std::string ListingFilePath()
{
    const std::string directory = ListingDirectory();
    return directory.empty() ? directory : directory + "FTP1B.TMP";
}

}  // namespace

CFtpSession::CFtpSession(const EngineSettings& settings)
    : listingFile(ListingFilePath())
    , settings(settings)
{
}

CFtpSession::~CFtpSession()
{
    dataTls.reset();
    controlTls.reset();
    for (int socket : {controlSocket, dataSocket, listenSocket}) {
        if (socket != -1)
            ::close(socket);
    }
}

WaitDeadline CFtpSession::RetryDeadline() const
{
    return EarlierOf(DeadlineAfter(WaitLimit(settings)), waitBound);
}

void CFtpSession::Cancel()
{
    // Marked before `interrupted`, so an operation that clears `interrupted` as it starts can
    // tell that a cancel came in between.
    cancelRequested = true;
    interrupted = 1;
    cancelSignal.Raise();
}

void CFtpSession::ClearCancel()
{
    cancelSignal.Clear();
    cancelRequested = false;
}

void CFtpSession::BreakConnection(std::string_view why)
{
    interrupted = 1;
    // After a time-out or a break nobody knows what the server answers next, and a late reply
    // would pass for the answer to the next command: nothing more is sent. After a cancel the
    // session may still say goodbye.
    if (cancelRequested)
        return;
    if (lostReason.empty())
        lostReason = why;
    if (controlSocket == -1)
        return;
    controlSocket = CloseSocket(controlSocket);
    connected = 0;
}

const std::string& CFtpSession::LostReason() const
{
    return lostReason;
}

bool CFtpSession::TimedOut() const
{
    return lostReason == SocketErrorText(kErrorTimedOut);
}

bool CFtpSession::ConnectionLost() const
{
    return interrupted || replyCode == kServiceClosing;
}

int CFtpSession::ConnectTcp(const std::string& host, const std::string& service, const std::string& protocol)
{
    serverAddress = {};
    const HostAndPort target = SplitHostPort(host);
    int port = target.port;
    if (port == 0)
        port = (firewallEnabled && firewallPort != 0) ? firewallPort : ServicePort(service, protocol);

    std::vector<sockaddr_storage> addresses;
    if (const std::optional<sockaddr_storage> numeric = NumericAddress(target.host, port)) {
        addresses.push_back(*numeric);
    } else {
        const int error = ResolveHostAddresses(target.host, cancelSignal, RetryDeadline(), &addresses);
        if (error == kErrorCancelled)
            return -1;
        if (error != 0) {
            LogMessage("I can't get \"%s\" host entry", {host});
            connectFailure = ConnectFailure::HostNotFound;
            return -1;
        }
        for (sockaddr_storage& address : addresses)
            SetPort(address, port);
    }

    int protocolNumber = 0;
    protoent entry {};
    protoent* found = nullptr;
    char buffer[1024];
    if (::getprotobyname_r(protocol.c_str(), &entry, buffer, sizeof buffer, &found) == 0 && found) {
        protocolNumber = found->p_proto;
    } else {
        LogMessage("I can't get \"%s\" protocol entry, will use default", {protocol});
        if (::strcasecmp(protocol.c_str(), "tcp") != 0)
            return -1;
        protocolNumber = IPPROTO_TCP;
    }

    // The addresses are tried in the resolver's order, each with the whole time-out: a host with an
    // IPv6 address that does not answer is still reached over IPv4.
    const int type = ::strcasecmp(protocol.c_str(), "udp") == 0 ? SOCK_DGRAM : SOCK_STREAM;
    int error = 0;
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const sockaddr_storage& address = addresses[i];
        const int socket = ::socket(address.ss_family, type | SOCK_CLOEXEC | SOCK_NONBLOCK, protocolNumber);
        if (socket < 0) {
            LogSocketError("create socket", SocketErrorNumber(errno));
            if (i + 1 == addresses.size())
                return -1;
            continue;
        }
        error = ConnectSocket(socket, address, cancelSignal, RetryDeadline());
        if (error == 0) {
            serverAddress = address;
            dataPeerAddress = address;
            SetPort(dataPeerAddress, 20);
            LogMessage("Connected to %s port %u", {AddressText(address), port});
            return socket;
        }
        ::close(socket);
        if (error == kErrorCancelled || i + 1 == addresses.size())
            break;
        LogMessage("Can't connect to %s port %u.", {AddressText(address), port});
        LogSocketError("", error);
    }
    if (error == kErrorTimedOut)
        BreakConnection(SocketErrorText(error));
    connectFailure = ConnectFailure::NotReached;
    connectError = SystemErrorText(error);
    LogMessage("Can't connect to %s %s service.", {host, service});
    LogSocketError("", error);
    return -1;
}

long CFtpSession::SendAll(int socket, const char* data, long length, int& result)
{
    // Each send is tried first and waited for only when the socket is full; the check for an
    // interruption follows each send, so a quit after a cancel still goes out.
    long sent = 0;
    while (sent < length) {
        short waitFor = POLLOUT;
        const ssize_t n = TrySend(socket, data + sent, static_cast<std::size_t>(length - sent), waitFor);
        if (n >= 0) {
            sent += n;
            if (interrupted)
                break;
            continue;
        }
        if (!SendMayGoOn(socket, waitFor, result))
            return -1;
    }
    result = interrupted ? kInterrupted : kCompletion;
    return sent;
}

bool CFtpSession::SendMayGoOn(int socket, short waitFor, int& result)
{
    if (errno == EINTR)
        return true;
    int error = SocketErrorNumber(errno);
    if (errno == EAGAIN) {
        error = WaitForSocket(socket, waitFor, cancelSignal, RetryDeadline());
        if (error == 0)
            return true;
    }
    LogSocketError("Send", error);
    // A reset data connection fails the transfer; the session is only gone when the control
    // connection breaks or a wait times out.
    if (error == kErrorTimedOut || (socket == controlSocket && BreaksConnection(error)))
        BreakConnection(SocketErrorText(error));
    result = interrupted ? kInterrupted : kPermanentNegative;
    return false;
}

int CFtpSession::ReadLine()
{
    return ReadLine(RetryDeadline());
}

// The deadline holds for the whole line: a server that trickles a byte now and then must not
// keep the session waiting for ever.
int CFtpSession::ReadLine(WaitDeadline deadline)
{
    if (controlSocket == -1)
        return 0;
    ++commandDepth;
    replyBuffer.clear();

    int failure = 0;
    bool serverClosed = false;
    char peeked[kPeekBytes];
    for (;;) {
        short waitFor = POLLIN;
        const ssize_t seen = TryReceive(controlSocket, peeked, sizeof peeked, true, waitFor);
        if (seen < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                failure = WaitForSocket(controlSocket, waitFor, cancelSignal, deadline);
                if (failure != 0)
                    break;
                continue;
            }
            failure = SocketErrorNumber(errno);
            break;
        }
        if (seen == 0) {
            serverClosed = true;
            break;
        }
        // Take exactly this line's bytes, so the next line stays on the socket for the next read.
        std::size_t take = static_cast<std::size_t>(seen);
        bool complete = false;
        for (std::size_t i = 0; i < take; ++i) {
            const char c = peeked[i];
            if (c == '\0' || c == '\n' || (crEndsLine && c == '\r')) {
                take = i + 1;
                complete = true;
                break;
            }
        }
        const ssize_t got = TryReceive(controlSocket, peeked, take, false, waitFor);
        if (got <= 0) {
            failure = got < 0 ? SocketErrorNumber(errno) : 0;
            serverClosed = got == 0;
            break;
        }
        replyBuffer.append(peeked, static_cast<std::size_t>(got));
        if (complete || replyBuffer.size() >= kReplyLineCap)
            break;
    }

    // A NUL ends the line's text.
    if (const std::size_t nul = replyBuffer.find('\0'); nul != std::string::npos)
        replyBuffer.resize(nul);

    int code = 0;
    if (failure != 0) {
        LogSocketError("", failure);
        if (BreaksConnection(failure))
            BreakConnection(SocketErrorText(failure));
    } else if (serverClosed) {
        // Reading on would give nothing for ever: the connection is gone like after a reset.
        LogMessage(kServerClosed);
        BreakConnection(kServerClosed);
    } else {
        code = ReplyCodeOf(replyBuffer);
    }
    if (interrupted)
        code = kServiceClosing;

    while (replyBuffer.size() > 2 && (replyBuffer.back() == ' ' || replyBuffer.back() == '\r'
                                      || replyBuffer.back() == '\n'))
        replyBuffer.pop_back();
    --commandDepth;
    return code;
}

ssize_t CFtpSession::TryReceive(int socket, char* data, std::size_t length, bool peek, short& waitFor)
{
    TlsStream* stream = socket == controlSocket ? controlTls.get() : socket == dataSocket ? dataTls.get() : nullptr;
    if (stream)
        return stream->Read(data, length, peek, waitFor);
    waitFor = POLLIN;
    return ::recv(socket, data, length, peek ? MSG_PEEK : 0);
}

ssize_t CFtpSession::TrySend(int socket, const char* data, std::size_t length, short& waitFor)
{
    TlsStream* stream = socket == controlSocket ? controlTls.get() : socket == dataSocket ? dataTls.get() : nullptr;
    if (stream)
        return stream->Write(data, length, waitFor);
    waitFor = POLLOUT;
    return ::send(socket, data, length, MSG_NOSIGNAL);
}

int CFtpSession::CloseSocket(int socket)
{
    if (socket == -1)
        return -1;
    // The TLS state of a connection goes with its socket.
    if (socket == dataSocket)
        dataTls.reset();
    if (socket == controlSocket) {
        controlTls.reset();
        encrypted = 0;
    }
    // The descriptor is gone after close() whatever it reports, so it is never handed back.
    if (::close(socket) != 0) {
        LogSocketError("CloseSocket", SocketErrorNumber(errno));
        LogMessage("[%u] Failed to close socket.", {socket});
    } else {
        LogMessage("[%u] Socket closed.", {socket});
    }
    return -1;
}
