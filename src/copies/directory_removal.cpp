// SPDX-License-Identifier: GPL-3.0-or-later
#include "copies/directory_copies.h"

#include "remote/exchange_result.h"
#include "remote/local_names.h"
#include "remote/remote_session.h"
#include "remote/session_log.h"

#include <functional>
#include <vector>

namespace {

// No real tree is this deep; a server that lists a directory inside itself would go on for ever.
constexpr int kDeepestRemoval = 100;

class TreeRemoval final {
public:
    explicit TreeRemoval(RemoteSession& session) : session(session) {}

    // Enters `name` (shown as `path`), lists it into `entries` and comes back out.
    bool List(const std::string& name, const std::string& path, std::vector<CDirEntry>& entries);
    bool Remove(const std::string& name, const std::string& path, int depth);

    std::string failure;

private:
    // One remote command on a worker; unless it completed, false with `failure` naming `path`.
    bool Run(const std::string& path, const std::function<int()>& command);
    bool Fail(const std::string& path, const std::string& why);
    // Lists the current directory (`path`) for the removal; false (and a log line) when it cannot.
    bool Listed(const std::string& path, std::vector<CDirEntry>& entries);

    RemoteSession& session;
};

bool TreeRemoval::Fail(const std::string& path, const std::string& why)
{
    if (failure.empty())
        failure = path + ": " + why;
    return false;
}

bool TreeRemoval::Run(const std::string& path, const std::function<int()>& command)
{
    const std::optional<int> result = RunRemoteCommand(session, command);
    if (result == kCompletion)
        return true;
    if (!result)
        return Fail(path, "cancelled");
    const SessionFailure failure = session.Failure();
    return Fail(path, failure.lostReason.empty() ? failure.reply : failure.lostReason);
}

bool TreeRemoval::Listed(const std::string& path, std::vector<CDirEntry>& entries)
{
    if (session.ListDirectory(ListingUse::Copy, entries) == ListingResult::Listed)
        return true;
    LogMessage("Could not list directory %s", {path});
    return false;
}

bool TreeRemoval::List(const std::string& name, const std::string& path, std::vector<CDirEntry>& entries)
{
    if (!Run(path, [this, &name] { return session.ChangeDirectory(name); }))
        return false;
    const bool listed = Listed(path, entries) || Fail(path, "it could not be listed");
    return Run(path, [this] { return session.ChangeDirectory(".."); }) && listed;
}

bool TreeRemoval::Remove(const std::string& name, const std::string& path, int depth)
{
    if (depth > kDeepestRemoval)
        return Fail(path, "it is more than 100 levels deep");
    if (!Run(path, [this, &name] { return session.ChangeDirectory(name); }))
        return false;
    std::vector<CDirEntry> entries;
    bool removed = Listed(path, entries) || Fail(path, "it could not be listed");
    for (const CDirEntry& entry : entries) {
        if (!removed)
            break;
        if (entry.name == "." || entry.name == "..")
            continue;
        const bool link = IsListedLink(entry);
        const std::string own(link ? SplitListedLink(entry.name).name : entry.name);
        const std::string entryPath = path + "/" + own;
        // A name with a slash would act on something outside this directory.
        if (!IsSafeLocalName(own))
            removed = Fail(path + "/" + entry.name, "not a name this directory can hold");
        else if (entry.isFile || link)
            removed = Run(entryPath, [this, &own] { return session.DeleteFile(own); });
        else
            removed = Remove(own, entryPath, depth + 1);
    }
    // Back out even after a failure, unless the connection is gone.
    if (session.ConnectionLost() || !Run(path, [this] { return session.ChangeDirectory(".."); }))
        return false;
    return removed && Run(path, [this, &name] { return session.RemoveDirectory(name); });
}

}  // namespace

std::optional<std::size_t> CountDirectoryEntries(RemoteSession& session, const std::string& name)
{
    TreeRemoval removal(session);
    std::vector<CDirEntry> entries;
    if (!removal.List(name, name, entries))
        return std::nullopt;
    std::size_t count = 0;
    for (const CDirEntry& entry : entries)
        count += entry.name != "." && entry.name != "..";
    return count;
}

bool RemoveDirectoryTree(RemoteSession& session, const std::string& name, std::string& failure)
{
    TreeRemoval removal(session);
    const bool removed = removal.Remove(name, name, 1);
    failure = removal.failure;
    return removed;
}
