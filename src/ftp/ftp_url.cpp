// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/ftp_url.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr std::string_view kScheme = "ftp://";
constexpr std::string_view kTlsScheme = "ftps://";  // implicit TLS
constexpr std::string_view kSftpScheme = "sftp://";
constexpr std::string_view kSchemeEnd = "://";

bool StartsWithScheme(std::string_view text, std::string_view scheme)
{
    return text.size() >= scheme.size() && std::equal(scheme.begin(), scheme.end(), text.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower >= 'a' && lower <= 'f' ? lower - 'a' + 10 : -1;
}

// "%XX" becomes the byte XX; nothing when a "%" is not followed by two hex digits.
std::optional<std::string> PercentDecoded(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        if (low < 0)
            return std::nullopt;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

bool IsPort(std::string_view digits)
{
    if (digits.empty() || digits.size() > 5
        || !std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    const int port = std::stoi(std::string(digits));
    return port >= 1 && port <= 65535;
}

// Whether what follows the host name (or the bracketed address) is nothing or ":PORT".
bool IsPortSuffix(std::string_view rest)
{
    return rest.empty() || (rest.front() == ':' && IsPort(rest.substr(1)));
}

}  // namespace

bool IsFtpUrl(std::string_view text)
{
    return StartsWithScheme(text, kScheme) || StartsWithScheme(text, kTlsScheme);
}

bool IsSftpUrl(std::string_view text)
{
    return StartsWithScheme(text, kSftpScheme);
}

std::optional<TextSpan> UrlPasswordSpan(std::string_view text)
{
    const std::size_t schemeEnd = text.find(kSchemeEnd);
    if (schemeEnd == std::string_view::npos)
        return std::nullopt;
    const std::size_t colon = text.find(':', schemeEnd + kSchemeEnd.size());
    const std::size_t at = text.rfind('@');
    if (colon == std::string_view::npos || at == std::string_view::npos || at < colon)
        return std::nullopt;
    return TextSpan{colon + 1, at - colon - 1};
}

std::string WithoutUrlPassword(std::string_view text)
{
    std::string shown(text);
    if (const auto password = UrlPasswordSpan(text))
        shown.replace(password->offset, password->length, "***");
    return shown;
}

std::variant<FtpUrl, std::string> ParseFtpUrl(std::string_view text)
{
    // Usage errors end up in logs that others keep, such as those of CI jobs.
    const std::string bad = "bad URL " + WithoutUrlPassword(text) + ": ";
    FtpUrl url;
    url.implicitTls = StartsWithScheme(text, kTlsScheme);
    url.sftp = IsSftpUrl(text);
    text.remove_prefix(url.implicitTls ? kTlsScheme.size() : url.sftp ? kSftpScheme.size() : kScheme.size());
    const std::size_t slash = text.find('/');
    std::string_view authority = text.substr(0, slash);
    const std::string_view path = slash == std::string_view::npos ? std::string_view() : text.substr(slash + 1);
    url.namesDirectory = path.empty() || path.ends_with('/');

    // The last "@": a user name that is an e-mail address often comes unencoded.
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        const std::string_view userInfo = authority.substr(0, at);
        const std::size_t colon = userInfo.find(':');
        const auto user = PercentDecoded(userInfo.substr(0, colon));
        if (!user)
            return bad + "broken %-escape in the user name";
        if (!user->empty())
            url.user = *user;
        if (colon != std::string_view::npos) {
            url.password = PercentDecoded(userInfo.substr(colon + 1));
            if (!url.password)
                return bad + "broken %-escape in the password";
        }
        authority.remove_prefix(at + 1);
    }
    const bool bracketed = authority.starts_with('[');
    const std::size_t nameEnd = bracketed ? authority.find(']') : authority.find(':');
    if (bracketed && nameEnd == std::string_view::npos)
        return bad + "no \"]\" after the address";
    const std::size_t portStart = bracketed ? nameEnd + 1 : nameEnd;
    if (authority.substr(0, portStart).size() <= (bracketed ? 2U : 0U))
        return bad + "no host";
    if (portStart != std::string_view::npos && !IsPortSuffix(authority.substr(portStart)))
        return bad + "the port must be a number from 1 to 65535";
    url.host = authority;

    const auto directory = PercentDecoded(path);
    if (!directory)
        return bad + "broken %-escape in the path";
    url.directory = *directory;
    while (url.directory.size() > 1 && url.directory.back() == '/')
        url.directory.pop_back();
    return url;
}
