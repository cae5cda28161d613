// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/socket_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdint>
#include <cstring>

namespace {

const sockaddr_in& V4(const sockaddr_storage& address)
{
    return reinterpret_cast<const sockaddr_in&>(address);
}

const sockaddr_in6& V6(const sockaddr_storage& address)
{
    return reinterpret_cast<const sockaddr_in6&>(address);
}

bool InNetwork(std::uint32_t address, std::uint32_t network, int prefix)
{
    const std::uint32_t mask = ~std::uint32_t{0} << (32 - prefix);
    return (address & mask) == network;
}

}  // namespace

std::string AddressText(const sockaddr_storage& address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address.ss_family == AF_INET6)
        ::inet_ntop(AF_INET6, &V6(address).sin6_addr, text, sizeof text);
    else
        ::inet_ntop(AF_INET, &V4(address).sin_addr, text, sizeof text);
    return text;
}

int PortOf(const sockaddr_storage& address)
{
    return ntohs(address.ss_family == AF_INET6 ? V6(address).sin6_port : V4(address).sin_port);
}

void SetPort(sockaddr_storage& address, int port)
{
    const auto network = htons(static_cast<std::uint16_t>(port));
    if (address.ss_family == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(address).sin6_port = network;
    else
        reinterpret_cast<sockaddr_in&>(address).sin_port = network;
}

socklen_t AddressLength(const sockaddr_storage& address)
{
    return address.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

bool SameHost(const sockaddr_storage& a, const sockaddr_storage& b)
{
    if (a.ss_family != b.ss_family)
        return false;
    if (a.ss_family == AF_INET6)
        return std::memcmp(&V6(a).sin6_addr, &V6(b).sin6_addr, sizeof(in6_addr)) == 0;
    return V4(a).sin_addr.s_addr == V4(b).sin_addr.s_addr;
}

std::optional<sockaddr_storage> NumericAddress(const std::string& text, int port)
{
    sockaddr_storage address{};
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
    if (::inet_pton(AF_INET, text.c_str(), &v4.sin_addr) == 1)
        address.ss_family = AF_INET;
    else if (::inet_pton(AF_INET6, text.c_str(), &v6.sin6_addr) == 1)
        address.ss_family = AF_INET6;
    else
        return std::nullopt;
    SetPort(address, port);
    return address;
}

bool IsPrivateAddress(const sockaddr_storage& address)
{
    if (address.ss_family == AF_INET6) {
        const std::uint8_t* bytes = V6(address).sin6_addr.s6_addr;
        return (bytes[0] & 0xfe) == 0xfc || (bytes[0] == 0xfe && (bytes[1] & 0xc0) == 0x80);
    }
    const std::uint32_t v4 = ntohl(V4(address).sin_addr.s_addr);
    return InNetwork(v4, 0x0a000000, 8) || InNetwork(v4, 0xac100000, 12) || InNetwork(v4, 0xc0a80000, 16)
        || InNetwork(v4, 0x64400000, 10) || InNetwork(v4, 0xa9fe0000, 16);
}
