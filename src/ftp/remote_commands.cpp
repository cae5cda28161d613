// SPDX-License-Identifier: GPL-3.0-or-later
// Remote file commands and the server's system type.

#include "ftp/ftp_session.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/tls_stream.h"
#include "ftp/local_names.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"

#include <sys/socket.h>

namespace {

constexpr std::size_t kVmsChangeDirectoryLimit = 95;
constexpr std::size_t kVmsMakeRemoveLimit = 99;

}  // namespace

int CFtpSession::DirectoryCommand(const char* command, const char* fallback, const std::string& name,
                                  std::size_t vmsLimit)
{
    const std::string format = std::string(command) + " %s";
    if (Command(format, {name}) != kPermanentNegative)
        return ReplyClass(replyCode);
    if (replyCode == 500) {
        // 500: the server does not know the command; old servers take the X-form of RFC 775.
        Command(std::string(fallback) + " %s", {name});
    } else {
        // Another refusal: VMS servers want the directory in bracket form.
        std::string rewritten = name;
        VmsDirectoryName(rewritten, vmsLimit);
        Command(format, {rewritten});
    }
    return ReplyClass(replyCode);
}

int CFtpSession::ChangeDirectory(const std::string& name)
{
    return DirectoryCommand("CWD", "XCWD", name, kVmsChangeDirectoryLimit);
}

int CFtpSession::EnterLink(const std::string& listedName)
{
    std::string target(SplitListedLink(listedName).target);
    if (target.empty())
        return ChangeDirectory(listedName);
    if (target.starts_with("/")) {
        ChangeDirectory("/");
    } else {
        while (target.starts_with("../")) {
            ChangeDirectory("..");
            target.erase(0, 3);
        }
    }
    return ChangeDirectory(target);
}

int CFtpSession::ChangeToRoot()
{
    return ChangeDirectory("/");
}

int CFtpSession::MakeDirectory(const std::string& name)
{
    return DirectoryCommand("MKD", "XMKD", name, kVmsMakeRemoveLimit);
}

int CFtpSession::RemoveDirectory(const std::string& name)
{
    return DirectoryCommand("RMD", "XRMD", name, kVmsMakeRemoveLimit);
}

int CFtpSession::DeleteFile(const std::string& name)
{
    Command("DELE %s", {name});
    return ReplyClass(replyCode);
}

int CFtpSession::RenameFile(const std::string& oldName, const std::string& newName)
{
    const int from = Command("RNFR %s", {oldName});
    if (from != kIntermediate)  // 350: ready for the new name
        return from == kCompletion ? kPermanentNegative : from;
    return Command("RNTO %s", {newName});
}

int CFtpSession::SetPermissions(const std::string& mode, const std::string& name)
{
    return Command("SITE CHMOD %s %s", {mode, name});
}

int CFtpSession::Quit()
{
    if (controlSocket == -1)
        return kNotSent;
    const int result = Command("quit");
    if (controlTls && !interrupted)
        controlTls->Shutdown(cancelSignal, RetryDeadline(), false);
    ::shutdown(controlSocket, SHUT_RDWR);
    controlSocket = CloseSocket(controlSocket);
    connected = 0;
    return result;
}

int CFtpSession::QuitAtExit()
{
    waitBound = DeadlineAfter(std::chrono::milliseconds(settings.exitQuitMilliseconds.load()));
    const int result = Quit();
    waitBound.reset();
    return result;
}

int CFtpSession::QuerySystemType()
{
    if (Command("SYST") == kPermanentNegative)
        return ReplyClass(replyCode);
    // The reply is in the log already, as Command posted it.
    const std::string text = replyBuffer.substr(0, 99);
    if (const std::optional<int> type = SystemTypeFromReply(text))
        systemType = *type;
    return ReplyClass(replyCode);
}

void CFtpSession::VmsDirectoryName(std::string& name, std::size_t limit) const
{
    if (!IsVmsSystem(systemType))
        return;
    const std::string rewritten = name == ".." ? std::string("[-]") : "[." + name + "]";
    if (rewritten.size() < limit)
        name = rewritten;
}
