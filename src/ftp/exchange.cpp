// SPDX-License-Identifier: GPL-3.0-or-later
// The command and reply exchange: the one way every command reaches the server.

#include "ftp/ftp_session.h"
#include "ftp/internal/protocol_rules.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"

#include <algorithm>

namespace {

constexpr std::size_t kLongestCommandLine = 4094;  // what fits the command buffer with CR LF
constexpr int kLongestReply = 10000;               // lines; no server needs more for one reply

}  // namespace

int CFtpSession::Command(std::string_view format, std::initializer_list<FormatArg> args)
{
    const std::string line = FormatText(format, args);
    replyCode = 0;

    // A line break inside a name would send a second command of the name's choosing, and a cut
    // line could act on another file: such lines are refused whole. Nothing has gone out, so the
    // session stays as it was.
    if (HasLineBreak(line)) {
        LogMessage("Refused command containing a line break");
        return kNotSent;
    }
    if (line.size() > kLongestCommandLine) {
        LogMessage("Refused command longer than %u characters", {kLongestCommandLine});
        return kNotSent;
    }

    if (line.starts_with("PASS "))
        LogMessage("Tessaline: PASS xxxxxx");
    else
        LogMessage("Tessaline: %s", {line});

    int result = kNotSent;
    if (controlSocket == -1)
        LogMessage("Connection not established.");
    else if (SendCommandLine(line) != -1)
        result = ReadReply();

    if (result == kNotSent)
        connected = 0;
    return result;
}

long CFtpSession::SendCommandLine(const std::string& line)
{
    if (controlSocket == -1)
        return -1;
    if (commandDepth != 0 && !IsQuitCommand(line)) {
        LogMessage("Command already in progress, ignored New Cmd");
        return -1;
    }
    ++commandDepth;
    commandBuffer = line + "\r\n";
    int result = 0;
    const long sent = SendAll(controlSocket, commandBuffer.data(), static_cast<long>(commandBuffer.size()), result);
    --commandDepth;
    return sent;
}

int CFtpSession::ReadReply()
{
    if (controlSocket == -1)
        return kNoValidCode;
    ++commandDepth;
    // The time-out bounds the whole reply, not each line: a reply that never ends is cut off.
    const WaitDeadline deadline = RetryDeadline();
    for (int lines = 1;; ++lines) {
        const int code = ReadLine(deadline);
        const bool goesOn = ReplyGoesOn(code, replyBuffer);
        if (!interrupted || !replyBuffer.empty())
            PostLogLine(replyBuffer);
        if (interrupted) {
            replyCode = kServiceClosing;
            break;
        }
        if (ReplyClass(code) != kNoValidCode)
            replyCode = code;
        if (!goesOn)
            break;
        if (lines == kLongestReply) {
            const std::string why =
                FormatText("The reply went on for more than %u lines; the connection is given up.", {kLongestReply});
            LogMessage("%s", {why});
            BreakConnection(why);
            replyCode = kServiceClosing;
            break;
        }
    }
    --commandDepth;
    if (interrupted)
        return kInterrupted;
    return ReplyClass(replyCode);
}

void CFtpSession::LogRate(std::string_view verb, long long bytes, long long milliseconds)
{
    constexpr long long kPerSecond = 1000;
    // A transfer that took less than a millisecond counts as one, which keeps the rate finite.
    const long long rate = bytes * kPerSecond / std::max(milliseconds, 1LL);
    LogMessage("%sed %ld characters in %ld seconds (%ld bytes/sec)", {verb, bytes, milliseconds / kPerSecond, rate});
}
