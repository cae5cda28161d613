// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/desktop_entries.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QStandardPaths>

namespace {

// One key file (desktop entry or mimeapps.list): group -> key -> value as written.
using KeyFile = QHash<QString, QHash<QString, QString>>;

KeyFile ReadKeyFile(const QString& path)
{
    KeyFile groups;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return groups;
    QString group;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        // The first occurrence of a key counts; later duplicates are ignored.
        if (equals > 0 && !groups[group].contains(line.left(equals).trimmed()))
            groups[group].insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }
    return groups;
}

// The escapes of a desktop-entry string value.
QString UnescapeString(const QString& value)
{
    QString text;
    for (qsizetype at = 0; at < value.size(); ++at) {
        if (value[at] != u'\\' || at + 1 == value.size()) {
            text += value[at];
            continue;
        }
        switch (value[++at].unicode()) {
        case 's': text += u' '; break;
        case 'n': text += u'\n'; break;
        case 't': text += u'\t'; break;
        case 'r': text += u'\r'; break;
        default: text += value[at]; break;  // "\\" and escapes of other types' values
        }
    }
    return text;
}

QStringList ListValue(const QString& value)
{
    return value.split(u';', Qt::SkipEmptyParts);
}

struct Directories {
    QStringList mimeAppsLists;    // most important first
    QStringList applicationDirs;  // most important first
};

Directories XdgDirectories()
{
    // A desktop's own list ("gnome-mimeapps.list") comes before the common one in each directory.
    QStringList names;
    for (const QString& desktop : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts))
        names << desktop.toLower() + QStringLiteral("-mimeapps.list");
    names << QStringLiteral("mimeapps.list");

    Directories dirs;
    QStringList listDirs = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        dirs.applicationDirs << data + QStringLiteral("/applications");
        listDirs << data + QStringLiteral("/applications");
    }
    for (const QString& dir : listDirs) {
        for (const QString& name : names)
            dirs.mimeAppsLists << dir + u'/' + name;
    }
    return dirs;
}

// Finds desktop entries by their file IDs and turns usable ones into commands.
class ApplicationFinder final {
public:
    ApplicationFinder(Directories dirs, QString path) : dirs(std::move(dirs)), path(std::move(path)) {}

    // The first directory that holds the ID decides, even when its entry is hidden.
    std::optional<DesktopApplication> ApplicationOf(const QString& id) const
    {
        for (const QString& dir : dirs.applicationDirs) {
            const QString file = dir + u'/' + id;
            if (QFile::exists(file))
                return ApplicationOfEntry(ReadKeyFile(file).value(QStringLiteral("Desktop Entry")));
        }
        return std::nullopt;
    }

    // Entries whose MimeType lists one of `types` (a type before the next), in directory order,
    // file names sorted.
    std::optional<DesktopApplication> ApplicationListing(const QStringList& types, const QSet<QString>& removed) const
    {
        std::vector<std::pair<QString, QHash<QString, QString>>> entries;  // ID and [Desktop Entry]
        QSet<QString> seen;
        for (const QString& dir : dirs.applicationDirs) {
            for (const QString& id : QDir(dir).entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name)) {
                if (seen.contains(id))
                    continue;  // shadowed by a more important directory
                seen.insert(id);
                entries.emplace_back(id, ReadKeyFile(dir + u'/' + id).value(QStringLiteral("Desktop Entry")));
            }
        }
        for (const QString& type : types) {
            for (const auto& [id, entry] : entries) {
                if (removed.contains(type + u' ' + id)
                    || !ListValue(entry.value(QStringLiteral("MimeType"))).contains(type))
                    continue;
                if (auto application = ApplicationOfEntry(entry))
                    return application;
            }
        }
        return std::nullopt;
    }

