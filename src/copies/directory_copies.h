// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Directory copies over a remote session, whatever its protocol: a remote tree downloaded, a local
// tree uploaded, a remote tree deleted. Depth first, one listing at a time, each command on the
// session's worker as the view's own commands are.

#include <cstddef>
#include <optional>
#include <string>

class RemoteSession;

// How a directory copy uses the server: one connection is the walk and every file on the session
// itself, in the order of the walk; more spread the files over as many sessions at once, and retry
// a file after a failure that may pass.
struct CopyRules {
    int connections = 1;  // the first session included
    int retries = 0;
};

// Copies the remote directory `remoteName` (in the current remote directory) with everything
// below it into the new local directory `localPath`, and leaves the remote current directory as
// it was. True when every file came through; the log names what did not. A lost connection or a
// directory that cannot be left ends the copy at once; a tree deeper than 100 levels, or a link
// back up into the copy, is not followed.
bool DownloadDirectory(RemoteSession& session, const std::string& remoteName, const std::string& localPath,
                       const CopyRules& rules = {});

// Uploads a local directory tree as `remoteName` into the current remote directory; true when
// every directory was made and every file was stored.
bool UploadDirectory(RemoteSession& session, const std::string& localDirectory, const std::string& remoteName,
                     const CopyRules& rules = {});

// How many entries the remote directory `name` (in the current remote directory) holds, "." and
// ".." aside; nothing when it cannot be entered and listed. The current directory stays as it was.
std::optional<std::size_t> CountDirectoryEntries(RemoteSession& session, const std::string& name);

// Deletes everything inside the remote directory `name`, then the directory. A link goes as the
// link it is, never followed. Stops at the first entry that cannot be deleted, with `failure`
// naming it and saying why.
bool RemoveDirectoryTree(RemoteSession& session, const std::string& name, std::string& failure);
