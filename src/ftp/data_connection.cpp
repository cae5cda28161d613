// SPDX-License-Identifier: GPL-3.0-or-later
// The data connection of a transfer: in active mode a listener announced with PORT or EPRT and
// the accept of the server's connection, in passive mode EPSV or PASV and our connection to the
// server; the choice between the two; and the abort of a transfer.

#include "ftp/ftp_session.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/socket_address.h"
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

int CFtpSession::OpenListener()
{
    // The listener is bound to the address the server reaches us by alone, so the port is not
    // open on other networks of this machine; it has the control connection's family.
    sockaddr_storage controlEnd {};
    const bool knowControlEnd = LocalEndOf(controlSocket, controlEnd);
    const int getsocknameError = errno;
    if (!knowControlEnd)
        controlEnd.ss_family = serverAddress.ss_family;  // the wildcard address of that family

    const int listener = ::socket(controlEnd.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener < 0) {
        LogSocketError("socket create", SocketErrorNumber(errno));
        return -1;
    }
    if (!knowControlEnd)
        LogSocketError("getsockname", SocketErrorNumber(getsocknameError));

    localAddress = controlEnd;
    SetPort(localAddress, 0);
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&localAddress), AddressLength(localAddress)) != 0) {
        LogSocketError("bind", SocketErrorNumber(errno));
        ::close(listener);
        return -1;
    }
    socklen_t size = sizeof localAddress;
    if (::getsockname(listener, reinterpret_cast<sockaddr*>(&localAddress), &size) != 0) {
        LogSocketError("getsockname", SocketErrorNumber(errno));
        ::close(listener);
        return -1;
    }
    // The port the kernel gave the listener, which the server is told next.
    LogMessage("[%u] going to listen %s port %u", {listener, AddressText(localAddress), PortOf(localAddress)});
    if (::listen(listener, 1) != 0) {
        LogSocketError("listen", SocketErrorNumber(errno));
        ::close(listener);
        return -1;
    }

    // PORT carries IPv4 addresses only; EPRT names the family.
    const int port = PortOf(localAddress);
    const int result = localAddress.ss_family == AF_INET6
        ? Command("EPRT %s", {EprtArgument(localAddress)})
        : Command("PORT %s", {PortArgument(reinterpret_cast<const sockaddr_in&>(localAddress), port)});
    addressRefused = IsPermanentNegative(replyCode);
    if (result != kCompletion)
        LogMessage("[%u] remote host not responding to port command.", {listener});
    LogMessage("[%u] listener %s port %u", {listener, AddressText(localAddress), port});
    return listener;
}

bool CFtpSession::PassiveChosen()
{
    const int mode = settings.passiveMode;
    if (mode == kActiveMode || mode == kPassiveMode)
        return mode == kPassiveMode;
    if (automaticPath == DataPath::Undecided) {
        sockaddr_storage local = localAddress;
        LocalEndOf(controlSocket, local);
        const std::string ours = AddressText(local);
        if (BehindRouter(local, serverAddress)) {
            automaticPath = DataPath::Passive;
            LogMessage("Passive mode: this computer's address %s is private and the server's is not.", {ours});
        } else if (IsPrivateAddress(local)) {
            automaticPath = DataPath::Active;
            LogMessage("Active mode: this computer's address %s and the server's %s are both private.",
                       {ours, AddressText(serverAddress)});
        } else {
            automaticPath = DataPath::Active;
            LogMessage("Active mode: this computer's address %s is not private.", {ours});
        }
    }
    return automaticPath == DataPath::Passive;
}

bool CFtpSession::OpenDataConnection()
{
    const int mode = settings.passiveMode;
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
        automaticPath = DataPath::Active;
        listenSocket = OpenListener();
        if (listenSocket != -1 && addressRefused) {
            listenSocket = CloseSocket(listenSocket);
            LogMessage(kEveryModeRefused);
            return false;
        }
        return listenSocket != -1;
    }
    listenSocket = OpenListener();
    if (listenSocket == -1)
        return false;
    if (ConnectionLost()) {  // the PORT or EPRT went unanswered: nothing more goes out
        listenSocket = CloseSocket(listenSocket);
        return false;
    }
    // Refused PORT or EPRT: most often a server that will not connect to an address other than
    // the one our control connection comes from (a router translated it).
    if (!addressRefused)
        return true;
    if (!automatic) {
        if (BehindRouter(localAddress, serverAddress)) {
            LogMessage("This computer's address %s is private and the server's is not: passive mode may work "
                       "where active mode does not.", {AddressText(localAddress)});
        }
        return true;
    }
    listenSocket = CloseSocket(listenSocket);
    LogMessage("Passive mode: the server refused %s.", {localAddress.ss_family == AF_INET6 ? "EPRT" : "PORT"});
    automaticPath = DataPath::Passive;
    const int passive = ConnectPassive();
    if (passive == kServerRefused)
        LogMessage(kEveryModeRefused);
    return passive == 0;
}

