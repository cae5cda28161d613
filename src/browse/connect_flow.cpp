// SPDX-License-Identifier: GPL-3.0-or-later
// The connect flow of the main view: a site's login (asking for the login data first when its
// profile says so), the Quick Connect group, the start directory, and the ways back out:
// Disconnect, Up One Level at a site's root, a directory node of another site.

#include "browse/remote_view.h"

#include "browse/remote_view_parts.h"
#include "ftp/encryption.h"
#include "remote/remote_session.h"
#include "settings/settings.h"
#include "sites/profiles/connect_preparation.h"
#include "sites/profiles/quick_connect_entry.h"
#include "sites/session_profile_dialog.h"
#include "ui/prompter.h"

#include <optional>
#include <thread>

void CTessalinev3View::OpenTreeNode(SiteNodeId id)
{
    sites.SetCurrent(id);
    if (const SiteNode* node = sites.Node(id))
        selectedIndex = model.RowNamed(node->name);
    OpenTreeItem();
}

void CTessalinev3View::OpenTreeItem()
{
    const SiteNode& current = *sites.Node(sites.Current());
    switch (current.kind) {
    case kItemGroup: ShowSites(); break;
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

void CTessalinev3View::GoToDirectoryNode(const CSiteProfile& site, const std::string& path)
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

void CTessalinev3View::ConnectSite(CSiteProfile profile, ConnectFor purpose)
{
    if (profile.prompt) {
        CSessionProfileDialog dialog(settings.email, this);
        dialog.SetProfile(profile);
        if (Prompter().Exec(dialog) != QDialog::Accepted) {
            ReturnToParentOfCurrent();
            return;
        }
        dialog.ApplyTo(profile);
    }
    ConnectSiteWithoutPrompt(std::move(profile), purpose);
}

void CTessalinev3View::ConnectSiteWithoutPrompt(CSiteProfile profile, ConnectFor purpose)
{
    session.Operations().SetConnectCancelled(false);
    std::optional<QuickConnectEntry> quickConnectEntry;
    if (purpose == ConnectFor::QuickConnect)
        quickConnectEntry.emplace(sites, session, profile);
    ConnectProfile(profile, purpose);
    if (session.Connected())
        return;
    if (!session.Failure().refusal.empty()) {
        Prompter().Inform(this, QString::fromStdString(session.Failure().refusal));
    } else if (!session.Operations().ConnectCancelled()) {
        // A refused login or a server that stopped answering: its words, or the time-out, say why.
        QString text =
            QStringLiteral("There was a problem logging on to the site, please see the log window for details.");
        if (!session.Failure().lostReason.empty() || session.Failure().replyCode >= 400)
            text += QStringLiteral("\n\n") + FailureText();
        Prompter().Inform(this, text);
    }
    ReturnToParentOfCurrent();
}

void CTessalinev3View::ReturnToParentOfCurrent()
{
    sites.SetCurrent(sites.ParentOf(sites.Current()));
}

void CTessalinev3View::ConnectProfile(const CSiteProfile& profile, ConnectFor purpose)
{
    WaitCursor busy;
    const std::optional<std::string> password = LoginPassword(profile, settings);
    if (!password) {
        Prompter().Inform(this,
                          QStringLiteral("Please enter your e-mail address in the options dialog before "
                                         "connecting to anonymous FTP sites. Thanks."));
        return;
    }
    if (!QuitSession()) {
        session.Operations().SetConnectCancelled(true);
        return;
    }
    PrepareConnect(session, profile, *password, settings);

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
    if (!session.Connected())
        return;
    if (!profile.remoteDirectory.empty()) {
        sites.SetCurrent(site);
        sites.DescendPath(profile.remoteDirectory);
        EnterDirectory(profile.remoteDirectory, false);
    } else if (purpose != ConnectFor::DirectoryNode) {
        FillFromListing(false);
    }
}

void CTessalinev3View::UpOneLevel()
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
        // The current item is the site itself: the session is at its start directory.
        if (Prompter().Ask(this,
                           QStringLiteral("You are at the root directory, are you sure you want to disconnect from ")
                               + Shown(session.Login().host),
                           QStringLiteral("Disconnect"))) {
            sites.SetCurrent(parent);
            QuitSession();
            ShowSites();
        }
        break;
    default:
        sites.SetCurrent(kRootNode);
        ShowSites();
        break;
    }
}

void CTessalinev3View::Disconnect(bool ask)
{
    WaitCursor busy;
    if (!session.Connected())
        return;
    if (ask
        && !Prompter().Ask(this,
                           QStringLiteral("Are you sure you want to disconnect from ") + Shown(session.Login().host)
                               + QStringLiteral("?"),
                           QStringLiteral("Disconnect")))
        return;
    CloseSessionAndShowSites();
}

void CTessalinev3View::CloseSessionAndShowSites()
{
    QuitSession();
    sites.SetCurrent(sites.ParentOf(sites.SiteOrGroupAt(sites.Current())));
    ShowSites();
}

bool CTessalinev3View::LeftEndedSession(const QString& what, bool cancelled, const QString& note)
{
    if (session.Connected())
        return false;
    const QString host = Shown(session.Login().host);
    QString text = cancelled
        ? QStringLiteral("%1 was cancelled, and the connection to %2 was closed with it.").arg(what, host)
        : QStringLiteral("%1 failed: the connection to %2 was lost (%3).").arg(what, host, FailureText());
    if (!note.isEmpty())
        text += u' ' + note;
    CloseSessionAndShowSites();
    Prompter().Inform(this, text + QStringLiteral(" Double-click the site to connect again."));
    return true;
}

QString CTessalinev3View::FailureText() const
{
    if (!session.Failure().lostReason.empty())
        return Shown(session.Failure().lostReason);
    if (session.Failure().replyCode >= 400 && session.Failure().replyCode <= 599)
        return Shown(session.Failure().reply);
    return QStringLiteral("see the log window for details");
}

bool CTessalinev3View::QuitSession()
{
    return RunRemote([this] { return session.Quit(); }).has_value();
}
