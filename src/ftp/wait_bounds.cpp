// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/wait_bounds.h"

#include <algorithm>
#include <cstdint>
#include <sys/eventfd.h>
#include <unistd.h>

CancelSignal::CancelSignal() : fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CancelSignal::~CancelSignal()
{
    ::close(fd);
}

void CancelSignal::Raise()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
}

void CancelSignal::Clear()
{
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t read = ::read(fd, &count, sizeof count);
}

WaitDeadline DeadlineAfter(std::chrono::milliseconds limit)
{
    if (limit.count() <= 0)
        return std::nullopt;
    return std::chrono::steady_clock::now() + limit;
}

WaitDeadline EarlierOf(WaitDeadline a, WaitDeadline b)
{
    if (!a || !b)
        return a ? a : b;
    return std::min(*a, *b);
}
