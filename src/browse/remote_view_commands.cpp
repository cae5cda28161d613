// SPDX-License-Identifier: GPL-3.0-or-later
// The main view's item commands (open a file, delete, rename, properties, permissions, create
// directory) and the context menu that offers them.

#include "browse/remote_view.h"

#include "browse/file_properties_dialog.h"
#include "browse/file_types.h"
#include "browse/open_with_application.h"
#include "browse/permissions_dialog.h"
#include "browse/remote_view_parts.h"
#include "copies/directory_copies.h"
#include "copies/file_retries.h"
#include "remote/exchange_result.h"
#include "remote/local_names.h"
#include "remote/remote_session.h"
#include "remote/session_log.h"
#include "settings/settings.h"
#include "sites/confirm_delete_dialog.h"
#include "sites/name_rules.h"
#include "sites/site_icons.h"
#include "sites/site_properties_dialog.h"
#include "ui/prompter.h"

#include <QMenu>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Longer paths are no local files a drop can name.
constexpr std::size_t kLongestDroppedPath = 4096;

}  // namespace

void CTessalinev3View::OpenFile(const std::string& name)
{
    const std::string path = settings.defaultDownloadDirectory + name;
    if (!DownloadFile(name, path) || !settings.viewOnDoubleClick)
        return;
    const int file = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (file < 0) {
        LogMessage("File does not exist %s (%u)", {path, errno});
        return;
    }
    ::close(file);
    OpenWithApplication(path, this);
}

void CTessalinev3View::DownloadSelected(const std::string& directory)
{
    const CopyRules copies{settings.connections, settings.retries};
    for (const int row : SelectedRows()) {
        const std::string name = NameAt(row);
        if (KindAt(row) == kItemRemoteFile) {
            DownloadFile(name, directory + name);
        } else if (KindAt(row) == kItemRemoteDirectory) {
            if (!IsSafeLocalName(name)) {
                LogMessage("Skipped unsafe name %s", {name});
                continue;
            }
            WaitCursor busy;
            if (!DownloadDirectory(session, name, directory + name, copies)
                && !LeftEndedSession(QStringLiteral("The download of %1").arg(Shown(name)), session.CancelRequested()))
                Prompter().Inform(this,
                                  QStringLiteral("Not everything in %1 was downloaded: the log window names "
                                                 "what was not.")
                                      .arg(Shown(name)));
        }
        if (!session.Connected())
            return;
    }
}

bool CTessalinev3View::DownloadFile(const std::string& name, const std::string& path)
{
    WaitCursor busy;
    // A name from the server must stay a name inside the download directory.
    if (!IsSafeLocalName(name)) {
        LogMessage("Skipped unsafe name %s", {name});
        return false;
    }
    if (::access(path.c_str(), R_OK) == 0) {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        const bool overwrite = Prompter().Ask(
            this, QStringLiteral("File %1 already exists.\n Do you wish to overwrite it?").arg(Shown(path)),
            QStringLiteral("File Exists"));
        QApplication::restoreOverrideCursor();
        if (!overwrite)
            return false;
    }
    const int row = model.RowNamed(name);
    FileCopy download{FileDirection::Download, {}, name, path, row >= 0 ? model.Row(row).listed : ListedFile{}};
    download.listed.askTime = true;
    // A retry logs in anew and goes back into the directory the server names now; without its
    // name a new connection could not find the file again.
    int retries = settings.retries;
    if (retries > 0) {
        const std::optional<int> named =
            RunRemoteCommand(session, [&] { return session.CurrentDirectory(download.remoteDirectory); });
        if (!named)
            return false;
        if (named != kCompletion)
            retries = 0;
    }
    const RetryRules rules{retries, false,
                           [this](std::chrono::milliseconds delay) { return PauseInBackground(session, delay); }};
    const int result = CopyFileWithRetries(session, download, rules);
    // A failed download must not open what an earlier one left there.
    if (result != kCompletion) {
        const QString what = QStringLiteral("The download of %1").arg(Shown(name));
        if (!LeftEndedSession(what, result == kTransferCancelled))
            Prompter().Inform(this, QStringLiteral("%1 failed: %2").arg(what, FailureText()));
        return false;
    }
    return true;
}

