// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A port on 127.0.0.1 where a connect hangs: a listener that never accepts, with its backlog
// filled, so the kernel drops further connection requests instead of answering them.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

class StalledListener final {
public:
    StalledListener()
    {
        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0 || ::listen(listener, 0) != 0)
            return;
        for (int i = 0; i < 4; ++i) {
            const int filler = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
            fillers.push_back(filler);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the fillers' handshakes end
        port = ntohs(address.sin_port);
    }
    ~StalledListener()
    {
        for (int fd : fillers)
            ::close(fd);
        ::close(listener);
    }
    StalledListener(const StalledListener&) = delete;
    StalledListener& operator=(const StalledListener&) = delete;

    int Port() const { return port; }  // 0 when the listener could not be set up

private:
    int listener = -1;
    int port = 0;
    std::vector<int> fillers;
};
