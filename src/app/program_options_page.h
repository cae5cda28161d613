// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CProgramOptions ("Program Options"): the e-mail address that anonymous logins send as their
// password, "Port", the time-out ("Retry", seconds) and the two chunk sizes of data transfers.

#include "app/options_page.h"

class CSettings;
class QLineEdit;

class CProgramOptions final : public COptionsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CProgramOptions)

public:
    explicit CProgramOptions(CSettings& settings, QWidget* parent = nullptr);

    bool CheckInput() override;
    void StoreOnOk() override;

private:
    CSettings& settings;
    QLineEdit* email = nullptr;
    QLineEdit* port = nullptr;
    QLineEdit* timeOut = nullptr;
    QLineEdit* sendBytes = nullptr;
    QLineEdit* receiveBytes = nullptr;
};
