// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever a server sends on the control connection: replies are read line by line until the
// connection ends, through the same code that reads a real server.

#include "ftp/ftp_session.h"
#include "ftp/internal/control_connection.h"
#include "remote/session_log.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // A Unix socket's buffer holds this much, so the whole input is there before reading starts.
    if (size > 64 * 1024)
        return 0;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return 0;
    for (std::size_t sent = 0; sent < size;) {
        const ssize_t n = ::send(ends[1], data + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += static_cast<std::size_t>(n);
    }
    ::close(ends[1]);

    EngineSettings settings;
    settings.retry = 1;
    CFtpSession session(settings);
    session.control->socket = ends[0];
    session.control->crEndsLine = size > 0 && (data[0] & 1);
    for (int replies = 0; replies < 100000 && !session.interrupted; ++replies)
        session.control->ReadReply();
    DrainLogQueue([](const std::string&) {});
    return 0;
}
