// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A relay on 127.0.0.1 between a client and a server's control port that keeps every byte the
// clients sent: what crossed the wire, as the server received it. One thread, stopped promptly by
// the destructor.

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class RecordingRelay final {
public:
    // Relays every connection to 127.0.0.1:`serverPort`.
    explicit RecordingRelay(int serverPort);
    ~RecordingRelay();
    RecordingRelay(const RecordingRelay&) = delete;
    RecordingRelay& operator=(const RecordingRelay&) = delete;

    int Port() const { return port; }
    // Connections from now on go to 127.0.0.1:`otherServerPort`, a server in the first one's place.
    void RelayTo(int otherServerPort);
    // Everything the clients sent so far, all connections one after the other.
    std::string ClientBytes() const;

private:
    void Run();

    std::atomic<int> serverPort;
    int listenFd = -1;
    int wakeFd = -1;
    int port = 0;
    mutable std::mutex lock;
    std::string clientBytes;
    std::thread thread;
};
