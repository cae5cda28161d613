// SPDX-License-Identifier: GPL-3.0-or-later
// The data connection of a transfer: in active mode a listener announced with PORT or EPRT and
// the accept of the server's connection, in passive mode EPSV or PASV and our connection to the
// server; the choice between the two; and its TLS.

#include "ftp/internal/data_connection.h"

#include "ftp/internal/control_connection.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/socket_address.h"
#include "ftp/internal/socket_close.h"
#include "ftp/internal/socket_wait.h"
#include "ftp/internal/tls_stream.h"
#include "ftp/socket_errors.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"

#include <cerrno>
#include <netinet/in.h>
#include <string_view>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::string_view kEveryModeRefused =
    "The server refused both active and passive mode: no data connection can be opened.";

// Our end of the control connection: the address by which the server reaches this machine.
bool LocalEndOf(int socket, sockaddr_storage& address)
{
    socklen_t size = sizeof address;
    return ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &size) == 0;
}

bool IsPermanentNegative(int code)
{
    return ReplyClass(code) == kPermanentNegative;
}

// Behind a router that translates our address the server cannot connect back to us; on one
// network, or between two public addresses, it can, as it always could.
bool BehindRouter(const sockaddr_storage& local, const sockaddr_storage& server)
{
    return IsPrivateAddress(local) && !IsPrivateAddress(server);
}

}  // namespace

DataConnection::DataConnection(SessionContext& context, ControlConnection& control) : context(context), control(control)
{}

DataConnection::~DataConnection()
{
    tls.reset();
    for (int open : {socket, listenSocket}) {
        if (open != -1)
            ::close(open);
    }
}

void DataConnection::ForgetModes()
{
    automaticPath = Path::Undecided;
    extendedPassiveRefused = false;
}

int DataConnection::OpenListener()
{
    // The listener is bound to the address the server reaches us by alone, so the port is not
    // open on other networks of this machine; it has the control connection's family.
    sockaddr_storage controlEnd{};
    const bool knowControlEnd = LocalEndOf(control.socket, controlEnd);
    const int getsocknameError = errno;
    if (!knowControlEnd)
        controlEnd.ss_family = control.serverAddress.ss_family;  // the wildcard address of that family

    const int listener = ::socket(controlEnd.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener < 0) {
        LogSocketError("socket create", SocketErrorNumber(errno));
        return -1;
    }
    if (!knowControlEnd)
        LogSocketError("getsockname", SocketErrorNumber(getsocknameError));

    control.localAddress = controlEnd;
    SetPort(control.localAddress, 0);
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&control.localAddress), AddressLength(control.localAddress))
        != 0) {
        LogSocketError("bind", SocketErrorNumber(errno));
        ::close(listener);
        return -1;
    }
    socklen_t size = sizeof control.localAddress;
    if (::getsockname(listener, reinterpret_cast<sockaddr*>(&control.localAddress), &size) != 0) {
        LogSocketError("getsockname", SocketErrorNumber(errno));
        ::close(listener);
        return -1;
    }
    // The port the kernel gave the listener, which the server is told next.
    LogMessage("[%u] going to listen %s port %u",
               {listener, AddressText(control.localAddress), PortOf(control.localAddress)});
    if (::listen(listener, 1) != 0) {
        LogSocketError("listen", SocketErrorNumber(errno));
        ::close(listener);
        return -1;
    }

    // PORT carries IPv4 addresses only; EPRT names the family.
    const int port = PortOf(control.localAddress);
    const int result = control.localAddress.ss_family == AF_INET6
        ? control.Command("EPRT %s", {EprtArgument(control.localAddress)})
        : control.Command("PORT %s", {PortArgument(reinterpret_cast<const sockaddr_in&>(control.localAddress), port)});
    addressRefused = IsPermanentNegative(control.replyCode);
    if (result != kCompletion)
        LogMessage("[%u] remote host not responding to port command.", {listener});
    LogMessage("[%u] listener %s port %u", {listener, AddressText(control.localAddress), port});
    return listener;
}

