// SPDX-License-Identifier: GPL-3.0-or-later
// Remote file commands and the server's system type.

#include "ftp/ftp_session.h"
#include "ftp/internal/control_connection.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/session_context.h"
#include "ftp/internal/tls_stream.h"
#include "remote/exchange_result.h"
#include "remote/local_names.h"
#include "remote/session_log.h"

#include <sys/socket.h>

namespace {

constexpr std::size_t kVmsChangeDirectoryLimit = 95;
constexpr std::size_t kVmsMakeRemoveLimit = 99;

int DirectoryCommand(CFtpSession& session, const char* command, const char* fallback, const std::string& name,
                     std::size_t vmsLimit)
{
    ControlConnection& control = *session.control;
    const std::string format = std::string(command) + " %s";
    if (control.Command(format, {name}) != kPermanentNegative)
        return ReplyClass(session.replyCode);
    if (session.replyCode == 500) {
        // 500: the server does not know the command; old servers take the X-form of RFC 775.
        control.Command(std::string(fallback) + " %s", {name});
    } else {
        // Another refusal: VMS servers want the directory in bracket form.
        std::string rewritten = name;
        VmsDirectoryName(rewritten, vmsLimit, session.systemType);
        control.Command(format, {rewritten});
    }
    return ReplyClass(session.replyCode);
}

}  // namespace

int CFtpSession::ChangeDirectory(const std::string& name)
{
    return DirectoryCommand(*this, "CWD", "XCWD", name, kVmsChangeDirectoryLimit);
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

int CFtpSession::CurrentDirectory(std::string& path)
{
    if (control->Command("PWD") != kCompletion)
        return ReplyClass(replyCode);
    const std::optional<std::string> named = QuotedPathname(replyBuffer);
    if (!named)
        return kPermanentNegative;
    path = *named;
    return kCompletion;
}

int CFtpSession::MakeDirectory(const std::string& name)
{
    return DirectoryCommand(*this, "MKD", "XMKD", name, kVmsMakeRemoveLimit);
}

int CFtpSession::RemoveDirectory(const std::string& name)
{
    return DirectoryCommand(*this, "RMD", "XRMD", name, kVmsMakeRemoveLimit);
}

int CFtpSession::DeleteFile(const std::string& name)
{
    control->Command("DELE %s", {name});
    return ReplyClass(replyCode);
}

int CFtpSession::RenameFile(const std::string& oldName, const std::string& newName)
{
    const int from = control->Command("RNFR %s", {oldName});
    if (from != kIntermediate)  // 350: ready for the new name
        return from == kCompletion ? kPermanentNegative : from;
    return control->Command("RNTO %s", {newName});
}

int CFtpSession::SetPermissions(const std::string& mode, const std::string& name)
{
    return control->Command("SITE CHMOD %s %s", {mode, name});
}

int CFtpSession::Quit()
{
    if (control->socket == -1)
        return kNotSent;
    const int result = control->Command("quit");
    if (control->tls && !interrupted)
        control->tls->Shutdown(context->cancelSignal, context->RetryDeadline(), false);
    ::shutdown(control->socket, SHUT_RDWR);
    control->Close();
    connected = 0;
    return result;
}

int CFtpSession::QuitAtExit()
{
    context->waitBound = DeadlineAfter(std::chrono::milliseconds(Settings().exitQuitMilliseconds.load()));
    const int result = Quit();
    context->waitBound.reset();
    return result;
}

int CFtpSession::QuerySystemType()
{
    if (control->Command("SYST") == kPermanentNegative)
        return ReplyClass(replyCode);
    // The reply is in the log already, as Command posted it.
    const std::string text = replyBuffer.substr(0, 99);
    if (const std::optional<int> type = SystemTypeFromReply(text))
        systemType = *type;
    return ReplyClass(replyCode);
}