void CTessalinev3View::ShowItemMenu(const QPoint& position)
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    const QString name = TextAt(rows.front(), kName);
    QMenu menu(this);
    const auto add = [this, &menu](const QString& text, CommandId command) {
        QAction* action = menu.addAction(text);
        connect(action, &QAction::triggered, this, [this, command] {
            Defer([this, command] {
                if (command == CommandId::OpenEntry || command == CommandId::ConnectTo)
                    OpenSelectedItem();
                else
                    emit commandRequested(command);
            });
        });
    };
    switch (KindAt(rows.front())) {
    case kItemRemoteFile:
    case kItemRemoteDirectory:
        add(QStringLiteral("&Open ") + name, CommandId::OpenEntry);
        add(QStringLiteral("Do&wnload..."), CommandId::Download);
        add(QStringLiteral("&Upload..."), CommandId::Upload);
        menu.addSeparator();
        add(QStringLiteral("&Disconnect"), CommandId::Disconnect);
        menu.addSeparator();
        add(QStringLiteral("Create Director&y..."), CommandId::CreateDirectory);
        add(QStringLiteral("&Delete"), CommandId::Delete);
        add(QStringLiteral("Rena&me"), CommandId::Rename);
        add(QStringLiteral("Permissio&ns..."), CommandId::Permissions);
        menu.addSeparator();
        add(QStringLiteral("&Properties"), CommandId::Properties);
        break;
    case kItemSite:
        add(QStringLiteral("&Connect to ") + name, CommandId::ConnectTo);
        add(QStringLiteral("&Disconnect"), CommandId::Disconnect);
        menu.addSeparator();
        add(QStringLiteral("&Add Profile"), CommandId::NewSite);
        add(QStringLiteral("&Delete ") + name, CommandId::Delete);
        menu.addSeparator();
        add(QStringLiteral("&Properties for ") + name, CommandId::Properties);
        break;
    case kItemGroup:
        add(QStringLiteral("Rena&me ") + name + QStringLiteral(" Group"), CommandId::Rename);
        add(QStringLiteral("&Delete ") + name + QStringLiteral(" Group"), CommandId::Delete);
        break;
    default: return;
    }
    menu.exec(position);
}

void CTessalinev3View::DeleteSelected()
{
    std::vector<std::string> names;
    for (const int row : SelectedRows())
        names.push_back(NameAt(row));
    CConfirmDeleteDialog confirm(DeleteQuestion(names), this);
    if (Prompter().Exec(confirm) != QDialog::Accepted)
        return;
    bool remoteChange = false;
    // Rows are taken from the end, so removing a site or group row never shifts one still to come.
    std::vector<int> rows = SelectedRows();
    for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
        const std::string name = NameAt(*row);
        const int kind = KindAt(*row);
        if (kind == kItemRemoteDirectory) {
            if (!DeleteRemoteDirectory(name, remoteChange))
                return;
            continue;
        }
        if (kind == kItemRemoteFile) {
            const std::optional<int> deleted = RunRemote([this, name] { return session.DeleteFile(name); });
            if (LeftEndedSession(QStringLiteral("Deleting %1").arg(Shown(name)), !deleted))
                return;
            if (*deleted == kCompletion)
                remoteChange = true;
            else
                Prompter().Inform(this, QStringLiteral("Error deleting file\n") + FailureText());
            continue;
        }
        sites.Remove(NodeAt(*row));
        model.RemoveRow(*row);
    }
    if (session.Connected() && remoteChange)
        RefreshListing();
}

bool CTessalinev3View::DeleteRemoteDirectory(const std::string& name, bool& changed)
{
    const QString what = QStringLiteral("Deleting %1").arg(Shown(name));
    const std::optional<int> removed = RunRemote([this, name] { return session.RemoveDirectory(name); });
    if (LeftEndedSession(what, !removed))
        return false;
    if (*removed == kCompletion) {
        sites.Remove(sites.ChildNamed(sites.Current(), name));
        changed = true;
        return true;
    }
    // Most often the directory is not empty: what it holds can go with it, when the user says so.
    const QString refusal = FailureText();
    const std::optional<std::size_t> held = CountDirectoryEntries(session, name);
    if (LeftEndedSession(what, session.Failure().lostReason.empty()))
        return false;
    if (!held || *held == 0) {
        Prompter().Inform(this, QStringLiteral("Error deleting directory\n") + refusal);
        return true;
    }
    if (!Prompter().Ask(this,
                        QStringLiteral("The directory %1 is not empty: it holds %2 entries. Delete them with it? "
                                       "They will be gone forever.")
                            .arg(Shown(name))
                            .arg(*held),
                        QStringLiteral("Delete Directory")))
        return true;
    std::string failure;
    const bool deleted = RemoveDirectoryTree(session, name, failure);
    changed = true;  // even a deletion that stopped took something away
    if (deleted)
        sites.Remove(sites.ChildNamed(sites.Current(), name));
    if (LeftEndedSession(what, session.Failure().lostReason.empty()))
        return false;
    if (!deleted)
        Prompter().Inform(this, QStringLiteral("Error deleting directory\n") + Shown(failure));
    return true;
}

