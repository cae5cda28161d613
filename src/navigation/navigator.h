// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Navigator: where the user goes. Opening a group shows its sites, a site connects (asking for the
// login data first when its profile says so) and lists its start directory, a directory is
// entered and listed, a file is handed to the window to open; Up One Level walks back to the
// sites, asking before it disconnects. The site store keeps where the user is and the directory
// nodes listed; the session keeps the connection. The window is reached only through
// NavigatorFront, so that every step is the same whether a tree, a list or a test asked for it.

#include "remote/dir_entry.h"
#include "sites/profiles/site_store.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

class CSettings;
class RemoteSession;

// What the navigator asks of the window.
class NavigatorFront {
public:
    virtual ~NavigatorFront() = default;
    // The login data of `profile` shown for the user to change; false when they cancelled.
    virtual bool EditLogin(CSiteProfile& profile) = 0;
    // Before a connect: the saved password of `profile` that is kept elsewhere put into it, once
    // there; false when the user would rather not wait for it.
    virtual bool AwaitSavedPassword(CSiteProfile&) { return true; }
    virtual void Inform(const std::string& text) = 0;
    // A question with one action besides Cancel, the action being the default; true when the user
    // chose `action`.
    virtual bool Ask(const std::string& question, const std::string& action) = 0;
    // The list shows the children of the current node (groups and sites).
    virtual void ShowSites() = 0;
    // The list shows these entries of the current remote directory ("." and ".." left out).
    virtual void ShowEntries(std::vector<CDirEntry> entries) = 0;
    virtual void ClearEntries() = 0;
    // Downloads a file of the current directory and opens it, as the user's settings say.
    virtual void OpenFile(const std::string& name) = 0;
    // The window shows that it is busy from true to the matching false; the calls may nest.
    virtual void SetBusy(bool busy) = 0;
};

class Navigator final {
public:
    // Why a site is connected to: to browse it (its start directory is listed), as a Quick
    // Connect (filed under "Quick Connect" once logged in, and listed), or to reach one of its
    // directory nodes (which is then entered: nothing is listed before).
    enum class ConnectFor { Browsing, QuickConnect, DirectoryNode };

    Navigator(SiteStore& sites, RemoteSession& session, const CSettings& settings, NavigatorFront& front);

    // The tree's activation of `id`, which becomes where the user is and is opened.
    void OpenNode(SiteNodeId id);
    // Shows what the current node holds: a group's sites, a site connected to, a directory node
    // entered.
    void OpenCurrent();
    // A row of the main view: `node` for a group or site (kRootNode for a remote entry, found by
    // `name` among the current node's children), `link` when the listing shows a link.
    void OpenRow(SiteNodeId node, int kind, const std::string& name, bool link);
    void ConnectSite(CSiteProfile profile, ConnectFor purpose = ConnectFor::Browsing);
    // Connects with `profile` as it stands: Save/Connect of the site's Properties dialog has just
    // shown the user every field, so the prompt is for later connects.
    void ConnectSiteWithoutPrompt(CSiteProfile profile, ConnectFor purpose = ConnectFor::Browsing);
    // `link`: `name` is what the listing shows for a symbolic link, and its target is entered.
    // False when the directory was not entered (refused, cancelled or the connection lost).
    bool EnterDirectory(const std::string& name, bool link);
    void UpOneLevel();
    void Disconnect(bool ask);
    // Lists the current remote directory; when the listing fails the user is told why, and the
    // rows stay as they were when `keepRows`.
    void List(bool keepRows);

    // After a cancel or a lost connection the session is closed: true then, and the user is back
    // at the sites, told that `what` ("The download of a.txt") was cancelled or failed, and why;
    // `note` follows it. False while the session lasts.
    bool LeftEndedSession(const std::string& what, bool cancelled, const std::string& note = {});
    // Why the last remote operation failed, as the user is told: the reason the connection was
    // lost, or the server's refusal.
    std::string FailureText() const;
    // One remote command on the session's worker while the window waits; nothing when the user
    // cancelled.
    std::optional<int> RunRemote(std::function<int()> command);

private:
    void ConnectProfile(const CSiteProfile& profile, ConnectFor purpose);
    void GoToDirectoryNode(const CSiteProfile& site, const std::string& path);
    void ReturnToParentOfCurrent();
    void CloseSessionAndShowSites();
    // QUIT on a worker; the connection is closed afterwards either way. False when the user
    // cancelled the wait.
    bool QuitSession();

    SiteStore& sites;
    RemoteSession& session;
    const CSettings& settings;
    NavigatorFront& front;
};
