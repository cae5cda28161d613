// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/drag_out.h"

#include "copies/directory_copies.h"
#include "ftp/local_dirs.h"
#include "remote/local_names.h"
#include "remote/remote_session.h"
#include "remote/session_log.h"

#include <QCoreApplication>
#include <QDrag>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

struct CDragOutData::State {
    RemoteSession& session;
    CopyRules copies;
    std::vector<DraggedEntry> entries;
    std::string directory;
    bool dropSeen = false;     // the drop has happened ...
    bool dropPending = false;  // ... and its downloads are still to be made

    std::string PathOf(const DraggedEntry& entry) const { return directory + entry.name; }
};

namespace {

constexpr std::size_t kMostEntries = 3500;
constexpr char kUriList[] = "text/uri-list";

bool IsDirectoryEntry(const DraggedEntry& entry)
{
    // NT and VMS listings have no permissions; the list still knows their directories.
    if (entry.permissions.empty())
        return entry.listedAsDirectory;
    return entry.permissions[0] == 'd' || entry.permissions[0] == 'l';
}

// The drag source's part: the button going up over a target is the drop. It must be seen before
// the drag loop hands the drop on, since a target in this program asks for the data at once.
class ReleaseWatcher final : public QObject {
    Q_DISABLE_COPY_MOVE(ReleaseWatcher)

public:
    explicit ReleaseWatcher(QPointer<CDragOutData> data) : data(std::move(data)) {}

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease && data)
            data->SetDropPending();
        return false;
    }

private:
    QPointer<CDragOutData> data;
};

}  // namespace

std::string DragOutDirectory()
{
    const std::string temporary = PrivateTempDirectory();
    if (temporary.empty())
        return {};
    const std::string directory = temporary + "dragged";
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST)
        return {};
    // Only a real directory: a link here would lead the downloads somewhere else.
    struct stat st {};
    if (::lstat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return {};
    return directory + "/";
}

CDragOutData::CDragOutData(RemoteSession& session, const CopyRules& copies, std::vector<DraggedEntry> entries,
                           const std::string& directory)
    : state(std::make_shared<State>(State{session, copies, {}, directory}))
{
    if (entries.size() > kMostEntries)
        entries.resize(kMostEntries);
    for (DraggedEntry& entry : entries) {
        // A name from the server must stay a name inside the drag directory.
        if (IsSafeLocalName(entry.name))
            state->entries.push_back(std::move(entry));
        else
            LogMessage("Skipped unsafe name %s", {entry.name});
    }
}

QStringList CDragOutData::formats() const
{
    return {QLatin1String(kUriList)};
}

std::vector<std::string> CDragOutData::Paths() const
{
    std::vector<std::string> paths;
    for (const DraggedEntry& entry : state->entries)
        paths.push_back(state->PathOf(entry));
    return paths;
}

void CDragOutData::SetDropPending()
{
    if (!state->dropSeen)
        state->dropSeen = state->dropPending = true;
}

QVariant CDragOutData::retrieveData(const QString& mimeType, QMetaType) const
{
    if (mimeType != QLatin1String(kUriList))
        return {};
    const std::shared_ptr<State> keep = state;
    if (keep->dropPending) {
        // Cleared first: a request made while the downloads wait in their dialogs gets the list alone.
        keep->dropPending = false;
        for (const DraggedEntry& entry : keep->entries) {
            const std::string path = keep->PathOf(entry);
            // A copy from an earlier drag would stop a directory download, or be handed over as
            // if it had just come when this download fails.
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
            if (IsDirectoryEntry(entry))
                DownloadDirectory(keep->session, entry.name, path, keep->copies);
            else
                keep->session.RetrieveFile(entry.name, path, entry.listed, TransferStart::Fresh);
        }
    }
    QByteArray list;
    for (const DraggedEntry& entry : keep->entries)
        list += "file://" + QByteArray::fromStdString(keep->PathOf(entry)).toPercentEncoding("/") + "\r\n";
    return list;
}

void BeginDragOut(QWidget* source, RemoteSession& session, const CopyRules& copies, std::vector<DraggedEntry> entries)
{
    const std::string directory = DragOutDirectory();
    if (directory.empty())
        return;
    auto data = std::make_unique<CDragOutData>(session, copies, std::move(entries), directory);
    if (data->Paths().empty())
        return;
    const QPointer<CDragOutData> watched(data.get());
    ReleaseWatcher watcher(watched);
    // The drag loop puts its own filter in place as it starts; a filter added from inside the loop
    // sees each event before it.
    QTimer::singleShot(0, &watcher, [&watcher] { QCoreApplication::instance()->installEventFilter(&watcher); });
    // Qt disposes of the drag and its data: some platforms keep them after the loop, until the
    // target has taken the data.
    auto* drag = new QDrag(source);
    drag->setMimeData(data.release());
    // Where the platform keeps the button release to itself, the end of the loop on a target is
    // the drop.
    if (drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction) != Qt::IgnoreAction && watched)
        watched->SetDropPending();
}
