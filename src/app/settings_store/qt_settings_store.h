// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings store on disk: QSettings in native format, organisation "Corvane", application
// "Tessaline" (~/.config/Corvane/Tessaline.conf), one group per section. The file holds the
// firewall password, so it is made 0600 before the first value is written; QSettings then
// replaces it atomically and keeps that mode.

#include "settings/settings.h"

#include <QSettings>

// Where downloads go unless the user chose otherwise: the user's download directory, or without
// one the home directory; never a temporary one, whose files would be lost.
std::string DefaultDownloadDirectory();

class QtSettingsStore final : public SettingsStore {
public:
    QtSettingsStore();

    std::optional<int> ReadInt(const std::string& section, const std::string& name) override;
    std::optional<std::string> ReadString(const std::string& section, const std::string& name) override;
    void WriteInt(const std::string& section, const std::string& name, int value) override;
    void WriteString(const std::string& section, const std::string& name, const std::string& value) override;

    // Writes pending values to disk; false when the file could not be written.
    bool Commit();
    QString FileName() const;

private:
    void MakePrivateFile();

    QSettings settings;
    bool filePrepared = false;
};
