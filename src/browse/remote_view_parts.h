// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the three parts of CTessalinev3View (remote_view.cpp, connect_flow.cpp,
// remote_view_commands.cpp) share; for those files only.

#include <QApplication>
#include <QString>

#include <string>

// Changes the cursor to the wait cursor for as long as it lives.
class WaitCursor final {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// A name from a server or the profile file as the list shows it.
inline QString Shown(const std::string& raw)
{
    return QString::fromStdString(raw);
}
