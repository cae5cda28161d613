// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/debug_window.h"

#include "tessaline_version.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

CDebugWindow::CDebugWindow(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    // One log line is one line on screen, so the line limit counts what the user sees.
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setMaximumBlockCount(kMaxLines);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(10);
    setFont(font);

    QPalette colours = palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Base, QColor(205, 205, 205));
        colours.setColor(group, QPalette::Text, Qt::black);
    }
    setPalette(colours);

    AppendLine(QStringLiteral("Welcome to Tessaline v%1\r\n").arg(QLatin1String(kTessalineVersion)));
}

void CDebugWindow::AppendLine(const QString& text)
{
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(u'\r', u'\n');

    // Only the end of the document is touched; the block limit drops the oldest lines.
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    for (QStringView line : QStringView(lines).split(u'\n')) {
        if (hasText)
            cursor.insertBlock();
        cursor.insertText(line.toString());
        hasText = true;
    }
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}
