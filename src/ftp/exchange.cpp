// SPDX-License-Identifier: GPL-3.0-or-later
// The command and reply exchange: the one way every command reaches the server.

#include "ftp/internal/control_connection.h"
#include "ftp/internal/protocol_rules.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"

namespace {

constexpr std::size_t kLongestCommandLine = 4094;  // what fits the command buffer with CR LF
constexpr int kLongestReply = 10000;               // lines; no server needs more for one reply

}  // namespace

int ControlConnection::Command(std::string_view format, std::initializer_list<FormatArg> args)
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
    if (socket == -1)
        LogMessage("Connection not established.");
    else if (SendCommandLine(line) != -1)
        result = ReadReply();

    if (result == kNotSent)
        context.connected = 0;
    return result;
}

long ControlConnection::SendCommandLine(const std::string& line)
{
    if (socket == -1)
        return -1;
    if (context.commandDepth != 0 && !IsQuitCommand(line)) {
        LogMessage("Command already in progress, ignored New Cmd");
        return -1;
    }
    ++context.commandDepth;
    commandBuffer = line + "\r\n";
    int result = 0;
    const long sent = SendAll(socket, tls.get(), commandBuffer.data(), static_cast<long>(commandBuffer.size()), result);
    --context.commandDepth;
    return sent;
}

int ControlConnection::ReadReply()
{
    if (socket == -1)
        return kNoValidCode;
    ++context.commandDepth;
    // The time-out bounds the whole reply, not each line: a reply that never ends is cut off.
    const WaitDeadline deadline = context.RetryDeadline();
    for (int lines = 1;; ++lines) {
        const int code = ReadLine(deadline);
        const bool goesOn = ReplyGoesOn(code, replyBuffer);
        if (!context.interrupted || !replyBuffer.empty())
            PostLogLine(replyBuffer);
        if (keptReplyLines)
            keptReplyLines->push_back(replyBuffer);
        if (context.interrupted) {
            replyCode = kServiceClosing;
            break;
        }
        // An SSH server greets with its version line and then waits for ours: waiting on for an
        // FTP reply would only end at the time-out.
        if (lines == 1 && ReplyClass(code) == kNoValidCode && replyBuffer.starts_with("SSH-")) {
            const std::string why = "The server speaks SSH, not FTP: choose SFTP as the protocol.";
            LogMessage("%s", {why});
            Break(why);
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
            Break(why);
            replyCode = kServiceClosing;
            break;
        }
    }
    --context.commandDepth;
    if (context.interrupted)
        return kInterrupted;
    return ReplyClass(replyCode);
}

void ControlConnection::SetRepresentationType(char type)
{
    // The server keeps the type of a connection until told otherwise; asking again for the type
    // in force costs a round trip per file in a directory copy.
    if (type == typeInForce)
        return;
    const int result = type == 'L' ? Command("TYPE L 8") : Command("TYPE %c", {type});
    typeInForce = result == kCompletion ? type : '\0';
}