// EPSV names only a port; PASV also names an address, which is ignored: a server behind a router
// announces its private address, and a hostile one could point us at a third host. The data
// connection always goes to the host of the control connection.
int CFtpSession::ConnectPassive()
{
    int port = 0;
    if (!extendedPassiveRefused) {
        const int result = Command("EPSV");
        const std::optional<int> named = result == kCompletion ? PortFromEpsvReply(replyBuffer) : std::nullopt;
        if (named)
            port = *named;
        else if (result == kCompletion || result == kPermanentNegative)  // 500, 502: an older server
            extendedPassiveRefused = true;
        else
            return -1;
    }
    if (port == 0) {
        const int result = Command("PASV");
        const std::optional<PassiveTarget> target =
            result == kCompletion ? TargetFromPasvReply(replyBuffer) : std::nullopt;
        if (!target)
            return result == kCompletion || result == kPermanentNegative ? kServerRefused : -1;
        port = target->port;
        if (target->address != AddressText(serverAddress)) {
            LogMessage("Ignoring the address %s in the PASV reply: the data connection goes to %s.",
                       {target->address, AddressText(serverAddress)});
        }
    }

    sockaddr_storage address = serverAddress;
    SetPort(address, port);
    const int socket = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket < 0) {
        LogSocketError("socket create", SocketErrorNumber(errno));
        return -1;
    }
    const int error = ConnectSocket(socket, address, cancelSignal, RetryDeadline());
    if (error != 0) {
        ::close(socket);
        if (error == kErrorTimedOut)
            BreakConnection(SocketErrorText(error));
        LogMessage("Can't open the data connection to %s port %u.", {AddressText(address), port});
        LogSocketError("", error);
        return -1;
    }
    dataSocket = socket;
    dataPeerAddress = address;
    LogMessage("[%u] data connection to %s port %u", {socket, AddressText(address), port});
    return 0;
}

// Waits on `listenSocket` for the server's data connection and keeps it in `dataSocket`. Only
// the address the control connection goes to (the server, or the proxy firewall) may connect:
// anyone else could otherwise feed us a file or read an upload. 0, the error number, or
// kServerAnswered when the server replied (or hung up) on the control connection instead: that
// reply is read and logged, and nobody waits for a connection that will not come.
int CFtpSession::AcceptDataConnection()
{
    // One deadline for the whole wait: refused peers do not make it start again.
    const WaitDeadline deadline = RetryDeadline();
    // A reply that TLS has already taken off the socket would never wake the poll.
    if (controlTls && controlTls->HasPending()) {
        ReadReply();
        return kServerAnswered;
    }
    for (;;) {
        bool controlSpoke = false;
        const int waited = WaitForEitherReadable(listenSocket, controlSocket, cancelSignal, deadline, &controlSpoke);
        if (waited != 0) {
            if (waited == kErrorTimedOut)
                BreakConnection(SocketErrorText(waited));
            return waited;
        }
        if (controlSpoke) {
            ReadReply();
            return kServerAnswered;
        }
        sockaddr_storage peer {};
        socklen_t size = sizeof peer;
        const int accepted = ::accept4(listenSocket, reinterpret_cast<sockaddr*>(&peer), &size,
                                       SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (accepted < 0) {
            if (errno == EAGAIN || errno == EINTR || errno == ECONNABORTED)
                continue;
            return SocketErrorNumber(errno);
        }
        if (!SameHost(peer, serverAddress)) {
            LogMessage("Refused data connection from %s", {AddressText(peer)});
            ::close(accepted);
            continue;
        }
        dataSocket = accepted;
        dataPeerAddress = peer;
        return 0;
    }
}

void CFtpSession::CloseDataConnection()
{
    dataSocket = CloseSocket(dataSocket);
    listenSocket = CloseSocket(listenSocket);
}

void CFtpSession::AbortTransfer()
{
    CloseDataConnection();
    commandDepth = 0;
    connected = 0;
}
