#pragma once
// Widget tests keep the program's settings and data files in a directory of their own.

#include <QByteArray>
#include <QSettings>
#include <QString>

inline void UseTestHome(const QString& configDirectory, const QString& dataDirectory)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configDirectory);
    qputenv("XDG_DATA_HOME", dataDirectory.toUtf8());
}