bool DataConnection::PassiveChosen()
{
    const int mode = context.settings.passiveMode;
    if (mode == kActiveMode || mode == kPassiveMode)
        return mode == kPassiveMode;
    if (automaticPath == Path::Undecided) {
        sockaddr_storage local = control.localAddress;
        LocalEndOf(control.socket, local);
        const std::string ours = AddressText(local);
        if (BehindRouter(local, control.serverAddress)) {
            automaticPath = Path::Passive;
            LogMessage("Passive mode: this computer's address %s is private and the server's is not.", {ours});
        } else if (IsPrivateAddress(local)) {
            automaticPath = Path::Active;
            LogMessage("Active mode: this computer's address %s and the server's %s are both private.",
                       {ours, AddressText(control.serverAddress)});
        } else {
            automaticPath = Path::Active;
            LogMessage("Active mode: this computer's address %s is not private.", {ours});
        }
    }
    return automaticPath == Path::Passive;
}

bool DataConnection::Open()
{
    const int mode = context.settings.passiveMode;
    const bool automatic = mode != kActiveMode && mode != kPassiveMode;
    if (PassiveChosen()) {
        const int passive = ConnectPassive();
        if (passive != kServerRefused)
            return passive == 0;
        if (!automatic) {
            LogMessage("The server refused passive mode.");
            return false;
        }
        LogMessage("Active mode: the server refused passive mode.");
        automaticPath = Path::Active;
        listenSocket = OpenListener();
        if (listenSocket != -1 && addressRefused) {
            CloseListener();
            LogMessage(kEveryModeRefused);
            return false;
        }
        return listenSocket != -1;
    }
    listenSocket = OpenListener();
    if (listenSocket == -1)
        return false;
    if (control.Lost()) {  // the PORT or EPRT went unanswered: nothing more goes out
        CloseListener();
        return false;
    }
    // Refused PORT or EPRT: most often a server that will not connect to an address other than
    // the one our control connection comes from (a router translated it).
    if (!addressRefused)
        return true;
    if (!automatic) {
        if (BehindRouter(control.localAddress, control.serverAddress)) {
            LogMessage("This computer's address %s is private and the server's is not: passive mode may work "
                       "where active mode does not.",
                       {AddressText(control.localAddress)});
        }
        return true;
    }
    CloseListener();
    LogMessage("Passive mode: the server refused %s.", {control.localAddress.ss_family == AF_INET6 ? "EPRT" : "PORT"});
    automaticPath = Path::Passive;
    const int passive = ConnectPassive();
    if (passive == kServerRefused)
        LogMessage(kEveryModeRefused);
    return passive == 0;
}

// EPSV names only a port; PASV also names an address, which is ignored: a server behind a router
// announces its private address, and a hostile one could point us at a third host. The data
// connection always goes to the host of the control connection.
int DataConnection::ConnectPassive()
{
    int port = 0;
    if (!extendedPassiveRefused) {
        const int result = control.Command("EPSV");
        const std::optional<int> named = result == kCompletion ? PortFromEpsvReply(control.replyBuffer) : std::nullopt;
        if (named)
            port = *named;
        else if (result == kCompletion || result == kPermanentNegative)  // 500, 502: an older server
            extendedPassiveRefused = true;
        else
            return -1;
    }
    if (port == 0) {
        const int result = control.Command("PASV");
        const std::optional<PassiveTarget> target =
            result == kCompletion ? TargetFromPasvReply(control.replyBuffer) : std::nullopt;
        if (!target)
            return result == kCompletion || result == kPermanentNegative ? kServerRefused : -1;
        port = target->port;
        if (target->address != AddressText(control.serverAddress)) {
            LogMessage("Ignoring the address %s in the PASV reply: the data connection goes to %s.",
                       {target->address, AddressText(control.serverAddress)});
        }
    }

    sockaddr_storage address = control.serverAddress;
    SetPort(address, port);
    const int opened = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (opened < 0) {
        LogSocketError("socket create", SocketErrorNumber(errno));
        return -1;
    }
    const int error = ConnectSocket(opened, address, context.cancelSignal, context.RetryDeadline());
    if (error != 0) {
        ::close(opened);
        if (error == kErrorTimedOut)
            control.Break(SocketErrorText(error));
        LogMessage("Can't open the data connection to %s port %u.", {AddressText(address), port});
        LogSocketError("", error);
        return -1;
    }
    socket = opened;
    peerAddress = address;
    LogMessage("[%u] data connection to %s port %u", {opened, AddressText(address), port});
    return 0;
}

