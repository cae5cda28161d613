#pragma once
// Opening a downloaded file with the application the desktop has for its type.

#include <string>

class QWidget;

// Starts the default application for the type the file's name gives, on `localPath`, as an
// argument vector and never through a shell; "xdg-open" when the desktop names none. A name
// without a dot, or a type that nothing opens, asks whether to use the text editor instead (the
// question says "NotePad"); No starts nothing. What is started goes to the session log. The
// question's parent is `parent`.
void OpenWithApplication(const std::string& localPath, QWidget* parent);
