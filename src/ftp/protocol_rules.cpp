// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/protocol_rules.h"

#include "ftp/host_port.h"
#include "ftp/internal/socket_address.h"
#include "ftp/system_types.h"
#include "remote/exchange_result.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>

bool AllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::string UpperCase(std::string_view text)
{
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

int ReplyCodeOf(std::string_view line)
{
    const std::string firstThree(line.substr(0, 3));
    return std::atoi(firstThree.c_str());
}

bool ReplyGoesOn(int code, std::string_view line)
{
    return ReplyClass(code) == kNoValidCode || (line.size() > 3 && line[3] == '-');
}

bool IsQuitCommand(std::string_view line)
{
    return line.size() == 4 && std::equal(line.begin(), line.end(), "quit", [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

bool HasLineBreak(std::string_view line)
{
    return line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::optional<int> SystemTypeFromReply(std::string_view text)
{
    const std::string upper = UpperCase(text);
    static constexpr std::array<std::pair<std::string_view, int>, 9> kWords = {{
        {"UNIX", kSystemUnix},
        {"CLIX", kSystemClix},
        {"ULTRIX", kSystemUnix},
        {"MVS", kSystemMvs},
        {"QVT", kSystemQvt},
        {"NCSA", kSystemNcsa},
        {"CHAMELEON", kSystemChameleon},
        {"WINDOWS_NT", kSystemWindowsNt},
        {"MACOS", kSystemMacOs},
    }};
    for (const auto& [word, type] : kWords) {
        if (upper.find(word) != std::string::npos)
            return type;
    }
    // VMS servers are told apart by the words exactly as they write them.
    if (text.find("VMS") != std::string_view::npos)
        return text.find("MultiNet") != std::string_view::npos ? kSystemVmsMultiNet : kSystemVms;
    return std::nullopt;
}

bool IsVmsSystem(int systemType)
{
    return systemType == kSystemVmsMultiNet || systemType == kSystemVms;
}

void VmsDirectoryName(std::string& name, std::size_t limit, int systemType)
{
    if (!IsVmsSystem(systemType))
        return;
    const std::string rewritten = name == ".." ? std::string("[-]") : "[." + name + "]";
    if (rewritten.size() < limit)
        name = rewritten;
}

long long SizeFromPreliminaryReply(std::string_view reply)
{
    const std::string upper = UpperCase(reply.substr(0, 99));
    const std::size_t bytes = upper.find(" BYTES");
    if (bytes == std::string::npos)
        return 0;
    std::size_t end = bytes;
    while (end > 0 && upper[end - 1] == ' ')
        --end;
    std::size_t begin = end;
    while (begin > 0 && std::isdigit(static_cast<unsigned char>(upper[begin - 1])))
        --begin;
    // A negative size is no size: it must not read as its absolute value.
    if (begin == end || end - begin > 18 || (begin > 0 && upper[begin - 1] == '-'))
        return 0;
    return std::stoll(upper.substr(begin, end - begin));
}

std::optional<long long> SizeFromSizeReply(std::string_view reply)
{
    constexpr std::string_view kFileStatus = "213 ";
    constexpr std::size_t kMostDigits = 18;  // every such number fits a long long
    if (!reply.starts_with(kFileStatus))
        return std::nullopt;
    std::string_view digits = reply.substr(kFileStatus.size());
    while (!digits.empty() && digits.back() == ' ')
        digits.remove_suffix(1);
    if (digits.size() > kMostDigits || !AllDigits(digits))
        return std::nullopt;
    return std::stoll(std::string(digits));
}

std::optional<std::string> QuotedPathname(std::string_view reply)
{
    std::size_t at = reply.find('"');
    if (at == std::string_view::npos)
        return std::nullopt;
    std::string path;
    for (++at; at < reply.size(); ++at) {
        if (reply[at] != '"') {
            path += reply[at];
        } else if (at + 1 < reply.size() && reply[at + 1] == '"') {
            path += '"';
            ++at;
        } else {
            return path.empty() ? std::nullopt : std::optional(path);
        }
    }
    return std::nullopt;  // no closing quote
}

std::string PortArgument(const sockaddr_in& address, int port)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address.sin_addr.s_addr);
    return std::to_string(bytes[0]) + ',' + std::to_string(bytes[1]) + ',' + std::to_string(bytes[2]) + ','
        + std::to_string(bytes[3]) + ',' + std::to_string((port >> 8) & 0xff) + ',' + std::to_string(port & 0xff);
}

std::string EprtArgument(const sockaddr_storage& address)
{
    const char* family = address.ss_family == AF_INET6 ? "2" : "1";
    return std::string("|") + family + '|' + AddressText(address) + '|' + std::to_string(PortOf(address)) + '|';
}

std::optional<int> PortFromEpsvReply(std::string_view reply)
{
    const std::size_t open = reply.find('(');
    if (open == std::string_view::npos || reply.size() < open + 6)
        return std::nullopt;
    const char d = reply[open + 1];
    if (d < 33 || d > 126 || reply[open + 2] != d || reply[open + 3] != d)
        return std::nullopt;
    const std::size_t end = reply.find(d, open + 4);
    if (end == std::string_view::npos || end + 1 >= reply.size() || reply[end + 1] != ')')
        return std::nullopt;
    const int port = PortNumber(reply.substr(open + 4, end - open - 4));
    return port == 0 ? std::nullopt : std::optional<int>(port);
}

std::optional<PassiveTarget> TargetFromPasvReply(std::string_view reply)
{
    std::size_t at = std::min<std::size_t>(reply.size(), 4);
    while (at < reply.size() && !std::isdigit(static_cast<unsigned char>(reply[at])))
        ++at;
    int numbers[6];
    for (int i = 0; i < 6; ++i) {
        if (i > 0) {
            if (at >= reply.size() || reply[at] != ',')
                return std::nullopt;
            ++at;
        }
        const std::size_t begin = at;
        while (at < reply.size() && at - begin < 4 && std::isdigit(static_cast<unsigned char>(reply[at])))
            ++at;
        if (at == begin || at - begin > 3)
            return std::nullopt;
        numbers[i] = std::stoi(std::string(reply.substr(begin, at - begin)));
        if (numbers[i] > 255)
            return std::nullopt;
    }
    const int port = numbers[4] * 256 + numbers[5];
    if (port == 0)
        return std::nullopt;
    return PassiveTarget{std::to_string(numbers[0]) + '.' + std::to_string(numbers[1]) + '.'
                             + std::to_string(numbers[2]) + '.' + std::to_string(numbers[3]),
                         port};
}
