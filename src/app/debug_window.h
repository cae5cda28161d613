// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CDebugWindow: the session log pane across the bottom of the main window. Read-only (text can be
// selected and copied), 10-point monospace on grey, the newest 500 lines, always scrolled so the
// newest line is in sight. Lines reach it on the window thread only, from the log queue.

#include <QPlainTextEdit>

class CDebugWindow final : public QPlainTextEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDebugWindow)

public:
    static constexpr int kMaxLines = 500;

    explicit CDebugWindow(QWidget* parent = nullptr);

    // Adds `text` and a line end at the bottom and scrolls to it. A line end inside or at the end
    // of `text` starts a further line, so "x\r\n" leaves an empty line after x.
    void AppendLine(const QString& text);

private:
    bool hasText = false;
};
