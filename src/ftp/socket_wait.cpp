// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/socket_wait.h"

#include "ftp/internal/socket_address.h"
#include "ftp/socket_errors.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

int SystemLookup(const std::string& host, std::vector<sockaddr_storage>* addresses)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (result != 0)
        return LookupErrorNumber(result);
    for (const addrinfo* entry = found; entry; entry = entry->ai_next) {
        if ((entry->ai_family != AF_INET && entry->ai_family != AF_INET6)
            || entry->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        sockaddr_storage address{};
        std::memcpy(&address, entry->ai_addr, entry->ai_addrlen);
        addresses->push_back(address);
    }
    ::freeaddrinfo(found);
    return addresses->empty() ? kErrorHostNotFound : 0;
}

std::atomic<HostLookup> hostLookup{SystemLookup};

// Polls `fds` (the cancel signal last) until one is ready; 0, cancelled, timed out or an error.
// poll() takes an int of milliseconds, so a long wait is made of several polls.
int PollWithCancel(pollfd* fds, nfds_t count, WaitDeadline deadline)
{
    using Clock = std::chrono::steady_clock;
    for (;;) {
        int wait = -1;
        if (deadline) {
            const long long left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            wait = static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
        }
        const int ready = ::poll(fds, count, wait);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return SocketErrorNumber(errno);
        }
        if (fds[count - 1].revents)
            return kErrorCancelled;
        if (ready > 0)
            return 0;
        if (!deadline || Clock::now() >= *deadline)
            return kErrorTimedOut;
    }
}

// What the look-up thread and the waiter share; whoever finishes last frees it.
struct LookupState {
    int doneFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::mutex lock;
    int error = 0;
    std::vector<sockaddr_storage> addresses;
    ~LookupState() { ::close(doneFd); }
};

}  // namespace

int WaitForSocket(int socket, short events, const CancelSignal& cancel, WaitDeadline deadline)
{
    pollfd fds[2] = {{socket, events, 0}, {cancel.Fd(), POLLIN, 0}};
    return PollWithCancel(fds, 2, deadline);
}

int WaitForEitherReadable(int socket, int other, const CancelSignal& cancel, WaitDeadline deadline, bool* otherReadable)
{
    pollfd fds[3] = {{socket, POLLIN, 0}, {other, POLLIN, 0}, {cancel.Fd(), POLLIN, 0}};
    const int waited = PollWithCancel(fds, 3, deadline);
    *otherReadable = waited == 0 && fds[0].revents == 0 && fds[1].revents != 0;
    return waited;
}

int ConnectSocket(int socket, const sockaddr_storage& address, const CancelSignal& cancel, WaitDeadline deadline)
{
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), AddressLength(address)) == 0)
        return 0;
    if (errno != EINPROGRESS)
        return SocketErrorNumber(errno);
    if (const int waited = WaitForSocket(socket, POLLOUT, cancel, deadline); waited != 0)
        return waited;
    int pending = 0;
    socklen_t size = sizeof pending;
    ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &pending, &size);
    return pending ? SocketErrorNumber(pending) : 0;
}

int ResolveHostAddresses(const std::string& host, const CancelSignal& cancel, WaitDeadline deadline,
                         std::vector<sockaddr_storage>* addresses)
{
    auto state = std::make_shared<LookupState>();
    if (state->doneFd < 0)
        return SocketErrorNumber(errno);
    const HostLookup lookup = hostLookup.load();
    std::thread([state, host, lookup] {
        std::vector<sockaddr_storage> found;
        const int error = lookup(host, &found);
        {
            std::lock_guard guard(state->lock);
            state->error = error;
            state->addresses = std::move(found);
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(state->doneFd, &one, sizeof one);
    }).detach();

    pollfd fds[2] = {{state->doneFd, POLLIN, 0}, {cancel.Fd(), POLLIN, 0}};
    const int waited = PollWithCancel(fds, 2, deadline);
    if (waited != 0)
        return waited;  // the thread finishes on its own and frees the state
    std::lock_guard guard(state->lock);
    if (state->error == 0)
        *addresses = std::move(state->addresses);
    return state->error;
}

void SetHostLookup(HostLookup lookup)
{
    hostLookup = lookup ? lookup : SystemLookup;
}
