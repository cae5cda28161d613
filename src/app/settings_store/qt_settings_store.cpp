// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settings_store/qt_settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Key(const std::string& section, const std::string& name)
{
    return QString::fromStdString(section) + u'/' + QString::fromStdString(name);
}

}  // namespace

std::string DefaultDownloadDirectory()
{
    const QString downloads = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    const QString folder = !downloads.isEmpty() && QFileInfo(downloads).isDir() ? downloads : QDir::homePath();
    return QDir::cleanPath(folder).toStdString() + "/";
}

QtSettingsStore::QtSettingsStore()
    : settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Corvane"), QStringLiteral("Tessaline"))
{}

std::optional<int> QtSettingsStore::ReadInt(const std::string& section, const std::string& name)
{
    const QVariant value = settings.value(Key(section, name));
    if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::Int)
        return std::nullopt;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok ? std::optional<int>(number) : std::nullopt;
}

std::optional<std::string> QtSettingsStore::ReadString(const std::string& section, const std::string& name)
{
    const QVariant value = settings.value(Key(section, name));
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString().toStdString();
}

void QtSettingsStore::WriteInt(const std::string& section, const std::string& name, int value)
{
    MakePrivateFile();
    settings.setValue(Key(section, name), value);
}

void QtSettingsStore::WriteString(const std::string& section, const std::string& name, const std::string& value)
{
    MakePrivateFile();
    settings.setValue(Key(section, name), QString::fromStdString(value));
}

bool QtSettingsStore::Commit()
{
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString QtSettingsStore::FileName() const
{
    return settings.fileName();
}

void QtSettingsStore::MakePrivateFile()
{
    if (filePrepared)
        return;
    filePrepared = true;
    const QString path = settings.fileName();
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir))
        return;  // QSettings reports the failed write through its status
    const QByteArray local = QFile::encodeName(path);
    const int fd = ::open(local.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    }
}
