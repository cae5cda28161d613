#include "browse/open_with_application.h"

#include "browse/desktop_entries.h"
#include "browse/file_types.h"
#include "ftp/session_log.h"
#include "sites/prompter.h"

#include <QMimeType>
#include <QProcess>
#include <QStandardPaths>

#include <optional>

namespace {

// The question names NotePad; Yes means the desktop's default text editor.
bool AskForTextEditor(QWidget* parent)
{
    return Prompter().Ask(parent,
                          QStringLiteral("I couldn't find an application to open this file, would you like to "
                                         "open it with NotePad?"),
                          QStringLiteral("Tessaline"));
}

std::optional<QStringList> TextEditorCommand(const QString& path)
{
    return DefaultApplicationCommand({QStringLiteral("text/plain")}, path);
}

std::optional<QStringList> CommandForType(const QMimeType& type, const QString& path)
{
    if (!type.isValid())
        return std::nullopt;
    // An application for a broader type (text/plain for C source) opens the file too.
    return DefaultApplicationCommand(QStringList{type.name()} + type.aliases() + type.allAncestors(), path);
}

} // namespace

void OpenWithApplication(const std::string& localPath, QWidget* parent)
{
    const QString path = QString::fromStdString(localPath);
    const std::string name = FileNameOfPath(localPath);
    bool askedForEditor = false;
    std::optional<QStringList> command;
    if (name.find('.') == std::string::npos) {
        if (!AskForTextEditor(parent))
            return;
        askedForEditor = true;
        command = TextEditorCommand(path);
    } else {
        command = CommandForType(RegisteredTypeOfName(QString::fromStdString(name)), path);
    }
    if (!command) {
        // xdg-open knows the associations of desktops that keep their own.
        const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (!xdgOpen.isEmpty())
            command = QStringList{xdgOpen, path};
    }
    if (!command && !askedForEditor && AskForTextEditor(parent))
        command = TextEditorCommand(path);
    if (!command)
        return;

    const QString program = command->takeFirst();
    if (QProcess::startDetached(program, *command))
        LogMessage("Opening %s with %s", {localPath, program.toStdString()});
    else
        LogMessage("Could not start %s to open %s", {program.toStdString(), localPath});
}
