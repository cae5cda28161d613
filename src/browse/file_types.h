// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the local desktop calls a remote file: the type description and the icon registered for
// its extension in the shared MIME database. Only the name is looked at (there is no local file
// to read), and each extension is looked up once, so a directory of 20 000 entries costs one
// look-up per kind of file, not one per entry.

#include <QHash>
#include <QIcon>
#include <QMimeType>
#include <QString>

#include <functional>
#include <string>

// The extension a type description is found by: from the last dot to the end, except that a
// blank or a "/" after a dot forgets it ("a.b c" has none). Empty when there is none.
std::string FileExtension(const std::string& name);

// The part of a local path after its last "/"; the whole path when it has none.
std::string FileNameOfPath(const std::string& path);

// The type whose file-name patterns match `name`; invalid when none does.
QMimeType RegisteredTypeOfName(const QString& name);
// The same for any name ending in `extension` (such as ".gz") and matching no longer pattern.
QMimeType RegisteredTypeOfExtension(const QString& extension);

class CFileTypes final {
public:
    using Lookup = std::function<QMimeType(const QString& extension)>;
    explicit CFileTypes(Lookup lookup = RegisteredTypeOfExtension);

    // The icon for the last extension of `name` in lower case (".exe" looked up as ".com"):
    // the theme's icon of its type, else of its type's generic kind; the program's document icon
    // for a name without a dot or a type without an icon.
    QIcon IconForFileName(const std::string& name);
    // The description of the type of FileExtension(name); empty when nothing is registered.
    QString TypeNameForExtension(const std::string& name);

private:
    Lookup lookup;
    QHash<QString, QIcon> icons;        // by lower-case extension
    QHash<QString, QString> typeNames;  // by extension as written: some patterns tell case apart
};

// The main view's shared cache.
QIcon IconForFileName(const std::string& name);
QString TypeNameForExtension(const std::string& name);
