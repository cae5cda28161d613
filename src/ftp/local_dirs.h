// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own local directories. Paths end with "/"; an empty result means the directory
// could not be made safe to use.

#include <string>

// $XDG_DATA_HOME/Tessaline/ (default ~/.local/share/Tessaline/), created 0700 on first use: the
// site profiles and the extension table live here.
std::string DataDirectory();

// $XDG_RUNTIME_DIR/tessaline/, created 0700; refused when it exists but belongs to someone else or
// is not a real directory. Without XDG_RUNTIME_DIR: $TMPDIR/tessaline-<uid>/ ($TMPDIR: /tmp), or
// when someone else has taken that name, a new directory beside it of this process's own, removed
// when it ends. Listing files and staging go here.
std::string PrivateTempDirectory();

// This process's own directory for listing files, inside the private temporary directory: made
// 0700 at the first call and removed when the program ends, so programs running side by side
// never read each other's listings. Those that processes now gone left behind are removed when
// it is made.
std::string ListingDirectory();