// Waits on `listenSocket` for the server's data connection and keeps it in `socket`. Only
// the address the control connection goes to (the server, or the proxy firewall) may connect:
// anyone else could otherwise feed us a file or read an upload. 0, the error number, or
// kServerAnswered when the server replied (or hung up) on the control connection instead: that
// reply is read and logged, and nobody waits for a connection that will not come.
int DataConnection::Accept()
{
    // One deadline for the whole wait: refused peers do not make it start again.
    const WaitDeadline deadline = context.RetryDeadline();
    // A reply that TLS has already taken off the socket would never wake the poll.
    if (control.tls && control.tls->HasPending()) {
        control.ReadReply();
        return kServerAnswered;
    }
    for (;;) {
        bool controlSpoke = false;
        const int waited =
            WaitForEitherReadable(listenSocket, control.socket, context.cancelSignal, deadline, &controlSpoke);
        if (waited != 0) {
            if (waited == kErrorTimedOut)
                control.Break(SocketErrorText(waited));
            return waited;
        }
        if (controlSpoke) {
            control.ReadReply();
            return kServerAnswered;
        }
        sockaddr_storage peer{};
        socklen_t size = sizeof peer;
        const int accepted =
            ::accept4(listenSocket, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (accepted < 0) {
            if (errno == EAGAIN || errno == EINTR || errno == ECONNABORTED)
                continue;
            return SocketErrorNumber(errno);
        }
        if (!SameHost(peer, control.serverAddress)) {
            LogMessage("Refused data connection from %s", {AddressText(peer)});
            ::close(accepted);
            continue;
        }
        socket = accepted;
        peerAddress = peer;
        return 0;
    }
}

void DataConnection::Close()
{
    CloseData();
    CloseListener();
}

void DataConnection::CloseData()
{
    if (socket == -1)
        return;
    // The TLS state of a connection goes with its socket.
    tls.reset();
    socket = CloseSocket(socket);
}

void DataConnection::CloseListener()
{
    listenSocket = CloseSocket(listenSocket);
}

bool DataConnection::Secure()
{
    if (!protect)
        return true;
    tls = std::make_unique<TlsStream>(*control.tlsContext, socket, control.tlsHost, TlsStream::Role::Data);
    std::string failure;
    const int result = tls->Handshake(context.cancelSignal, context.RetryDeadline(), failure);
    if (result != 0) {
        control.HandshakeFailed("The TLS handshake on the data connection", result, failure);
        return false;
    }
    // Someone who took over the data port must not pass for the server.
    if (tls->Certificate().fingerprint != control.fingerprint) {
        LogMessage("The data connection shows another certificate than the control connection.");
        return false;
    }
    LogMessage("[%u] TLS data connection%s", {socket, tls->Resumed() ? " (session resumed)" : ""});
    return true;
}

void DataConnection::EndTls(bool waitForPeer)
{
    // A stream the server has cut has no close left to send; the transfer has said so.
    if (!tls || tls->EndedWithoutClose())
        return;
    tls->Shutdown(context.cancelSignal, context.RetryDeadline(), waitForPeer);
    if (tls->EndedWithoutClose())
        LogMessage("The server ended the data connection without closing TLS.");
}
