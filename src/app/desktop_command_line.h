// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop program's command line: --version, --help, and one ftp:// URL to open a Quick
// Connect to, as a browser or a file manager hands it over. Qt's own options are taken out first.

#include <string>
#include <variant>
#include <vector>

struct DesktopCommandLine {
    bool version = false;
    bool help = false;
    std::string url;  // empty: none
};

// The request, or the text of a usage error. `args` are those after the program's name.
std::variant<DesktopCommandLine, std::string> ParseDesktopCommandLine(const std::vector<std::string>& args);

extern const char* const kDesktopUsage;
