// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Asks for a password on the terminal that standard input is, with echo off, the way a login does.

#include <optional>
#include <string>

// Writes `text` to the terminal (not to standard error, which may be a log file), reads one line
// without showing it, and ends the line. Nothing when standard input is not a terminal. A signal
// that ends the program meanwhile (Ctrl+C) gives the terminal its echo back first.
std::optional<std::string> AskPasswordOnTerminal(const std::string& text);
