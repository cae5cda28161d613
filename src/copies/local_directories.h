// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The local side of a directory copy.

#include <string>
#include <vector>

// The entries of a local directory, "." and ".." left out, in name order so uploads go in an
// order the user can follow; false (and the reason in errno) when it cannot be read.
bool LocalEntries(const std::string& directory, std::vector<std::string>& names);

// A real directory, not a link to one: links are uploaded as the file they point to, and a copy
// never goes into a directory through a link.
bool IsPlainDirectory(const std::string& path);
