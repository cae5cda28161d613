// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Deleting a remote directory with everything in it, depth first, one listing at a time, each
// command on a worker as the view's own commands are.

#include <cstddef>
#include <optional>
#include <string>

class CFtpSession;

// How many entries the remote directory `name` (in the current remote directory) holds, "." and
// ".." aside; nothing when it cannot be entered and listed. The current directory stays as it was.
std::optional<std::size_t> CountDirectoryEntries(CFtpSession& session, const std::string& name);

// Deletes everything inside the remote directory `name`, then the directory. A link goes as the
// link it is, never followed. Stops at the first entry that cannot be deleted, with `failure`
// naming it and saying why.
bool RemoveDirectoryTree(CFtpSession& session, const std::string& name, std::string& failure);
