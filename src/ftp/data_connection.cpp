// The data connection: a listener announced with PORT, the accept of the server's connection,
// and the abort of a transfer.

#include "ftp/exchange_result.h"
#include "ftp/ftp_session.h"
#include "ftp/protocol_rules.h"
#include "ftp/session_log.h"
#include "ftp/socket_errors.h"

#include <arpa/inet.h>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

int CFtpSession::OpenListener()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener < 0) {
        LogSocketError("socket create", SocketErrorNumber(errno));
        return -1;
    }
    LogMessage("[%u] going to listen %s port %u", {listener, DottedAddress(localAddress), ntohs(localAddress.sin_port)});

    // The address the server reaches us by: our end of the control connection. The listener is
    // bound to it alone, so the port is not open on other networks of this machine.
    sockaddr_in controlEnd {};
    socklen_t size = sizeof controlEnd;
    const bool knowControlEnd =
        ::getsockname(controlSocket, reinterpret_cast<sockaddr*>(&controlEnd), &size) == 0;
    if (!knowControlEnd)
        LogSocketError("getsockname", SocketErrorNumber(errno));

    localAddress = {};
    localAddress.sin_family = AF_INET;
    localAddress.sin_addr = knowControlEnd ? controlEnd.sin_addr : in_addr{htonl(INADDR_ANY)};
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&localAddress), sizeof localAddress) != 0) {
        LogSocketError("bind", SocketErrorNumber(errno));
        ::close(listener);
        return -1;
    }
    size = sizeof localAddress;
    if (::getsockname(listener, reinterpret_cast<sockaddr*>(&localAddress), &size) != 0) {
        LogSocketError("getsockname", SocketErrorNumber(errno));
        ::close(listener);
        return -1;
    }
    if (::listen(listener, 1) != 0) {
        LogSocketError("listen", SocketErrorNumber(errno));
        ::close(listener);
        return -1;
    }

    const int port = ntohs(localAddress.sin_port);
    if (Command("PORT %s", {PortArgument(localAddress, port)}) != kCompletion)
        LogMessage("[%u] remote host not responding to port command.", {listener});
    LogMessage("[%u] listener %s port %u", {listener, DottedAddress(localAddress), port});
    return listener;
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
    for (;;) {
        bool controlSpoke = false;
        const int waited = WaitForEitherReadable(listenSocket, controlSocket, cancelSignal, deadline, &controlSpoke);
        if (waited != 0) {
            if (waited == kErrorTimedOut)
                interrupted = 1;
            return waited;
        }
        if (controlSpoke) {
            ReadReply();
            return kServerAnswered;
        }
        sockaddr_in peer {};
        socklen_t size = sizeof peer;
        const int accepted = ::accept4(listenSocket, reinterpret_cast<sockaddr*>(&peer), &size,
                                       SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (accepted < 0) {
            if (errno == EAGAIN || errno == EINTR || errno == ECONNABORTED)
                continue;
            return SocketErrorNumber(errno);
        }
        if (peer.sin_addr.s_addr != serverAddress.sin_addr.s_addr) {
            LogMessage("Refused data connection from %s", {DottedAddress(peer)});
            ::close(accepted);
            continue;
        }
        dataSocket = accepted;
        dataPeerAddress = peer;
        return 0;
    }
}

void CFtpSession::AbortTransfer()
{
    dataSocket = CloseSocket(dataSocket);
    listenSocket = CloseSocket(listenSocket);
    commandDepth = 0;
    connected = 0;
}
