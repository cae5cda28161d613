// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/run_failure.h"

#include "cli/exit_status.h"
#include "cli/terminal_text.h"
#include "ftp/ftp_session.h"

#include <algorithm>
#include <cstring>

namespace {

// 550 to 559: the server refused the file or directory itself (missing, not allowed, bad name).
constexpr int kFileRefusalFamily = 55;

std::string LastReply(const CFtpSession& session)
{
    return EscapedControls(session.replyBuffer);
}

// Texts written for a message box may run over several lines; the reason is one.
std::string OneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\n', ' ');
    return EscapedControls(text);
}

constexpr char kNoAnswer[] = "timed out: the server did not answer within the time-out";

}  // namespace

RunFailure ConnectFailureOf(const CFtpSession& session, const std::string& host)
{
    const std::string shownHost = EscapedControls(host);
    if (session.TimedOut())
        return {kTimedOut, "could not connect to " + shownHost + ": " + kNoAnswer};
    switch (session.connectFailure) {
    case CFtpSession::ConnectFailure::HostNotFound: return {kHostNotFound, "could not resolve the host " + shownHost};
    case CFtpSession::ConnectFailure::NotReached:
        return {kNotConnected, "could not connect to " + shownHost + ": " + session.connectError};
    case CFtpSession::ConnectFailure::LoginRefused:
        return {kLoginRefused, "login to " + shownHost + " refused: " + LastReply(session)};
    default: break;
    }
    if (!session.refusal.empty())
        return {kFailed, OneLine(session.refusal)};
    if (!session.LostReason().empty())
        return {kFailed, "connection to " + shownHost + " lost: " + OneLine(session.LostReason())};
    if (session.replyCode != 0)
        return {kFailed, "could not log in to " + shownHost + ": " + LastReply(session)};
    return {kFailed, "could not log in to " + shownHost + " (the log without -q tells why)"};
}

RunFailure CommandFailureOf(const CFtpSession& session, const std::string& what)
{
    const std::string shown = EscapedControls(what);
    if (session.TimedOut())
        return {kTimedOut, shown + ": " + kNoAnswer};
    if (session.localFileError != 0) {
        return {kLocalFileError,
                EscapedControls(session.transferLocalPath) + ": " + std::strerror(session.localFileError)};
    }
    if (session.replyCode / 10 == kFileRefusalFamily)
        return {kRemoteRefused, shown + ": " + LastReply(session)};
    if (!session.LostReason().empty())
        return {kFailed, shown + ": connection lost: " + OneLine(session.LostReason())};
    if (session.replyCode >= 400)
        return {kFailed, shown + ": " + LastReply(session)};
    return {kFailed, shown + " failed (the log without -q tells why)"};
}
