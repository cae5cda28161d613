// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// IPv4 and IPv6 socket addresses as the engine keeps them (sockaddr_storage), and what it asks of
// them: their text, port and length, whether two name the same host, and whether an address is
// one that a router must translate before it reaches the internet.

#include <sys/socket.h>

#include <optional>
#include <string>

// "10.1.2.3" or "2001:db8::1" (no brackets), as log lines show addresses.
std::string AddressText(const sockaddr_storage& address);
int PortOf(const sockaddr_storage& address);
void SetPort(sockaddr_storage& address, int port);
// The length that bind, connect and friends take for this address's family.
socklen_t AddressLength(const sockaddr_storage& address);
// The same family and address, whatever the ports.
bool SameHost(const sockaddr_storage& a, const sockaddr_storage& b);
// A numeric IPv4 or IPv6 address with `port`; nothing when `text` is neither.
std::optional<sockaddr_storage> NumericAddress(const std::string& text, int port);

// Private (10/8, 172.16/12, 192.168/16, fc00::/7), shared (100.64/10) or link-local (169.254/16,
// fe80::/10): a computer with such an address reaches the internet through a router that
// translates it, and servers out there cannot connect back to it.
bool IsPrivateAddress(const sockaddr_storage& address);
