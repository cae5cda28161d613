// SPDX-License-Identifier: GPL-3.0-or-later
// The commands of the main window: what each does, when it is enabled, and which pane gets it.

#include "app/main_frame.h"

#include "app/options_sheet.h"
#include "app/splash_dialog.h"
#include "browse/create_directory_dialog.h"
#include "browse/remote_view.h"
#include "ftp/encryption.h"
#include "ftp/ftp_url.h"
#include "remote/remote_session.h"
#include "settings/settings.h"
#include "sites/current_site_icon.h"
#include "sites/name_dialogs.h"
#include "sites/name_rules.h"
#include "sites/select_group_dialog.h"
#include "sites/site_properties_dialog.h"
#include "sites/site_tree.h"
#include "ui/program_icons.h"
#include "ui/prompter.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QMimeData>
#include <QUrl>

namespace {

// The group a first site goes into when there is none.
constexpr char kFirstGroup[] = "My Sites";

}  // namespace

void CMainFrame::RegisterCommands()
{
    using enum CommandId;
    const auto connected = [this] { return session.Connected(); };
    const auto always = [] { return true; };
    // Remote entries can still be listed after a cancel has closed the session: their commands
    // need the connection.
    const auto selectionUsable = [this, connected] { return connected() || !mainViewPane->SelectionIsRemote(); };
    const auto anySelected = [this, selectionUsable] { return mainViewPane->SelectedCount() > 0 && selectionUsable(); };

    SetCommandHandler(
        Exit, [this] { close(); }, always);
    SetCommandHandler(
        NewGroup, [this] { this->NewGroup(); }, always);
    SetCommandHandler(
        NewSite, [this] { this->NewSite(); }, [connected] { return !connected(); });
    SetCommandHandler(
        QuickConnect, [this] { this->QuickConnect(); }, [connected] { return !connected(); });
    SetCommandHandler(
        CreateDirectory, [this] { this->CreateDirectory(); }, connected);
    SetCommandHandler(
        Download, [this] { this->Download(); },
        [this, connected] { return connected() && mainViewPane->SelectionIsRemote(); });
    SetCommandHandler(
        Upload, [this] { this->Upload(false); }, connected);
    SetCommandHandler(
        UploadDirectory, [this] { this->Upload(true); }, connected);
    // The tree handles Delete itself while it has the focus; otherwise the pane that had the
    // focus last decides.
    SetCommandHandler(
        Delete,
        [this] {
            if (TreeHasFocus() || activePane != 1)
                siteTreePane->DeleteSelected();
            else
                mainViewPane->DeleteSelected();
        },
        [this, anySelected] { return TreeHasFocus() ? (siteTreePane->SelectedNode() != kRootNode) : anySelected(); });
    SetCommandHandler(
        Properties, [this] { mainViewPane->ShowProperties(); }, anySelected);
    SetCommandHandler(
        Rename, [this] { this->Rename(); },
        [this, anySelected, selectionUsable] {
            if (ViewHasFocus())
                return mainViewPane->SelectedCount() == 1 && selectionUsable();
            return (siteTreePane->SelectedNode() != kRootNode) || anySelected();
        });
    SetCommandHandler(
        Permissions, [this] { mainViewPane->SetPermissionsOfSelected(); },
        [connected, anySelected] { return connected() && anySelected(); });
    for (CommandId id : ViewStyleCommands())
        SetCommandHandler(
            id, [this, id] { ChangeViewStyle(id); }, always);
    SetCommandHandler(
        Refresh, [this] { mainViewPane->RefreshListing(); }, connected);
    // Inside a site, up is a directory change or a disconnect: both need the connection.
    SetCommandHandler(
        UpOneLevel, [this] { mainViewPane->Navigation().UpOneLevel(); },
        [this, connected] {
            const SiteStore& sites = siteTreePane->Store();
            return sites.Current() != kRootNode && (connected() || sites.KindOf(sites.Current()) == kItemGroup);
        });
    SetCommandHandler(
        Disconnect, [this] { mainViewPane->Disconnect(true); }, connected);
    SetCommandHandler(
        Options,
        [this] {
            COptionsSheet sheet(settings, this, [this] { ShowDefaultView(); });
            connect(&sheet, &COptionsSheet::settingsStored, this, &CMainFrame::settingsChanged);
            Prompter().Exec(sheet);
        },
        always);
    SetCommandHandler(
        Help, [this] { Prompter().ShowHelp(this, 0); }, always);
    SetCommandHandler(
        About, [this] { ShowAboutBox(this); }, always);
}

