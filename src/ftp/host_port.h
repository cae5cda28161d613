// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Host texts as users type them: a name or an address, with or without a port.

#include <string>
#include <string_view>

// "host:port" with a port of 1 to 65535 selects that port; anything else is a plain host. An IPv6
// address goes in brackets when a port follows ("[2001:db8::1]:2121"); brackets alone ("[::1]") or
// a bare address ("::1") name the host without a port.
struct HostAndPort {
    std::string host;
    int port = 0;  // 0: none given
};
HostAndPort SplitHostPort(const std::string& text);

// 1 to 65535 written in at most five decimal digits; 0 otherwise.
int PortNumber(std::string_view digits);