void CTessalinev3View::RenameSelected(const std::string& newName)
{
    const std::vector<int> rows = SelectedRows();
    if (!rows.empty())
        RenameItemAt(rows.front(), newName);
}

void CTessalinev3View::RenameEdited(const QPersistentModelIndex& item, const QString& text)
{
    Defer([this, item, newName = text.toStdString()] {
        if (item.isValid())
            RenameItemAt(item.row(), newName);
    });
}

void CTessalinev3View::RenameItemAt(int row, const std::string& newName)
{
    // An empty name, or the one the item has (also as shown, for a name that is not UTF-8), is
    // no rename.
    const std::string oldName = NameAt(row);
    if (newName.empty() || newName == oldName || Shown(newName) == TextAt(row, kName))
        return;
    const auto renameRemote = [this, &oldName, &newName] {
        return RunRemote([this, oldName, newName] { return session.RenameFile(oldName, newName); }) == kCompletion;
    };
    switch (KindAt(row)) {
    case kItemRemoteFile:
        if (renameRemote())
            model.Rename(row, newName);
        break;
    case kItemRemoteDirectory:
        if (renameRemote()) {
            sites.Remove(sites.ChildNamed(sites.Current(), oldName));
            RefreshListing();
        }
        break;
    case kItemSite:
    case kItemGroup:
        if (RenameSiteOrGroup(this, sites, NodeAt(row), newName))
            model.Rename(row, newName);
        break;
    default: break;
    }
}

void CTessalinev3View::RenameItemRow(SiteNodeId id)
{
    for (int row = 0; row < model.rowCount(); ++row) {
        if (NodeAt(row) == id)
            model.Rename(row, sites.Node(id)->name);
    }
}

bool CTessalinev3View::RenameDirectoryByName(const std::string& oldName, const std::string& newName)
{
    const int row = model.RowNamed(oldName);
    if (row < 0 || RunRemote([this, oldName, newName] { return session.RenameFile(oldName, newName); }) != kCompletion)
        return false;
    sites.Remove(sites.ChildNamed(sites.Current(), oldName));
    RefreshListing();
    return true;
}

void CTessalinev3View::ShowProperties()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    const int row = rows.front();
    const std::string name = NameAt(row);
    const int kind = KindAt(row);
    if (kind == kItemRemoteFile || kind == kItemRemoteDirectory) {
        if (rows.size() != 1) {
            Prompter().Inform(this, QStringLiteral("Properties can only be viewed for one item at a time."));
            return;
        }
        std::string path;
        const SiteNode* site = sites.Node(sites.SiteAndPath(sites.Current(), &path));
        const QString location = Shown(site->profile.name) + QStringLiteral("/") + Shown(path);
        const QString utc = model.Row(row).modifiedUtc;
        CFilePropertiesDialog dialog(TextAt(row, kName), TextAt(row, kSize), TextAt(row, kType),
                                     utc.isEmpty() ? TextAt(row, kModified) : utc, location, this);
        if (Prompter().Exec(dialog) == QDialog::Accepted && dialog.NameChanged())
            RunRemote([this, name, newName = dialog.EditedName().toStdString()] {
                return session.RenameFile(name, newName);
            });
        return;
    }
    if (kind != kItemSite)
        return;
    const SiteNodeId site = NodeAt(row);
    if (site == kRootNode)
        return;
    CSiteProfile profile = sites.Node(site)->profile;
    currentSiteIcon.reference = profile.icon.empty() ? std::string("Tessaline.exe, 33") : profile.icon;
    currentSiteIcon.image = SiteIcon(currentSiteIcon.reference);
    CSitePropertiesDialog dialog(currentSiteIcon, settings.email, this);
    dialog.SetProfile(profile);
    if (Prompter().Exec(dialog) != QDialog::Accepted)
        return;
    dialog.ApplyTo(profile);
    profile.icon = currentSiteIcon.reference;
    sites.ReplaceProfile(site, profile);
    model.Rename(row, profile.name);
    model.SetIcon(row, SiteIcon(profile.icon));
    if (dialog.closeAction == CSitePropertiesDialog::kSaveConnect) {
        selectedIndex = row;
        sites.SetCurrent(site);
        navigator.ConnectSiteWithoutPrompt(profile);
    }
}

