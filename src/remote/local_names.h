// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Names that come from a server and become local paths.

#include <string>
#include <string_view>

// Whether a name from a server can become a local path inside a target directory: not empty,
// not "." or "..", no "/" and no NUL.
bool IsSafeLocalName(std::string_view name);

// A symbolic link as a UNIX listing shows it, "name -> target", in its two parts; a name without
// the arrow is all name, with an empty target.
struct ListedLink {
    std::string_view name;
    std::string_view target;
};
ListedLink SplitListedLink(std::string_view listed);

// The file a resumable download of `localPath` grows in, beside it: ".tessaline-" and eight hex
// digits of a hash of the target's name, so a later try or a later run finds it again. As short
// as the temporary file of a plain download, so every target name that fits its directory fits
// it too.
std::string PartialDownloadPath(const std::string& localPath);
