// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Opening a downloaded file with the application the desktop has for its type.

#include <string>

class QWidget;

// Starts the default application for the type the file's name gives, on `localPath` (the exact
// bytes, a name need not be UTF-8), as an argument vector and never through a shell; "xdg-open"
// when the desktop names none. When nothing opens it, or the name has no dot, a text file (by its
// name or what it holds) gets the question whether to use the desktop's text editor, named in
// it; No starts nothing. Any other file is only logged. What is started goes to the session log.
// The question's parent is `parent`.
void OpenWithApplication(const std::string& localPath, QWidget* parent);
