// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A directory copy spread over several connections. The walk of the tree runs on the first
// session and queues the files; every connection, the first one too once the walk is done, takes
// the next file from the queue until none is left. The front end waits once, for the whole copy.

#include "copies/directory_copies.h"
#include "copies/file_retries.h"

#include <functional>
#include <optional>
#include <string>

class RemoteSession;

// Where the walk of a directory copy puts each file it finds.
class FileSink {
public:
    virtual ~FileSink() = default;
    virtual void Queue(FileCopy file) = 0;
};

// Runs `walk` on `first`, from its current directory, whose full name the server gives (`start`,
// beginning with "/"), and copies what it queues over `rules.connections` sessions: `first` and
// new ones like it, each logged in the same way, its log lines numbered. A connection the server
// refuses lowers the number for the rest of the copy; the log says so once. `text` is what the
// front end shows while it waits. True when the walk went through and every file was copied; the
// log names each file that was not. `first` ends where it started unless its connection was lost.
// Nothing when the copy takes the one session, file after file: `rules` ask for one connection, or
// the server names no such directory.
std::optional<bool> CopyInParallel(RemoteSession& first, const CopyRules& rules, const std::string& text,
                                   const std::function<bool(FileSink&, const std::string& start)>& walk);

// `directory`/`name` as the server names paths; `name` alone when it is named from the root.
std::string RemotePath(const std::string& directory, const std::string& name);
