// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dragging remote entries out of the main view onto a file manager or the desktop. The drop
// target receives local files ("text/uri-list") in the private temporary directory. Nothing is
// downloaded while the drag goes on: a target that looks at the list before the drop gets the
// paths alone. The drop (the button going up, or the drag loop ending on a target where the
// platform keeps the release to itself) sets `dropPending`; the next request downloads every
// entry, clears it and answers, and later requests get the same list without downloading again.

#include "copies/directory_copies.h"
#include "remote/dir_entry.h"

#include <QMimeData>

#include <memory>
#include <string>
#include <vector>

class RemoteSession;
class QWidget;

struct DraggedEntry {
    std::string name;         // raw bytes, as the server sent them
    std::string permissions;  // the Permissions column
    bool listedAsDirectory = false;
    ListedFile listed{};
};

// Where dragged entries land: a directory of their own in the private temporary directory, so
// that a dragged name never replaces the listing file or anything else kept there. Ends with
// "/"; empty when it cannot be made safe.
std::string DragOutDirectory();

class CDragOutData final : public QMimeData {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDragOutData)

public:
    // The first 3500 `entries`, less those whose names cannot be local names (logged), land in
    // `directory` (ending with "/"); directories are copied by `copies`.
    CDragOutData(RemoteSession& session, const CopyRules& copies, std::vector<DraggedEntry> entries,
                 const std::string& directory);

    QStringList formats() const override;
    // The local path of each entry, in list order.
    std::vector<std::string> Paths() const;
    // The drop has happened: the next request downloads. Only the first call of a drag counts.
    void SetDropPending();

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    struct State;
    // Shared with a download in progress: the platform may let go of this object while a long
    // download waits in its dialog.
    std::shared_ptr<State> state;
};

// Runs the drag of `entries` (in list order) from `source` until the drop or the cancel.
void BeginDragOut(QWidget* source, RemoteSession& session, const CopyRules& copies, std::vector<DraggedEntry> entries);
