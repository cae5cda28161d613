// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CCommandWaitingDialog ("Waiting for Server"): the wait for a remote command (CWD, DELE, RNFR,
// SITE CHMOD, quit, ...) that the server is slow to answer, with Cancel.

#include "ui/waiting_dialog.h"

class QString;

class CCommandWaitingDialog final : public CWaitingDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCommandWaitingDialog)

public:
    CCommandWaitingDialog(OperationRunner& runner, const QString& text, QWidget* parent);
};
