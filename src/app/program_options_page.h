#pragma once
// CProgramOptions ("Program Options"): the e-mail address that anonymous logins send as their
// password, "Port", the time-out ("Retry", seconds) and the two chunk sizes of data transfers.
// It is the one page whose edits enable the sheet's Apply button.

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

signals:
    // The text of any of the page's fields changed.
    void edited();

private:
    CSettings& settings;
    QLineEdit* email = nullptr;
    QLineEdit* port = nullptr;
    QLineEdit* timeOut = nullptr;
    QLineEdit* sendBytes = nullptr;
    QLineEdit* receiveBytes = nullptr;
};