void CMainFrame::RunCommand(CommandId id)
{
    UpdateCommandStates();
    if (QAction* action = Action(id); action->isEnabled())
        action->trigger();
}

bool CMainFrame::TreeHasFocus() const
{
    return siteTreePane->hasFocus();
}

bool CMainFrame::ViewHasFocus() const
{
    const QWidget* focus = focusWidget();
    return focus && (focus == mainViewPane || mainViewPane->isAncestorOf(focus));
}

void CMainFrame::NewGroup()
{
    CNewGroupDialog dialog(std::string(), this);
    if (Prompter().Exec(dialog) != QDialog::Accepted)
        return;
    const std::string name = dialog.Name();
    if (name.empty()) {
        Prompter().Inform(this, QStringLiteral("Group's must have a name."));
        return;
    }
    SiteStore& sites = siteTreePane->Store();
    if (sites.FindGroup(name) != kRootNode) {
        Prompter().Inform(this, QStringLiteral("There is already a group with that name."));
        return;
    }
    if (!AcceptGroupName(this, name))
        return;
    sites.AddGroup(name);
    sites.SetCurrent(kRootNode);
    mainViewPane->ShowSites();
}

void CMainFrame::NewSite()
{
    CSiteProfile profile;
    profile.icon = "Tessaline.exe ,33";
    currentSiteIcon.reference = profile.icon;
    currentSiteIcon.image = ProgramIcon(ProgramIconId::DesktopComputer);
    if (session.Connected())
        return;

    SiteStore& sites = siteTreePane->Store();
    // A site needs a group: on a first start the user is offered one rather than an empty list.
    if (sites.Children(kRootNode).empty()) {
        if (!Prompter().Ask(this,
                            QStringLiteral("A site is kept in a group, and there is none yet. Make the group \"%1\" "
                                           "for it?")
                                .arg(QLatin1String(kFirstGroup)),
                            QStringLiteral("New Site"), true))
            return;
        sites.AddGroup(kFirstGroup);
    }
    std::vector<std::string> groups;
    const std::vector<SiteNodeId> roots = sites.Children(kRootNode);
    for (const SiteNodeId group : roots)
        groups.push_back(sites.Node(group)->name);
    CSelectGroupDialog select(groups, this);
    if (Prompter().Exec(select) != QDialog::Accepted)
        return;
    const int position = select.ChosenPosition();
    if (position < 0 || position >= static_cast<int>(roots.size()))
        return;
    sites.SetCurrent(roots[static_cast<std::size_t>(position)]);

    CSitePropertiesDialog properties(currentSiteIcon, settings.email, this);
    CSiteProfile start = profile;
    start.userId = "anonymous";
    start.password = settings.email;
    start.savePassword = 1;
    properties.SetProfile(start);
    if (Prompter().Exec(properties) != QDialog::Accepted)
        return;
    properties.ApplyTo(profile);
    profile.icon = currentSiteIcon.reference;
    const SiteNodeId site = sites.AddSiteAtCurrent(profile);
    // Save/Connect connects with what the dialog has just shown; the prompt is for later connects.
    if (properties.closeAction == CSitePropertiesDialog::kSaveConnect && site != kRootNode) {
        mainViewPane->Navigation().ConnectSiteWithoutPrompt(sites.Node(site)->profile);
        return;
    }
    if (properties.closeAction == CSitePropertiesDialog::kSaveExit)
        sites.SetCurrent(sites.ParentOf(sites.Current()));
    mainViewPane->Navigation().OpenCurrent();
}

namespace {

CSiteProfile QuickConnectProfile()
{
    CSiteProfile profile;
    profile.userId = "anonymous";
    profile.savePassword = 0;
    profile.prompt = 1;
    profile.useFirewall = 0;
    return profile;
}

}  // namespace

void CMainFrame::QuickConnect()
{
    ConnectQuickly(QuickConnectProfile());
}

