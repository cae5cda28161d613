// SPDX-License-Identifier: GPL-3.0-or-later
// The SFTP channel's start and the session's commands: directories, names and modes.

#include "remote/exchange_result.h"
#include "remote/local_names.h"
#include "remote/session_log.h"
#include "sftp/sftp_remote_session.h"
#include "sftp/sftp_steps.h"

#include <libssh/libssh.h>
#include <sys/stat.h>

namespace {

constexpr char kPosixRename[] = "posix-rename@openssh.com";

}  // namespace

bool StartSftp(SftpContext& context)
{
    context.channel = ssh_channel_new(context.ssh);
    if (!context.channel || ssh_channel_open_session(context.channel) != SSH_OK
        || ssh_channel_request_subsystem(context.channel, "sftp") != SSH_OK) {
        // A connect given up meanwhile (a copy that needs no more connections) is no refusal.
        if (context.cancelRequested) {
            LogMessage("Cancelled");
            context.Close();
            return false;
        }
        context.failure.connectFailure = ConnectFailure::Other;
        context.failure.refusal = FormatText("The server offers no SFTP: %s", {ssh_get_error(context.ssh)});
        LogMessage("%s", {context.failure.refusal});
        context.Close();
        return false;
    }
    if (!context.Send(InitPacket()))
        return false;
    const std::optional<SftpPacket> reply = context.Receive();
    const auto version = reply && reply->type == kFxpVersion ? ParseVersion(reply->body) : std::nullopt;
    if (!version) {
        if (reply)
            context.Malformed("INIT");
        return false;
    }
    std::string extensions;
    for (const auto& [name, data] : version->second) {
        extensions += extensions.empty() ? name : ", " + name;
        context.posixRename = context.posixRename || name == kPosixRename;
    }
    LogMessage("SFTP version %u%s%s", {version->first, extensions.empty() ? "" : "; extensions: ", extensions});
    const std::optional<std::string> home = RealPath(context, ".");
    if (!home)
        return false;
    context.home = *home;
    context.directory = *home;
    LogMessage("Directory %s", {context.directory});
    return true;
}

std::optional<SftpAttributes> StatPath(SftpContext& context, const std::string& path, bool follow)
{
    const std::uint32_t id = context.NextId();
    const std::optional<SftpPacket> reply =
        context.Exchange(SftpRequest(follow ? kFxpStat : kFxpLstat, id).String(path), id);
    if (!reply)
        return std::nullopt;
    if (reply->type == kFxpAttrs) {
        if (auto attributes = ParseAttributes(reply->body))
            return attributes;
    } else if (const auto status = reply->type == kFxpStatus ? ParseStatus(reply->body) : std::nullopt) {
        context.Refused(FormatText("STAT %s", {path}), *status);
        return std::nullopt;
    }
    context.Malformed("STAT");
    return std::nullopt;
}

std::optional<std::string> RealPath(SftpContext& context, const std::string& path)
{
    const std::uint32_t id = context.NextId();
    const std::optional<SftpPacket> reply = context.Exchange(SftpRequest(kFxpRealpath, id).String(path), id);
    if (!reply)
        return std::nullopt;
    if (reply->type == kFxpName) {
        const auto names = ParseNames(reply->body);
        if (names && names->size() == 1 && (*names)[0].name.starts_with('/'))
            return (*names)[0].name;
    } else if (const auto status = reply->type == kFxpStatus ? ParseStatus(reply->body) : std::nullopt) {
        context.Refused(FormatText("REALPATH %s", {path}), *status);
        return std::nullopt;
    }
    context.Malformed("REALPATH");
    return std::nullopt;
}

bool SftpRemoteSession::Ready()
{
    context->failure.reply.clear();
    context->failure.timedOut = false;
    return context->connected;
}

int SftpRemoteSession::Simple(const SftpRequest& request, std::uint32_t id, const std::string& what)
{
    LogMessage("Tessaline: %s", {what});
    return context->StatusResult(context->Exchange(request, id), what);
}

