// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/host_port.h"

#include <algorithm>
#include <cctype>
#include <string>

int PortNumber(std::string_view digits)
{
    if (digits.empty() || digits.size() > 5
        || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return 0;
    const int port = std::stoi(std::string(digits));
    return port <= 65535 ? port : 0;
}

HostAndPort SplitHostPort(const std::string& text)
{
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string::npos)
            return {text, 0};
        const std::string host = text.substr(1, close - 1);
        if (close + 1 == text.size())
            return {host, 0};
        const int port = text[close + 1] == ':' ? PortNumber(std::string_view(text).substr(close + 2)) : 0;
        return port == 0 ? HostAndPort{text, 0} : HostAndPort{host, port};
    }
    // More than one colon: an IPv6 address without a port.
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || text.find(':') != colon)
        return {text, 0};
    const int port = PortNumber(std::string_view(text).substr(colon + 1));
    if (port == 0)
        return {text, 0};
    return {text.substr(0, colon), port};
}
