// SPDX-License-Identifier: GPL-3.0-or-later
// The control connection: connecting, sending, reading one reply line, its TLS, and giving it up.

#include "ftp/internal/control_connection.h"

#include "ftp/host_port.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/socket_address.h"
#include "ftp/internal/socket_close.h"
#include "ftp/internal/socket_wait.h"
#include "ftp/internal/tls_stream.h"
#include "ftp/socket_errors.h"
#include "ftp/trusted_certificates.h"
#include "remote/exchange_result.h"
#include "remote/remote_login.h"
#include "remote/session_log.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t kPeekBytes = 82;       // what one look at the control connection takes in
constexpr std::size_t kReplyLineCap = 4000;  // a reply line stops growing past this
constexpr std::string_view kServerClosed = "Connection closed by the server.";

int ServicePort(const std::string& service, const std::string& protocol)
{
    servent entry{};
    servent* found = nullptr;
    char buffer[1024];
    if (::getservbyname_r(service.c_str(), protocol.c_str(), &entry, buffer, sizeof buffer, &found) == 0 && found)
        return ntohs(static_cast<std::uint16_t>(found->s_port));
    const int number = std::atoi(service.c_str());
    if (number != 0)
        return number;
    LogMessage("can't get \"%s\" service entry, will use default", {service});
    return ::strcasecmp(service.c_str(), "ftps") == 0 ? kImplicitTlsPort : kFtpPort;  // it asks for no others
}

}  // namespace

ControlConnection::ControlConnection(SessionContext& context, std::string& replyBuffer, int& replyCode,
                                     std::atomic<int>& encrypted)
    : context(context)
    , replyBuffer(replyBuffer)
    , replyCode(replyCode)
    , encrypted(encrypted)
{}

ControlConnection::~ControlConnection()
{
    tls.reset();
    if (socket != -1)
        ::close(socket);
}

void ControlConnection::Break(std::string_view why)
{
    context.interrupted = 1;
    // After a time-out or a break nobody knows what the server answers next, and a late reply
    // would pass for the answer to the next command: nothing more is sent. After a cancel the
    // session may still say goodbye.
    if (context.cancelRequested)
        return;
    if (lostReason.empty())
        lostReason = why;
    if (socket == -1)
        return;
    Close();
    context.connected = 0;
}

bool ControlConnection::Lost() const
{
    return context.interrupted || replyCode == kServiceClosing;
}

void ControlConnection::Close()
{
    if (socket == -1)
        return;
    // The TLS state of a connection goes with its socket.
    tls.reset();
    encrypted = 0;
    socket = CloseSocket(socket);
}

int ControlConnection::ConnectTcp(const std::string& host, const std::string& service, const std::string& protocol,
                                  int proxyPort)
{
    serverAddress = {};
    unreached = Unreached::No;
    unreachedError.clear();
    const HostAndPort target = SplitHostPort(host);
    int port = target.port;
    if (port == 0)
        port = proxyPort != 0 ? proxyPort : ServicePort(service, protocol);

    std::vector<sockaddr_storage> addresses;
    if (const std::optional<sockaddr_storage> numeric = NumericAddress(target.host, port)) {
        addresses.push_back(*numeric);
    } else {
        const int error = ResolveHostAddresses(target.host, context.cancelSignal, context.RetryDeadline(), &addresses);
        if (error == kErrorCancelled)
            return -1;
        if (error != 0) {
            LogMessage("I can't get \"%s\" host entry", {host});
            unreached = Unreached::HostNotFound;
            return -1;
        }
        for (sockaddr_storage& address : addresses)
            SetPort(address, port);
    }

    int protocolNumber = 0;
    protoent entry{};
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
        const int opened = ::socket(address.ss_family, type | SOCK_CLOEXEC | SOCK_NONBLOCK, protocolNumber);
        if (opened < 0) {
            LogSocketError("create socket", SocketErrorNumber(errno));
            if (i + 1 == addresses.size())
                return -1;
            continue;
        }
        error = ConnectSocket(opened, address, context.cancelSignal, context.RetryDeadline());
        if (error == 0) {
            serverAddress = address;
            LogMessage("Connected to %s port %u", {AddressText(address), port});
            return opened;
        }
        ::close(opened);
        if (error == kErrorCancelled || i + 1 == addresses.size())
            break;
        LogMessage("Can't connect to %s port %u.", {AddressText(address), port});
        LogSocketError("", error);
    }
    if (error == kErrorTimedOut)
        Break(SocketErrorText(error));
    unreached = Unreached::NoAnswer;
    unreachedError = SystemErrorText(error);
    LogMessage("Can't connect to %s %s service.", {host, service});
    LogSocketError("", error);
    return -1;
}

