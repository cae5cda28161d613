// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CConnectingDialog ("Connecting"): the waiting dialog of the connect worker, with a busy bar, the
// host and Cancel. It ends like every waiting dialog; stopping a cancelled worker is the caller's
// part.

#include "ui/waiting_dialog.h"

#include <string>

class CConnectingDialog final : public CWaitingDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CConnectingDialog)

public:
    CConnectingDialog(OperationRunner& runner, const std::string& host, QWidget* parent = nullptr);
};
