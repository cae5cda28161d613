#include "ftp/protocol_rules.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>

int ReplyCodeOf(std::string_view line)
{
    const std::string firstThree(line.substr(0, 3));
    return std::atoi(firstThree.c_str());
}

bool ReplyGoesOn(int code, std::string_view line)
{
    return code < 100 || code > 599 || (line.size() > 3 && line[3] == '-');
}

bool IsQuitCommand(std::string_view line)
{
    return line.size() == 4
        && std::equal(line.begin(), line.end(), "quit",
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool HasLineBreak(std::string_view line)
{
    return line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

std::optional<int> SystemTypeFromReply(std::string_view text)
{
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    static constexpr std::array<std::pair<std::string_view, int>, 9> kWords = {{
        {"UNIX", 6010}, {"CLIX", 6019}, {"ULTRIX", 6010}, {"MVS", 6020}, {"QVT", 6013},
        {"NCSA", 6006}, {"CHAMELEON", 6001}, {"WINDOWS_NT", 6014}, {"MACOS", 6017},
    }};
    for (const auto& [word, type] : kWords) {
        if (upper.find(word) != std::string::npos)
            return type;
    }
    // VMS servers are told apart by the words exactly as they write them.
    if (text.find("VMS") != std::string_view::npos)
        return text.find("MultiNet") != std::string_view::npos ? 6011 : 6012;
    return std::nullopt;
}

bool IsVmsSystem(int systemType)
{
    return systemType == 6011 || systemType == 6012;
}

HostAndPort SplitHostPort(const std::string& text)
{
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0 || text.find(':') != colon)
        return {text, 0};
    const std::string digits = text.substr(colon + 1);
    if (digits.empty() || digits.size() > 5
        || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return {text, 0};
    const int port = std::stoi(digits);
    if (port < 1 || port > 65535)
        return {text, 0};
    return {text.substr(0, colon), port};
}

std::string DottedAddress(const sockaddr_in& address)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return text;
}

long long SizeFromPreliminaryReply(std::string_view reply)
{
    std::string upper(reply.substr(0, 99));
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
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

std::string PortArgument(const sockaddr_in& address, int port)
{
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address.sin_addr.s_addr);
    return std::to_string(bytes[0]) + ',' + std::to_string(bytes[1]) + ',' + std::to_string(bytes[2]) + ','
        + std::to_string(bytes[3]) + ',' + std::to_string((port >> 8) & 0xff) + ',' + std::to_string(port & 0xff);
}

bool IsSafeLocalName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".."
        && name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}
