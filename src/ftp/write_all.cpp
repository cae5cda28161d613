// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/write_all.h"

#include <cerrno>
#include <unistd.h>

bool WriteAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}
