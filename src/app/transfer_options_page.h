// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CTransOptions ("Transfer Options"): the download directory, the default transfer mode, the two
// double-click options, the data connection mode ("Passive Mode"), the connections and retries of
// directory copies, MLSD listings and kept modification times. Storing the mode changes the mode
// in force for the next transfer at the same moment as the stored default.

#include "app/options_page.h"

#include <string>

class CSettings;
class QCheckBox;
class QLineEdit;
class QSpinBox;

class CTransOptions final : public COptionsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTransOptions)

public:
    explicit CTransOptions(CSettings& settings, QWidget* parent = nullptr);

    void StoreOnOk() override;
    // The directory as typed, ending in "/"; the stored directory when the field is empty.
    std::string DownloadDirectory() const;

private:
    void Browse();

    CSettings& settings;
    int mode;         // 'F', 'I' or 'A'; any other stored value is kept as it is
    int passiveMode;  // a DataConnectionMode; any other stored value is kept
    QLineEdit* directory = nullptr;
    QCheckBox* saveOnDoubleClick = nullptr;
    QCheckBox* viewOnDoubleClick = nullptr;
    QSpinBox* connections = nullptr;  // "Connections": of a directory copy
    QSpinBox* retries = nullptr;      // "Retries": of a file after a failure that may pass
    QCheckBox* useMlsd = nullptr;
    QCheckBox* keepTimes = nullptr;
};
