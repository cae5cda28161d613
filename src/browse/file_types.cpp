// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/file_types.h"

#include "ui/program_icons.h"

#include <QMimeDatabase>

namespace {

QIcon ThemeIconOfType(const QMimeType& type)
{
    if (!type.isValid())
        return ProgramIcon(ProgramIconId::Document);
    // A desktop without an icon theme (or a theme without this type) has neither name.
    for (const QString& name : {type.iconName(), type.genericIconName()}) {
        QIcon icon = QIcon::fromTheme(name);
        if (!icon.isNull())
            return icon;
    }
    return ProgramIcon(ProgramIconId::Document);
}

CFileTypes& SharedFileTypes()
{
    static CFileTypes types;
    return types;
}

}  // namespace

std::string FileExtension(const std::string& name)
{
    std::size_t dot = std::string::npos;
    for (std::size_t at = 0; at < name.size(); ++at) {
        if (name[at] == ' ' || name[at] == '/')
            dot = std::string::npos;
        else if (name[at] == '.')
            dot = at;
    }
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string FileNameOfPath(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

QMimeType RegisteredTypeOfName(const QString& name)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    return type.isDefault() ? QMimeType() : type;
}

QMimeType RegisteredTypeOfExtension(const QString& extension)
{
    // Patterns match whole names, and a name that is nothing but an extension matches none.
    return RegisteredTypeOfName(QStringLiteral("file") + extension);
}

CFileTypes::CFileTypes(Lookup lookup) : lookup(std::move(lookup)) {}

QIcon CFileTypes::IconForFileName(const std::string& name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos)
        return ProgramIcon(ProgramIconId::Document);
    QString extension = QString::fromStdString(name.substr(dot)).toLower();
    if (extension == QLatin1String(".exe"))
        extension = QStringLiteral(".com");
    auto found = icons.constFind(extension);
    if (found == icons.constEnd())
        found = icons.insert(extension, ThemeIconOfType(lookup(extension)));
    return *found;
}

QString CFileTypes::TypeNameForExtension(const std::string& name)
{
    const QString extension = QString::fromStdString(FileExtension(name));
    if (extension.isEmpty())
        return {};
    auto found = typeNames.constFind(extension);
    if (found == typeNames.constEnd()) {
        const QMimeType type = lookup(extension);
        found = typeNames.insert(extension, type.isValid() ? type.comment() : QString());
    }
    return *found;
}

QIcon IconForFileName(const std::string& name)
{
    return SharedFileTypes().IconForFileName(name);
}

QString TypeNameForExtension(const std::string& name)
{
    return SharedFileTypes().TypeNameForExtension(name);
}
