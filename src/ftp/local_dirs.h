#pragma once
// The program's own local directories. Paths end with "/"; an empty result means the directory
// could not be made safe to use.

#include <string>

// $XDG_DATA_HOME/Tessaline/ (default ~/.local/share/Tessaline/), created 0700 on first use: the
// site profiles and the extension table live here.
std::string DataDirectory();

// $XDG_RUNTIME_DIR/tessaline/, else /tmp/tessaline-<uid>/, created 0700; refused when it exists
// but belongs to someone else or is not a real directory. Listing files and staging go here.
std::string PrivateTempDirectory();
