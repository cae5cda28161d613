// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/open_with_application.h"

#include "browse/desktop_entries.h"
#include "browse/detached_process.h"
#include "browse/file_types.h"
#include "remote/session_log.h"
#include "ui/prompter.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace {

// Stands for the file among the arguments until the process starts, when the path's own bytes
// take its place. No argument of a program can hold a NUL, so no Exec line brings one along.
const QString kPathMarker = QString(QChar(u'\0'));

std::optional<DesktopApplication> ApplicationForType(const QMimeType& type)
{
    if (!type.isValid())
        return std::nullopt;
    // An application for a broader type (text/plain for C source) opens the file too.
    return DefaultApplication(QStringList{type.name()} + type.aliases() + type.allAncestors(), kPathMarker);
}

// xdg-open knows the associations of desktops that keep their own.
std::optional<DesktopApplication> XdgOpen()
{
    const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (xdgOpen.isEmpty())
        return std::nullopt;
    return DesktopApplication{QStringLiteral("xdg-open"), {xdgOpen, kPathMarker}};
}

// What the file is: by its name, and by what it holds where the name does not tell.
QMimeType TypeOfLocalFile(const std::string& path, const QString& name)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    QFile file;
    if (fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return QMimeDatabase().mimeTypeForFileNameAndData(name, &file);
    if (fd >= 0)
        ::close(fd);
    return QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
}

bool IsText(const QMimeType& type)
{
    const auto textual = [](const QString& name) { return name.startsWith(QLatin1String("text/")); };
    const QStringList ancestors = type.allAncestors();
    return textual(type.name()) || std::any_of(ancestors.begin(), ancestors.end(), textual);
}

// The desktop's text editor, for a text file that nothing else opens, if the user wants it.
std::optional<DesktopApplication> OfferTextEditor(const std::string& localPath, const QString& name, QWidget* parent)
{
    const QMimeType type = TypeOfLocalFile(localPath, name);
    std::optional<DesktopApplication> editor =
        IsText(type) ? DefaultApplication({QStringLiteral("text/plain")}, kPathMarker) : std::nullopt;
    if (!editor) {
        LogMessage("No application is registered to open %s (%s)", {localPath, type.name().toStdString()});
        return std::nullopt;
    }
    const QString editorName = editor->name.isEmpty() ? QFileInfo(editor->command.value(0)).fileName() : editor->name;
    if (!Prompter().Ask(parent,
                        QStringLiteral("I couldn't find an application to open this file, would you like to "
                                       "open it with %1?")
                            .arg(editorName),
                        QStringLiteral("Tessaline")))
        return std::nullopt;
    return editor;
}

// An argument with the path's bytes in place of the marker.
std::string WithPath(const QString& argument, const std::string& path)
{
    const QStringList pieces = argument.split(kPathMarker);
    std::string bytes = pieces.front().toStdString();
    for (qsizetype piece = 1; piece < pieces.size(); ++piece)
        bytes += path + pieces[piece].toStdString();
    return bytes;
}

void Start(const DesktopApplication& application, const std::string& localPath)
{
    const QString program = QStandardPaths::findExecutable(application.command.value(0));
    std::vector<std::string> arguments;
    for (const QString& argument : application.command)
        arguments.push_back(WithPath(argument, localPath));
    if (!program.isEmpty() && StartDetached(QFile::encodeName(program).toStdString(), arguments))
        LogMessage("Opening %s with %s", {localPath, program.toStdString()});
    else
        LogMessage("Could not start %s to open %s", {arguments.front(), localPath});
}

}  // namespace

void OpenWithApplication(const std::string& localPath, QWidget* parent)
{
    const std::string fileName = FileNameOfPath(localPath);
    const QString name = QFile::decodeName(QByteArray::fromStdString(fileName));
    std::optional<DesktopApplication> application;
    // A name without a dot tells nothing of the type: only the text editor can be offered.
    if (fileName.find('.') != std::string::npos) {
        application = ApplicationForType(RegisteredTypeOfName(name));
        if (!application)
            application = XdgOpen();
    }
    if (!application)
        application = OfferTextEditor(localPath, name, parent);
    if (application)
        Start(*application, localPath);
}
