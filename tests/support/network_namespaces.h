// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A client behind a NAT router, made of network namespaces for a test's lifetime (needs root):
// the client on 10.0.0.2/24 routes through a router that rewrites its address (iptables
// MASQUERADE) onto 198.51.100.1/24, where the server has 198.51.100.2. Only the client's side is
// private, as at home or in an office. The namespaces are linked to each other and to nothing
// else, so no traffic leaves them; their names are unique to the object, so test runs may overlap,
// and they are removed when it goes (namespaces that a crashed run left behind go with the next).

#include <functional>
#include <string>
#include <vector>

// The `ip` program of iproute2; empty when it is not installed.
std::string IpCommand();

// Runs `body` on a thread of its own inside the named network namespace: the sockets it makes
// belong there, whichever thread uses them later. False when the namespace could not be entered.
bool RunInNetworkNamespace(const std::string& name, const std::function<void()>& body);

class NatNetwork final {
public:
    static constexpr char kClientAddress[] = "10.0.0.2";
    static constexpr char kServerAddress[] = "198.51.100.2";

    NatNetwork();
    ~NatNetwork();
    NatNetwork(const NatNetwork&) = delete;
    NatNetwork& operator=(const NatNetwork&) = delete;

    bool Ready() const { return why.empty(); }
    const std::string& Why() const { return why; }  // why the network could not be made
    const std::string& Client() const { return client; }
    const std::string& Server() const { return server; }

private:
    bool Run(const std::vector<std::string>& argv);

    std::string client;
    std::string router;
    std::string server;
    std::vector<std::string> made;
    std::string why;
};
