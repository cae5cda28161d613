// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The local files a download writes: a new file beside the target, the partial file of a
// resumable download, a device or pipe as the target. Each returns a descriptor, or -1 with errno.

#include <string>

// Whether `path` can be a file's name in its directory; ENAMETOOLONG in errno when not.
bool NameFits(const std::string& path);

// A new file beside `path` for a download to grow in; it replaces `path` only when complete.
int CreateFileBeside(const std::string& path, std::string& temporary);

// The partial file of a resumable download, opened for writing.
int OpenPartial(const std::string& path);

// What OpenSpecialTarget returns for a target that is no device or pipe.
inline constexpr int kNotSpecial = -2;

// Whether the target of a download is a device or a pipe; `link` says whether `path` is a link.
bool IsSpecialTarget(const std::string& path, bool& link);

// The special target of a download, opened for writing; kNotSpecial when the download is to grow
// beside `path`.
int OpenSpecialTarget(const std::string& path);
