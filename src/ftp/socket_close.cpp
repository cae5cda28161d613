// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/socket_close.h"

#include "ftp/socket_errors.h"
#include "remote/session_log.h"

#include <cerrno>
#include <unistd.h>

int CloseSocket(int socket)
{
    if (socket == -1)
        return -1;
    // The descriptor is gone after close() whatever it reports, so it is never handed back.
    if (::close(socket) != 0) {
        LogSocketError("CloseSocket", SocketErrorNumber(errno));
        LogMessage("[%u] Failed to close socket.", {socket});
    } else {
        LogMessage("[%u] Socket closed.", {socket});
    }
    return -1;
}