void CTessalinev3View::SetPermissionsOfSelected()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return;
    CPermissionsDialog dialog(TextAt(rows.front(), kPermissions), this);
    if (Prompter().Exec(dialog) != QDialog::Accepted)
        return;
    const std::string mode = dialog.ModeText().toStdString();
    for (const int row : rows) {
        const std::optional<int> set =
            RunRemote([this, mode, name = NameAt(row)] { return session.SetPermissions(mode, name); });
        if (!set)
            break;  // cancelled: the session is closed
        if (*set != kCompletion)
            Prompter().Inform(this, QStringLiteral("Error setting permissions"));
        else
            model.SetPermissions(row, dialog.PermissionsText(TextAt(row, kPermissions)));
    }
}

void CTessalinev3View::MakeRemoteDirectory(const std::string& name)
{
    const std::optional<int> made = RunRemote([this, name] { return session.MakeDirectory(name); });
    if (LeftEndedSession(QStringLiteral("Creating the directory %1").arg(Shown(name)), !made))
        return;
    if (*made != kCompletion)
        Prompter().Inform(this,
                          QStringLiteral("Could not create the directory %1: %2").arg(Shown(name), FailureText()));
    else
        RefreshListing();  // the new directory shows up in a fresh listing
}

void CTessalinev3View::Upload(std::vector<std::string> paths)
{
    // The program the drop came from waits for the drop to be answered, and no wait of ours may
    // run inside the drop's own event.
    Defer([this, paths = std::move(paths)] { UploadPaths(paths); });
}

void CTessalinev3View::UploadPaths(const std::vector<std::string>& paths)
{
    if (!session.Connected()) {
        Prompter().Inform(this, QStringLiteral("System Not Connected To A Server"));
        return;
    }
    const auto listedFile = [this](const std::string& name) {
        const int row = model.RowNamed(name);
        return row >= 0 && KindAt(row) == kItemRemoteFile;
    };
    std::vector<std::string> usable;
    std::size_t replacing = 0;
    for (const std::string& local : paths) {
        if (local.size() > kLongestDroppedPath)
            continue;
        usable.push_back(local);
        struct stat st {};
        replacing += ::lstat(local.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && listedFile(FileNameOfPath(local));
    }
    // Whether the file `name` may replace the server's: asked for each, or once for the whole drop.
    std::optional<bool> forAll;
    const auto mayReplace = [&](const std::string& name) {
        if (forAll)
            return *forAll;
        const QString question =
            QStringLiteral("File %1 already exists on the server.\n Do you wish to overwrite it?").arg(Shown(name));
        const QString caption = QStringLiteral("File Exists");
        if (replacing < 2)
            return Prompter().Ask(this, question, caption);
        using enum CPrompter::BatchAnswer;
        const CPrompter::BatchAnswer answer = Prompter().AskForBatch(this, question, caption);
        if (answer == YesToAll || answer == NoToAll)
            forAll = answer == YesToAll;
        return answer == Yes || answer == YesToAll;
    };
    bool changed = false;
    for (const std::string& local : usable) {
        const std::string name = FileNameOfPath(local);
        const QString what = QStringLiteral("The upload of %1").arg(Shown(name));
        struct stat st {};
        if (::lstat(local.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            // A directory's own message covers its failures.
            UploadDirectory(session, local, name, {settings.connections, settings.retries});
            changed = true;
            if (LeftEndedSession(what, session.Failure().lostReason.empty()))
                return;
            continue;
        }
        if (listedFile(name) && !mayReplace(name)) {
            LogMessage("Not uploaded: %s (the server's file of that name is kept)", {local});
            continue;
        }
        const int result = session.StoreFile(name, local, TransferStart::Fresh);
        if (result == kCompletion) {
            changed = true;
            continue;
        }
        if (result == kTransferCancelled) {
            LogMessage("The upload of %s was cancelled; the server may keep the part that arrived as %s.",
                       {local, name});
            LeftEndedSession(what, true, QStringLiteral("The server may keep the part that arrived under that name."));
            return;
        }
        if (LeftEndedSession(what, false))
            return;
        Prompter().Inform(this, QStringLiteral("Error uploading file.\n") + FailureText());
    }
    if (changed)
        RefreshListing();
}
