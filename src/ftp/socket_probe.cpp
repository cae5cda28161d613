// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/socket_probe.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

bool SocketLayerAvailable()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}