private:
    std::optional<DesktopApplication> ApplicationOfEntry(const QHash<QString, QString>& entry) const
    {
        if (entry.value(QStringLiteral("Type")) != QLatin1String("Application")
            || entry.value(QStringLiteral("Hidden")) == QLatin1String("true"))
            return std::nullopt;
        const QString tryExec = UnescapeString(entry.value(QStringLiteral("TryExec")));
        if (!tryExec.isEmpty() && QStandardPaths::findExecutable(tryExec).isEmpty())
            return std::nullopt;
        std::optional<QStringList> command = ExecArguments(UnescapeString(entry.value(QStringLiteral("Exec"))), path);
        if (!command)
            return std::nullopt;
        if (entry.value(QStringLiteral("Terminal")) == QLatin1String("true")) {
            // A program that needs a terminal gets one, or cannot be used.
            const QString terminal = QStandardPaths::findExecutable(QStringLiteral("x-terminal-emulator"));
            if (terminal.isEmpty())
                return std::nullopt;
            command->prepend(QStringLiteral("-e"));
            command->prepend(terminal);
        }
        return DesktopApplication{UnescapeString(entry.value(QStringLiteral("Name"))), *command};
    }

    Directories dirs;
    QString path;
};

}  // namespace

std::optional<DesktopApplication> DefaultApplication(const QStringList& types, const QString& path)
{
    Directories dirs = XdgDirectories();
    std::vector<KeyFile> lists;
    QSet<QString> removed;  // "type id"
    for (const QString& file : dirs.mimeAppsLists) {
        lists.push_back(ReadKeyFile(file));
        const QHash<QString, QString> removedGroup = lists.back().value(QStringLiteral("Removed Associations"));
        for (auto it = removedGroup.begin(); it != removedGroup.end(); ++it) {
            for (const QString& id : ListValue(it.value()))
                removed.insert(it.key() + u' ' + id);
        }
    }
    const ApplicationFinder finder(std::move(dirs), path);

    // A default the user chose stands; a removed association only takes an application off the
    // associations.
    for (const QString& type : types) {
        for (const KeyFile& list : lists) {
            for (const QString& id : ListValue(list.value(QStringLiteral("Default Applications")).value(type))) {
                if (auto application = finder.ApplicationOf(id))
                    return application;
            }
        }
    }
    for (const QString& type : types) {
        for (const KeyFile& list : lists) {
            for (const QString& id : ListValue(list.value(QStringLiteral("Added Associations")).value(type))) {
                if (removed.contains(type + u' ' + id))
                    continue;
                if (auto application = finder.ApplicationOf(id))
                    return application;
            }
        }
    }
    return finder.ApplicationListing(types, removed);
}

std::optional<QStringList> ExecArguments(const QString& exec, const QString& path)
{
    QStringList arguments;
    QString word;
    bool keep = false;  // the word holds more than field codes that expand to nothing
    bool quoted = false;
    bool fileCode = false;
    for (qsizetype at = 0; at < exec.size(); ++at) {
        const QChar c = exec[at];
        const bool percentPair = c == u'%' && at + 1 < exec.size();
        if (quoted) {
            if (c == u'\\' && at + 1 < exec.size())
                word += exec[++at];
            else if (c == u'"')
                quoted = false;
            else if (percentPair && exec[at + 1] == u'%')
                word += exec[++at];
            else
                word += c;
        } else if (c == u' ' || c == u'\t' || c == u'\n') {
            if (keep)
                arguments << word;
            word.clear();
            keep = false;
        } else if (c == u'"') {
            quoted = true;
            keep = true;
        } else if (percentPair) {
            const QChar code = exec[++at];
            if (code == u'%') {
                word += code;
                keep = true;
            } else if (code == u'f' || code == u'F' || code == u'u' || code == u'U') {
                word += path;
                keep = true;
                fileCode = true;
            }
        } else {
            word += c;
            keep = true;
        }
    }
    if (quoted)
        return std::nullopt;
    if (keep)
        arguments << word;
    if (arguments.isEmpty())
        return std::nullopt;
    if (!fileCode)
        arguments << path;
    return arguments;
}
