// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>

// Writes `content` to a new hidden file beside `path` (".NAME-" and six random characters, NAME
// the last part of `path`) and
// renames it over `path`, so a failure at any point leaves the previous file whole; through a
// symbolic link at `path`, the file it names is replaced and the link stays. The new file is
// 0600 from its creation: the program's files may hold passwords. On failure `failure` says why.
//
// Every save holds an flock on ".NAME.lock" beside `path` (made 0600) until its rename, so the
// desktop program and command lines running beside it take turns. A temporary file found while
// holding the lock thus belongs to no save in progress: it is the leftover of a save that a crash
// cut short, and is removed.
bool ReplaceFile(const std::string& path, const std::string& content, std::string& failure);

// A read-modify-write of `path` under the same lock: `change` gets the file's content (empty when
// there is none) and returns what replaces it, or nothing to leave the file as it is. A file that
// is there but cannot be read fails the update, so none of its lines is lost.
bool UpdateFile(const std::string& path,
                const std::function<std::optional<std::string>(const std::string& content)>& change,
                std::string& failure);
