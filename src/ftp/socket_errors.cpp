// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/socket_errors.h"

#include "remote/session_log.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <utility>

namespace {

constexpr std::array<std::pair<int, int>, 24> kErrnoNumbers = {{
    {ECONNREFUSED, 10061},    {ECONNRESET, 10054},    {ECONNABORTED, 10053}, {ETIMEDOUT, 10060},
    {EHOSTUNREACH, 10065},    {EHOSTDOWN, 10064},     {ENETDOWN, 10050},     {ENETRESET, 10052},
    {EADDRINUSE, 10048},      {EADDRNOTAVAIL, 10049}, {EINTR, 10004},        {EINVAL, 10022},
    {EBADF, 10038},           {ENOTSOCK, 10038},      {ENOTCONN, 10057},     {EMFILE, 10024},
    {ENOBUFS, 10055},         {EWOULDBLOCK, 10035},   {EAFNOSUPPORT, 10047}, {EPROTONOSUPPORT, 10043},
    {ESOCKTNOSUPPORT, 10044}, {EPIPE, 10058},         {ESHUTDOWN, 10058},    {EPROTOTYPE, 10041},
}};

constexpr std::array<std::pair<int, const char*>, 28> kTexts = {{
    {10004, "Cancelled."},
    {10022, "Problem with incompatible application"},
    {10024, "A file descriptor is not available."},
    {10035, "socket marked as non-blocking and SO_LINGER set not 0"},
    {10036, "Cannot start another operation while an operation is blocking."},
    {10038, "The descriptor is not a socket."},
    {10041, "The wrong protocol is being used for this socket."},
    {10043, "The protocol being used is not supported."},
    {10044, "The socket type is not supported for this address family."},
    {10047, "The address type is not supported."},
    {10048, "The address was already in use."},
    {10049, "That address is not available."},
    {10050, "Network is down"},
    {10053, "The connection was aborted."},
    {10054, "The connection was reset."},
    {10055, "WSA out of memory."},
    {10057, "Not connected, connect to a site first."},
    {10060, "Connection timed out, try connecting again."},
    {10061, "The server refused the connection."},
    {10064, "The host is down."},
    {10065, "That host is unreachable."},
    {10091, "WinSock is not ready or not responding"},
    {10092, "This version of WinSock is not supported"},
    {10093, "WinSock is not initialized"},
    {11001, "That host was not found"},
    {11002, "The host was not found, try again."},
    {11003, "Command was refused and no recovery can be made."},
    {11004, "Valid name, no data record for type"},
}};

// The system's text for an errno value; empty when it has none.
std::string ErrnoText(int posixError)
{
    if (posixError <= 0 || posixError >= 10000)
        return {};
    char buffer[128];
    const std::string text = ::strerror_r(posixError, buffer, sizeof buffer);
    return text.starts_with("Unknown error") ? std::string() : text;
}

// The system's own text for a code the table lacks: a program number goes back to its errno.
std::string SystemText(int code)
{
    int posixError = code;
    for (const auto& [error, number] : kErrnoNumbers) {
        if (number == code) {
            posixError = error;
            break;
        }
    }
    const std::string text = ErrnoText(posixError);
    return text.empty() ? "error " + std::to_string(static_cast<unsigned>(code)) : text;
}

}  // namespace

int SocketErrorNumber(int posixError)
{
    for (const auto& [error, number] : kErrnoNumbers) {
        if (error == posixError)
            return number;
    }
    return posixError;
}

int LookupErrorNumber(int lookupError)
{
    switch (lookupError) {
    case EAI_NONAME: return 11001;
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
    case EAI_NODATA: return 11004;
    case EAI_SYSTEM: return SocketErrorNumber(errno);
    default: return 11003;
    }
}

std::string SocketErrorText(int code)
{
    for (const auto& [number, text] : kTexts) {
        if (number == code)
            return text;
    }
    return SystemText(code);
}

std::string SystemErrorText(int code)
{
    return SystemText(code);
}

std::string ErrorNumberText(int posixError)
{
    const std::string text = ErrnoText(posixError);
    const std::string number = std::to_string(static_cast<unsigned>(posixError));
    return text.empty() ? number : number + ": " + text;
}

bool BreaksConnection(int code)
{
    switch (code) {
    case kErrorCancelled:
    case kErrorInvalid:
    case kErrorNotSocket:
    case kErrorNetworkDown:
    case kErrorNetworkReset:
    case kErrorAborted:
    case kErrorReset:
    case kErrorShutDown:
    case kErrorTimedOut: return true;
    default: return false;
    }
}

void LogSocketError(std::string_view label, int code)
{
    if (label.empty())
        LogMessage("%s", {SocketErrorText(code)});
    else
        LogMessage("%s: %s", {label, SocketErrorText(code)});
}
