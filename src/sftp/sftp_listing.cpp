// SPDX-License-Identifier: GPL-3.0-or-later
// A directory listing into the rows every listing makes: name, size, time, permissions, kind.

#include "remote/local_names.h"
#include "remote/operation_host.h"
#include "remote/session_log.h"
#include "sftp/sftp_steps.h"

#include <sys/stat.h>

namespace {

// More entries than any directory a person browses: a server that lists without end is cut off.
constexpr std::size_t kLargestListing = 1'000'000;

std::optional<std::string> ReadLink(SftpContext& context, const std::string& path)
{
    const std::uint32_t id = context.NextId();
    const std::optional<SftpPacket> reply = context.Exchange(SftpRequest(kFxpReadlink, id).String(path), id);
    if (!reply || reply->type != kFxpName)
        return std::nullopt;
    const auto names = ParseNames(reply->body);
    if (!names || names->size() != 1)
        return std::nullopt;
    return (*names)[0].name;
}

// The row of one entry. A link is looked through: one to a directory is listed as a UNIX listing
// shows it ("name -> target", a directory), so it is entered and copied as FTP's are; one to a file
// keeps its own name and is the file it names, size and time included.
CDirEntry EntryOf(SftpContext& context, const SftpName& name)
{
    SftpAttributes attributes = name.attributes;
    CDirEntry entry;
    entry.name = name.name;
    const std::uint32_t mode = attributes.permissions.value_or(S_IFREG);
    entry.permissions = PermissionsText(mode);
    bool directory = S_ISDIR(mode);
    if (S_ISLNK(mode)) {
        const std::string path = context.PathOf(name.name);
        if (const auto target = StatPath(context, path, true); target && target->permissions) {
            directory = S_ISDIR(*target->permissions);
            attributes.size = target->size;
            attributes.modified = target->modified;
        }
        if (directory) {
            if (const auto points = ReadLink(context, path))
                entry.name += " -> " + *points;
        }
    }
    entry.isFile = directory ? 0 : 1;
    if (attributes.size)
        entry.size = std::to_string(*attributes.size);
    if (attributes.modified)
        entry.modifiedTime = static_cast<std::time_t>(*attributes.modified);
    return entry;
}

void CloseHandle(SftpContext& context, const std::string& handle)
{
    const std::uint32_t id = context.NextId();
    context.Exchange(SftpRequest(kFxpClose, id).String(handle), id);
}

}  // namespace

ListingResult ListEntries(SftpContext& context, ListingUse use, std::vector<CDirEntry>& entries)
{
    const std::string path = context.directory;
    LogMessage("Tessaline: LIST %s", {path});
    std::uint32_t id = context.NextId();
    std::optional<SftpPacket> reply = context.Exchange(SftpRequest(kFxpOpendir, id).String(path), id);
    if (!reply)
        return context.cancelRequested ? ListingResult::Cancelled : ListingResult::Failed;
    std::optional<std::string> handle = reply->type == kFxpHandle ? ParseHandle(reply->body) : std::nullopt;
    if (!handle) {
        const auto status = reply->type == kFxpStatus ? ParseStatus(reply->body) : std::nullopt;
        if (!status) {
            context.Malformed("OPENDIR");
            return ListingResult::Failed;
        }
        context.Refused(FormatText("OPENDIR %s", {path}), *status);
        if (status->code == kFxPermissionDenied && use == ListingUse::Show) {
            if (context.operations.host)
                context.operations.host->Inform(FormatText("Permission denied: %s", {context.failure.reply}));
            return ListingResult::PermissionDenied;
        }
        return ListingResult::Failed;
    }

    std::vector<SftpName> names;
    bool complete = false;
    while (context.connected && names.size() <= kLargestListing) {
        id = context.NextId();
        reply = context.Exchange(SftpRequest(kFxpReaddir, id).String(*handle), id);
        if (!reply)
            break;
        if (reply->type == kFxpName) {
            auto more = ParseNames(reply->body);
            if (!more) {
                context.Malformed("READDIR");
                break;
            }
            names.insert(names.end(), std::make_move_iterator(more->begin()), std::make_move_iterator(more->end()));
            continue;
        }
        const auto status = reply->type == kFxpStatus ? ParseStatus(reply->body) : std::nullopt;
        if (!status)
            context.Malformed("READDIR");
        else if (status->code == kFxEof)
            complete = true;
        else
            context.Refused(FormatText("READDIR %s", {path}), *status);
        break;
    }
    if (names.size() > kLargestListing)
        LogMessage("The server lists more than %u entries in %s; the listing was cut off there.",
                   {kLargestListing, path});
    if (context.connected)
        CloseHandle(context, *handle);

    for (const SftpName& name : names) {
        if (!context.connected)
            break;
        if (name.name == "." || name.name == "..")
            continue;
        // A name from the server is one name of this directory, never a path.
        if (!IsSafeLocalName(name.name)) {
            LogMessage("Skipped unsafe name %s", {name.name});
            continue;
        }
        entries.push_back(EntryOf(context, name));
    }
    if (context.cancelRequested)
        return ListingResult::Cancelled;
    if (!context.connected)
        return ListingResult::Failed;
    LogMessage("%u entries", {entries.size()});
    // A copy must not take a listing cut short for the whole directory.
    return complete || use == ListingUse::Show ? ListingResult::Listed : ListingResult::Failed;
}
