// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CFireWall ("Firewall Options"): the firewall proxy and the login style used through it.

#include "app/options_page.h"

class CSettings;
class QCheckBox;
class QLineEdit;

class CFireWall final : public COptionsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CFireWall)

public:
    explicit CFireWall(CSettings& settings, QWidget* parent = nullptr);

    // The proxy port must be a whole number from 0 to 99999.
    bool CheckInput() override;
    // "Fire Wall On", "Fire Mode", "Fire Password", "Fire Port", "Fire Host", "Fire User ID".
    void StoreOnOk() override;

private:
    CSettings& settings;
    int mode;  // 1 to 4; any other stored value is kept as it is
    QCheckBox* enabled = nullptr;
    QLineEdit* proxyAddress = nullptr;
    QLineEdit* port = nullptr;
    QLineEdit* userId = nullptr;
    QLineEdit* password = nullptr;
};
