#pragma once

#include <string>

// Writes `content` to a new hidden file beside `path` (".NAME-" and six random characters, NAME
// the last part of `path`) and
// renames it over `path`, so a failure at any point leaves the previous file whole; through a
// symbolic link at `path`, the file it names is replaced and the link stays. The new file is
// 0600 from its creation: the program's files may hold passwords. On failure `failure` says why.
// Leftovers of a save that a crash cut short are removed first.
bool ReplaceFile(const std::string& path, const std::string& content, std::string& failure);
