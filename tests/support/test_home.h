// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Widget tests keep the program's settings and data files in a directory of their own.

#include "remote/session_log.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <string>

inline void UseTestHome(const QString& configDirectory, const QString& dataDirectory)
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, configDirectory);
    qputenv("XDG_DATA_HOME", dataDirectory.toUtf8());
}

// A new directory for both, with no log lines left from an earlier test function.
inline std::unique_ptr<QTemporaryDir> NewTestHome()
{
    auto dir = std::make_unique<QTemporaryDir>();
    UseTestHome(dir->path(), dir->path());
    DrainLogQueue([](const std::string&) {});
    return dir;
}
