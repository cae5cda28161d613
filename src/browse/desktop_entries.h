// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop's applications for a file type, found the freedesktop.org way: the "Default
// Applications" of the mimeapps.list files (user's, then system's), then their "Added
// Associations" and the MimeType lists of the installed desktop entries, leaving out "Removed
// Associations". An entry's Exec line becomes the argument vector that opens one local file.

#include <QString>
#include <QStringList>

#include <optional>

struct DesktopApplication {
    QString name;         // as the desktop shows it ("Text Editor")
    QStringList command;  // program and arguments
};

// The first usable application for any of `types` (tried in order, defaults before
// associations), with the command that opens `path`; nothing when no application is there. An
// entry that wants a terminal runs in x-terminal-emulator.
std::optional<DesktopApplication> DefaultApplication(const QStringList& types, const QString& path);

// An Exec value (a desktop-entry string, its \s \n \t \r \\ already undone) split by the
// desktop-entry quoting rules, program first. %f %F %u %U become `path` (one argument when they
// stand alone; the path is passed as a path, never as a URL), "%%" a "%", every other field code
// nothing; `path` is appended when no file code is there. Inside double quotes only "%%" is
// read, other codes stay as written, so the path never lands inside a quoted text that a shell
// might read. Nothing when the value is empty or leaves a quote open.
std::optional<QStringList> ExecArguments(const QString& exec, const QString& path);
