// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop_command_line.h"

#include "ftp/ftp_url.h"

#include <algorithm>

const char* const kDesktopUsage =
    "usage: tessaline [--version] [--help] [ftp://[USER[:PASSWORD]@]HOST[:PORT][/DIR/]]\n"
    "  URL            open a Quick Connect to that server, in the running copy when one runs;\n"
    "                 sftp:// in place of ftp:// connects over SSH\n"
    "  -v, --version  print the version and quit\n"
    "  -h, --help     show this text and quit\n";

std::variant<DesktopCommandLine, std::string> ParseDesktopCommandLine(const std::vector<std::string>& args)
{
    DesktopCommandLine line;
    for (const std::string& arg : args) {
        if (arg == "-v" || arg == "--version") {
            line.version = true;
            return line;
        }
        if (arg == "-h" || arg == "--help") {
            line.help = true;
            return line;
        }
        if (!IsFtpUrl(arg) && !IsSftpUrl(arg))
            return (arg.starts_with('-') ? "unknown option " : "not an ftp:// URL: ") + WithoutUrlPassword(arg);
        if (!line.url.empty())
            return std::string("give one ftp:// URL only");
        // The URL travels to a running copy as one line.
        if (std::any_of(arg.begin(), arg.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }))
            return "bad URL " + WithoutUrlPassword(arg) + ": control characters";
        const auto parsed = ParseFtpUrl(arg);
        if (const auto* error = std::get_if<std::string>(&parsed))
            return *error;
        line.url = arg;
    }
    return line;
}
