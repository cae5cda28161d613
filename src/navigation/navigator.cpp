// SPDX-License-Identifier: GPL-3.0-or-later
#include "navigation/navigator.h"

#include "ftp/encryption.h"
#include "remote/exchange_result.h"
#include "remote/remote_session.h"
#include "sites/profiles/connect_preparation.h"
#include "sites/profiles/quick_connect_entry.h"

#include <utility>

namespace {

constexpr char kAnonymousPassword[] = "tessaline@";

// The window shows that it is busy for as long as this lives.
class BusyWhile final {
public:
    explicit BusyWhile(NavigatorFront& front) : front(front) { front.SetBusy(true); }
    ~BusyWhile() { front.SetBusy(false); }
    BusyWhile(const BusyWhile&) = delete;
    BusyWhile& operator=(const BusyWhile&) = delete;

private:
    NavigatorFront& front;
};

}  // namespace

Navigator::Navigator(SiteStore& sites, RemoteSession& session, const CSettings& settings, NavigatorFront& front)
    : sites(sites)
    , session(session)
    , settings(settings)
    , front(front)
{}

void Navigator::OpenNode(SiteNodeId id)
{
    sites.SetCurrent(id);
    OpenCurrent();
}

void Navigator::OpenCurrent()
{
    const SiteNode& current = *sites.Node(sites.Current());
    switch (current.kind) {
    case kItemGroup: front.ShowSites(); break;
    case kItemSite: ConnectSite(current.profile); break;
    case kItemRemoteDirectory: {
        std::string path;
        const SiteNodeId site = sites.SiteAndPath(current.id, &path);
        path.pop_back();  // a node keeps the name its listing showed, a link's target too
        GoToDirectoryNode(sites.Node(site)->profile, path);
        break;
    }
    default: break;
    }
}

void Navigator::OpenRow(SiteNodeId node, int kind, const std::string& name, bool link)
{
    const SiteNodeId shown = sites.Current();
    // Sites and groups may share a name: the one the user chose is the one opened.
    if (node != kRootNode)
        sites.SetCurrent(node);
    else if (const SiteNodeId child = sites.ChildNamed(shown, name); child != kRootNode)
        sites.SetCurrent(child);
    switch (kind) {
    case kItemGroup: front.ShowSites(); break;
    case kItemSite: ConnectSite(sites.Node(sites.Current())->profile); break;
    case kItemRemoteDirectory:
        // A directory the server refused leaves the tree where the list still is.
        if (!EnterDirectory(name, link) && session.Connected())
            sites.SetCurrent(shown);
        break;
    case kItemRemoteFile: front.OpenFile(name); break;
    default: break;
    }
}

void Navigator::GoToDirectoryNode(const CSiteProfile& site, const std::string& path)
{
    if (site.host != session.Login().host) {
        QuitSession();
        ConnectSite(site, ConnectFor::DirectoryNode);
    } else if (session.Connected()) {
        RunRemote([this] { return session.ChangeToRoot(); });
    } else {
        ConnectSite(site, ConnectFor::DirectoryNode);
    }
    if (session.Connected())
        EnterDirectory(path, true);
}

void Navigator::ConnectSite(CSiteProfile profile, ConnectFor purpose)
{
    if (!front.AwaitSavedPassword(profile) || (profile.prompt && !front.EditLogin(profile))) {
        ReturnToParentOfCurrent();
        return;
    }
    ConnectSiteWithoutPrompt(std::move(profile), purpose);
}

void Navigator::ConnectSiteWithoutPrompt(CSiteProfile profile, ConnectFor purpose)
{
    if (!front.AwaitSavedPassword(profile)) {
        ReturnToParentOfCurrent();
        return;
    }
    session.Operations().SetConnectCancelled(false);
    std::optional<QuickConnectEntry> quickConnectEntry;
    if (purpose == ConnectFor::QuickConnect)
        quickConnectEntry.emplace(sites, session, profile);
    ConnectProfile(profile, purpose);
    if (session.Connected())
        return;
    if (!session.Failure().refusal.empty()) {
        front.Inform(session.Failure().refusal);
    } else if (session.Failure().connectFailure == ConnectFailure::LoginRefused) {
        front.Inform("The server refused the login: " + FailureText());
    } else if (!session.Operations().ConnectCancelled()) {
        // A server that stopped answering or refused something else: its words, or the time-out, say why.
        std::string text = "There was a problem logging on to the site, please see the log window for details.";
        if (!session.Failure().lostReason.empty() || session.Failure().replyCode >= 400)
            text += "\n\n" + FailureText();
        front.Inform(text);
    }
    ReturnToParentOfCurrent();
}

void Navigator::ReturnToParentOfCurrent()
{
    sites.SetCurrent(sites.ParentOf(sites.Current()));
}

