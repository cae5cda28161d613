// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run_failure.h"

#include "cli/exit_status.h"
#include "cli/terminal_text.h"
#include "remote/session_failure.h"

#include <algorithm>
#include <cstring>

namespace {

// 550 to 559: the server refused the file or directory itself (missing, not allowed, bad name).
constexpr int kFileRefusalFamily = 55;

std::string LastReply(const SessionFailure& failure)
{
    return EscapedControls(failure.reply);
}

// Texts written for a message box may run over several lines; the reason is one.
std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    return EscapedControls(text);
}

constexpr char kNoAnswer[] = "timed out: the server did not answer within the time-out";

}  // namespace

RunFailure ConnectFailureOf(const SessionFailure& failure, const std::string& host)
{
    const std::string shownHost = EscapedControls(host);
    if (failure.timedOut)
        return {kTimedOut, "could not connect to " + shownHost + ": " + kNoAnswer};
    switch (failure.connectFailure) {
    case ConnectFailure::HostNotFound: return {kHostNotFound, "could not resolve the host " + shownHost};
    case ConnectFailure::NotReached:
        return {kNotConnected, "could not connect to " + shownHost + ": " + failure.connectError};
    case ConnectFailure::LoginRefused:
        return {kLoginRefused, "login to " + shownHost + " refused: " + LastReply(failure)};
    default: break;
    }
    if (!failure.refusal.empty())
        return {kFailed, OneLine(failure.refusal)};
    if (!failure.lostReason.empty())
        return {kFailed, "connection to " + shownHost + " lost: " + OneLine(failure.lostReason)};
    if (failure.replyCode != 0)
        return {kFailed, "could not log in to " + shownHost + ": " + LastReply(failure)};
    return {kFailed, "could not log in to " + shownHost + " (the log without -q tells why)"};
}

RunFailure CommandFailureOf(const SessionFailure& failure, const std::string& what)
{
    const std::string shown = EscapedControls(what);
    if (failure.timedOut)
        return {kTimedOut, shown + ": " + kNoAnswer};
    if (failure.localFileError != 0) {
        return {kLocalFileError, EscapedControls(failure.localPath) + ": " + std::strerror(failure.localFileError)};
    }
    if (failure.replyCode / 10 == kFileRefusalFamily)
        return {kRemoteRefused, shown + ": " + LastReply(failure)};
    if (!failure.lostReason.empty())
        return {kFailed, shown + ": connection lost: " + OneLine(failure.lostReason)};
    if (failure.replyCode >= 400)
        return {kFailed, shown + ": " + LastReply(failure)};
    return {kFailed, shown + " failed (the log without -q tells why)"};
}