void CMainFrame::QuickConnectTo(const std::string& text)
{
    const std::variant<FtpUrl, std::string> parsed = ParseFtpUrl(text);
    if (const auto* why = std::get_if<std::string>(&parsed)) {
        Prompter().Inform(this, QString::fromStdString(*why));
        return;
    }
    if (session.Connected()) {
        mainViewPane->Disconnect(true);
        if (session.Connected())
            return;
    }
    const FtpUrl& url = std::get<FtpUrl>(parsed);
    CSiteProfile profile = QuickConnectProfile();
    profile.host = url.host;
    if (url.user) {
        profile.userId = *url.user;
        profile.password = url.password.value_or(std::string());
    }
    profile.remoteDirectory = url.directory;
    if (url.implicitTls)
        profile.encryption = kTlsImplicit;
    if (url.sftp)
        profile.protocol = RemoteProtocol::Sftp;
    ConnectQuickly(profile);
}

void CMainFrame::ConnectQuickly(const CSiteProfile& profile)
{
    mainViewPane->Navigation().ConnectSite(profile, Navigator::ConnectFor::QuickConnect);
}

void CMainFrame::Download()
{
    QFileDialog chooser(this, QStringLiteral("Download To"), QString::fromStdString(settings.defaultDownloadDirectory));
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    if (Prompter().Exec(chooser) != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return;
    mainViewPane->DownloadSelected(chooser.selectedFiles().first().toStdString() + "/");
}

void CMainFrame::Upload(bool directory)
{
    QFileDialog chooser(this, directory ? QStringLiteral("Upload Directory") : QStringLiteral("Upload Files"));
    chooser.setFileMode(directory ? QFileDialog::Directory : QFileDialog::ExistingFiles);
    if (directory)
        chooser.setOption(QFileDialog::ShowDirsOnly);
    if (Prompter().Exec(chooser) != QDialog::Accepted)
        return;
    std::vector<std::string> paths;
    for (const QString& path : chooser.selectedFiles())
        paths.push_back(path.toStdString());
    mainViewPane->Upload(std::move(paths));
}

void CMainFrame::CreateDirectory()
{
    if (!session.Connected())
        return;
    CCreateDirectoryDialog dialog(this);
    if (Prompter().Exec(dialog) != QDialog::Accepted)
        return;
    const std::string name = dialog.DirectoryName().toStdString();
    if (name.empty()) {
        Prompter().Inform(this, QStringLiteral("New directories must have a name."));
        return;
    }
    mainViewPane->MakeRemoteDirectory(name);
}

void CMainFrame::Rename()
{
    const SiteNodeId selected = siteTreePane->SelectedNode();
    if (selected != kRootNode && activePane == 2) {
        CRenameDialog dialog(siteTreePane->Store().Node(selected)->name, this);
        if (Prompter().Exec(dialog) != QDialog::Accepted)
            return;
        siteTreePane->RenameItem(selected, dialog.Name());
        siteTreePane->Store().SortGroups();
        return;
    }
    const std::vector<int> rows = mainViewPane->SelectedRows();
    if (!rows.empty() && activePane == 1) {
        CRenameDialog dialog(mainViewPane->NameAt(rows.front()), this);
        if (Prompter().Exec(dialog) != QDialog::Accepted)
            return;
        mainViewPane->RenameSelected(dialog.Name());
    }
}

void CMainFrame::ChangeViewStyle(CommandId id)
{
    switch (id) {
    case CommandId::LargeIcons: mainViewPane->SetViewStyle(CTessalinev3View::kLargeIcons); break;
    case CommandId::SmallIcons: mainViewPane->SetViewStyle(CTessalinev3View::kSmallIcons); break;
    case CommandId::List: mainViewPane->SetViewStyle(CTessalinev3View::kList); break;
    case CommandId::Details: mainViewPane->SetViewStyle(CTessalinev3View::kDetails); break;
    default: return;
    }
    Action(id)->setChecked(true);
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event)
{
    // Entries dragged out of our own list would come straight back as uploads; while an operation
    // is waited for, a drop is refused rather than started inside that wait.
    if (event->source() == nullptr && event->mimeData()->hasUrls() && !session.Operations().InProgress())
        event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        // The path's bytes as the URL carries them: a local name need not be UTF-8.
        if (url.isLocalFile())
            paths.push_back(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString());
    }
    if (paths.empty())
        return;
    event->acceptProposedAction();
    mainViewPane->Upload(std::move(paths));
}