void Navigator::ConnectProfile(const CSiteProfile& profile, ConnectFor purpose)
{
    BusyWhile busy(front);
    // Without an e-mail address in the options an anonymous login still goes, as servers expect
    // something that looks like one.
    const std::string password = LoginPassword(profile, settings).value_or(kAnonymousPassword);
    if (!QuitSession()) {
        session.Operations().SetConnectCancelled(true);
        return;
    }
    PrepareConnect(session, profile, password, settings);

    if (!ConnectInBackground(session, profile.host))
        session.Operations().SetConnectCancelled(true);
    // "Always for this site" to the question about a password in plain text: the site keeps it.
    const SiteNodeId site = sites.SiteOrGroupAt(sites.Current());
    if (session.Login().encryption == kPlainOnly && profile.encryption != kPlainOnly
        && sites.KindOf(site) == kItemSite) {
        CSiteProfile plain = sites.Node(site)->profile;
        plain.encryption = kPlainOnly;
        sites.ReplaceProfile(site, plain);
    }
    // A directory node's path starts where the login does: its connect enters no start directory.
    if (!session.Connected() || purpose == ConnectFor::DirectoryNode)
        return;
    if (!profile.remoteDirectory.empty()) {
        sites.SetCurrent(site);
        sites.DescendPath(profile.remoteDirectory);
        EnterDirectory(profile.remoteDirectory, false);
    } else {
        List(false);
    }
}

bool Navigator::EnterDirectory(const std::string& name, bool link)
{
    BusyWhile busy(front);
    const std::optional<int> changed =
        RunRemote([this, name, link] { return link ? session.EnterLink(name) : session.ChangeDirectory(name); });
    if (!changed) {
        LeftEndedSession("Changing the directory", true);
        return false;
    }
    switch (*changed) {
    case kCompletion: List(false); return true;
    case kTransientNegative:
        CloseSessionAndShowSites();
        front.Inform("The connection was closed without me knowing about it, try logging on again.");
        return false;
    default:
        // Refused: the list keeps the directory it shows.
        front.Inform("Could not change to the directory " + name + ": " + FailureText());
        return false;
    }
}

void Navigator::List(bool keepRows)
{
    BusyWhile busy(front);
    std::vector<CDirEntry> entries;
    const ListingResult listed = session.ListDirectory(ListingUse::Show, entries);
    if (listed == ListingResult::Failed || listed == ListingResult::Cancelled) {
        if (LeftEndedSession("The listing of the directory", listed == ListingResult::Cancelled))
            return;
        if (!keepRows)
            front.ClearEntries();
        front.Inform("The directory could not be listed: " + FailureText());
        return;
    }
    std::erase_if(entries, [](const CDirEntry& entry) { return entry.name == "." || entry.name == ".."; });
    std::vector<std::string> directories;
    for (const CDirEntry& entry : entries) {
        if (!entry.isFile)
            directories.push_back(entry.name);
    }
    sites.AddDirectories(sites.Current(), directories);
    front.ShowEntries(std::move(entries));
}

void Navigator::UpOneLevel()
{
    const SiteNodeId shown = sites.Current();
    const SiteNodeId parent = sites.ParentOf(shown);
    switch (sites.KindOf(parent)) {
    case kItemRemoteDirectory:
    case kItemSite:
        sites.SetCurrent(parent);
        if (!EnterDirectory("..", false) && session.Connected())
            sites.SetCurrent(shown);
        break;
    case kItemGroup:
        // The current node is the site itself: the session is at its start directory.
        if (front.Ask("You are at the root directory, are you sure you want to disconnect from " + session.Login().host,
                      "Disconnect")) {
            sites.SetCurrent(parent);
            QuitSession();
            front.ShowSites();
        }
        break;
    default:
        sites.SetCurrent(kRootNode);
        front.ShowSites();
        break;
    }
}

void Navigator::Disconnect(bool ask)
{
    BusyWhile busy(front);
    if (!session.Connected())
        return;
    if (ask && !front.Ask("Are you sure you want to disconnect from " + session.Login().host + "?", "Disconnect"))
        return;
    CloseSessionAndShowSites();
}

void Navigator::CloseSessionAndShowSites()
{
    QuitSession();
    sites.SetCurrent(sites.ParentOf(sites.SiteOrGroupAt(sites.Current())));
    front.ShowSites();
}

bool Navigator::LeftEndedSession(const std::string& what, bool cancelled, const std::string& note)
{
    if (session.Connected())
        return false;
    const std::string& host = session.Login().host;
    std::string text = cancelled ? what + " was cancelled, and the connection to " + host + " was closed with it."
                                 : what + " failed: the connection to " + host + " was lost (" + FailureText() + ").";
    if (!note.empty())
        text += ' ' + note;
    CloseSessionAndShowSites();
    front.Inform(text + " Double-click the site to connect again.");
    return true;
}

std::string Navigator::FailureText() const
{
    if (!session.Failure().lostReason.empty())
        return session.Failure().lostReason;
    if (session.Failure().replyCode >= 400 && session.Failure().replyCode <= 599)
        return session.Failure().reply;
    return "see the log window for details";
}

std::optional<int> Navigator::RunRemote(std::function<int()> command)
{
    return RunRemoteCommand(session, std::move(command));
}

bool Navigator::QuitSession()
{
    return RunRemote([this] { return session.Quit(); }).has_value();
}