long ControlConnection::SendAll(int socket, TlsStream* tls, const char* data, long length, int& result)
{
    // Each send is tried first and waited for only when the socket is full; the check for an
    // interruption follows each send, so a quit after a cancel still goes out.
    long sent = 0;
    while (sent < length) {
        short waitFor = POLLOUT;
        const ssize_t n = ::TrySend(socket, tls, data + sent, static_cast<std::size_t>(length - sent), waitFor);
        if (n >= 0) {
            sent += n;
            if (context.interrupted)
                break;
            continue;
        }
        if (!SendMayGoOn(socket, waitFor, result))
            return -1;
    }
    result = context.interrupted ? kInterrupted : kCompletion;
    return sent;
}

bool ControlConnection::SendMayGoOn(int socket, short waitFor, int& result)
{
    if (errno == EINTR)
        return true;
    int error = SocketErrorNumber(errno);
    if (errno == EAGAIN) {
        error = WaitForSocket(socket, waitFor, context.cancelSignal, context.RetryDeadline());
        if (error == 0)
            return true;
    }
    LogSocketError("Send", error);
    // A reset data connection fails the transfer; the session is only gone when the control
    // connection breaks or a wait times out.
    if (error == kErrorTimedOut || (socket == this->socket && BreaksConnection(error)))
        Break(SocketErrorText(error));
    result = context.interrupted ? kInterrupted : kPermanentNegative;
    return false;
}

int ControlConnection::ReadLine()
{
    return ReadLine(context.RetryDeadline());
}

// The deadline holds for the whole line: a server that trickles a byte now and then must not
// keep the session waiting for ever.
int ControlConnection::ReadLine(WaitDeadline deadline)
{
    if (socket == -1)
        return 0;
    ++context.commandDepth;
    replyBuffer.clear();

    int failure = 0;
    bool serverClosed = false;
    char peeked[kPeekBytes];
    for (;;) {
        short waitFor = POLLIN;
        const ssize_t seen = TryReceive(socket, tls.get(), peeked, sizeof peeked, true, waitFor);
        if (seen < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN) {
                failure = WaitForSocket(socket, waitFor, context.cancelSignal, deadline);
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
        const ssize_t got = TryReceive(socket, tls.get(), peeked, take, false, waitFor);
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
            Break(SocketErrorText(failure));
    } else if (serverClosed) {
        // Reading on would give nothing for ever: the connection is gone like after a reset.
        LogMessage(kServerClosed);
        Break(kServerClosed);
    } else {
        code = ReplyCodeOf(replyBuffer);
    }
    if (context.interrupted)
        code = kServiceClosing;

    while (replyBuffer.size() > 2
           && (replyBuffer.back() == ' ' || replyBuffer.back() == '\r' || replyBuffer.back() == '\n'))
        replyBuffer.pop_back();
    --context.commandDepth;
    return code;
}

void ControlConnection::HandshakeFailed(std::string_view what, int result, const std::string& failure)
{
    if (result == TlsStream::kHandshakeFailed) {
        LogMessage("%s failed: %s", {what, failure});
        return;
    }
    if (result == kErrorTimedOut)
        Break(SocketErrorText(result));
    LogSocketError("TLS handshake", result);
}

bool ControlConnection::StartTls(const std::string& host, const CertificateCheck& accept)
{
    std::string failure;
    if (!tlsContext)
        tlsContext = TlsContext::Create(failure);
    if (!tlsContext) {
        LogMessage("TLS is not available: %s", {failure});
        return false;
    }
    tlsHost = host;
    tls = std::make_unique<TlsStream>(*tlsContext, socket, host, TlsStream::Role::Control);
    const int result = tls->Handshake(context.cancelSignal, context.RetryDeadline(), failure);
    if (result != 0) {
        HandshakeFailed("The TLS handshake", result, failure);
        tls.reset();
        return false;
    }
    LogMessage("%s", {tls->Description()});
    const PeerCertificate certificate = tls->Certificate();
    if (!accept(ServerKey(host, PortOf(serverAddress)), certificate)) {
        tls.reset();
        return false;
    }
    fingerprint = certificate.fingerprint;
    encrypted = 1;
    return true;
}
