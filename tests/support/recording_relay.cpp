// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/recording_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

namespace {

sockaddr_in Loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

struct Pair {
    int client = -1;
    int server = -1;
};

}  // namespace

RecordingRelay::RecordingRelay(int serverPort)
    : serverPort(serverPort)
    , listenFd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    , wakeFd(::eventfd(0, EFD_CLOEXEC))
{
    sockaddr_in address = Loopback(0);
    socklen_t size = sizeof address;
    if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(listenFd, 8) == 0
        && ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    thread = std::thread([this] { Run(); });
}

RecordingRelay::~RecordingRelay()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd, &one, sizeof one);
    thread.join();
    ::close(listenFd);
    ::close(wakeFd);
}

void RecordingRelay::RelayTo(int otherServerPort)
{
    serverPort = otherServerPort;
}

std::string RecordingRelay::ClientBytes() const
{
    std::lock_guard guard(lock);
    return clientBytes;
}

void RecordingRelay::Run()
{
    std::vector<Pair> pairs;
    for (;;) {
        std::vector<pollfd> fds{{wakeFd, POLLIN, 0}, {listenFd, POLLIN, 0}};
        for (const Pair& pair : pairs) {
            fds.push_back({pair.client, POLLIN, 0});
            fds.push_back({pair.server, POLLIN, 0});
        }
        if (::poll(fds.data(), fds.size(), -1) < 0)
            continue;
        if (fds[0].revents)
            break;
        // Only the pairs that were polled have revents; one accepted now waits for the next poll.
        const std::size_t polled = pairs.size();
        if (fds[1].revents) {
            const int client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in target = Loopback(serverPort);
            if (client >= 0 && ::connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
                pairs.push_back({client, server});
            } else {
                ::close(client);
                ::close(server);
            }
        }
        for (std::size_t i = 0; i < polled; ++i) {
            const short fromClient = fds[2 + 2 * i].revents;
            const short fromServer = fds[3 + 2 * i].revents;
            bool ended = false;
            char buffer[65536];
            for (const bool upstream : {true, false}) {
                if (!(upstream ? fromClient : fromServer))
                    continue;
                const int from = upstream ? pairs[i].client : pairs[i].server;
                const int to = upstream ? pairs[i].server : pairs[i].client;
                const ssize_t got = ::recv(from, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    ended = true;
                    continue;
                }
                if (upstream) {
                    std::lock_guard guard(lock);
                    clientBytes.append(buffer, static_cast<std::size_t>(got));
                }
                for (ssize_t sent = 0; sent < got;) {
                    const ssize_t n = ::send(to, buffer + sent, static_cast<std::size_t>(got - sent), MSG_NOSIGNAL);
                    if (n <= 0) {
                        ended = true;
                        break;
                    }
                    sent += n;
                }
            }
            if (ended) {
                ::close(pairs[i].client);
                ::close(pairs[i].server);
                pairs[i] = {};
            }
        }
        std::erase_if(pairs, [](const Pair& pair) { return pair.client < 0; });
    }
    for (const Pair& pair : pairs) {
        ::close(pair.client);
        ::close(pair.server);
    }
}