int SftpRemoteSession::ChangeDirectory(const std::string& name)
{
    if (!Ready())
        return kNotSent;
    const std::string path = context->PathOf(name);
    LogMessage("Tessaline: CD %s", {path});
    const std::optional<std::string> full = RealPath(*context, path);
    if (!full)
        return context->connected ? kPermanentNegative : kInterrupted;
    const std::optional<SftpAttributes> attributes = StatPath(*context, *full, true);
    if (!attributes)
        return context->connected ? kPermanentNegative : kInterrupted;
    if (!attributes->permissions || !S_ISDIR(*attributes->permissions)) {
        context->Refused(FormatText("CD %s", {*full}), {kFxFailure, "Not a directory"});
        return kPermanentNegative;
    }
    context->directory = *full;
    LogMessage("Directory %s", {context->directory});
    return kCompletion;
}

int SftpRemoteSession::EnterLink(const std::string& listedName)
{
    return ChangeDirectory(std::string(SplitListedLink(listedName).name));
}

int SftpRemoteSession::ChangeToRoot()
{
    return ChangeDirectory("/");
}

int SftpRemoteSession::CurrentDirectory(std::string& path)
{
    if (!context->connected)
        return kNotSent;
    path = context->directory;
    return kCompletion;
}

int SftpRemoteSession::MakeDirectory(const std::string& name)
{
    if (!Ready())
        return kNotSent;
    const std::uint32_t id = context->NextId();
    const std::string path = context->PathOf(name);
    return Simple(SftpRequest(kFxpMkdir, id).String(path).Attributes({}), id, "MKDIR " + path);
}

int SftpRemoteSession::RemoveDirectory(const std::string& name)
{
    if (!Ready())
        return kNotSent;
    const std::uint32_t id = context->NextId();
    const std::string path = context->PathOf(name);
    return Simple(SftpRequest(kFxpRmdir, id).String(path), id, "RMDIR " + path);
}

int SftpRemoteSession::DeleteFile(const std::string& name)
{
    if (!Ready())
        return kNotSent;
    const std::uint32_t id = context->NextId();
    const std::string path = context->PathOf(name);
    return Simple(SftpRequest(kFxpRemove, id).String(path), id, "REMOVE " + path);
}

int SftpRemoteSession::RenameFile(const std::string& oldName, const std::string& newName)
{
    if (!Ready())
        return kNotSent;
    const std::uint32_t id = context->NextId();
    const std::string from = context->PathOf(oldName);
    const std::string to = context->PathOf(newName);
    // Plain RENAME refuses an existing target on OpenSSH; the extension replaces it as rename(2) does.
    if (context->posixRename)
        return Simple(SftpRequest(kFxpExtended, id).String(kPosixRename).String(from).String(to), id,
                      FormatText("RENAME %s %s", {from, to}));
    return Simple(SftpRequest(kFxpRename, id).String(from).String(to), id, FormatText("RENAME %s %s", {from, to}));
}

int SftpRemoteSession::SetPermissions(const std::string& mode, const std::string& name)
{
    if (!Ready())
        return kNotSent;
    const std::optional<std::uint32_t> bits = ModeFromText(mode);
    const std::string path = context->PathOf(name);
    if (!bits) {
        context->Refused(FormatText("CHMOD %s %s", {mode, path}), {kFxFailure, "Not an octal mode"});
        return kPermanentNegative;
    }
    SftpAttributes attributes;
    attributes.permissions = *bits;
    const std::uint32_t id = context->NextId();
    return Simple(SftpRequest(kFxpSetstat, id).String(path).Attributes(attributes), id,
                  FormatText("CHMOD %s %s", {mode, path}));
}

int SftpRemoteSession::QuerySystemType()
{
    return context->connected ? kCompletion : kNotSent;
}

int SftpRemoteSession::SystemType() const
{
    return 0;  // SFTP names no system; paths and listings are the same everywhere
}
