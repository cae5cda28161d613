// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CGettingDirectoryDialog ("Getting Directory"): the wait while the listing worker fetches a
// remote directory. Its text line is the caller's ("Getting Directory From: host").

#include "ui/waiting_dialog.h"

class QString;

class CGettingDirectoryDialog final : public CWaitingDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CGettingDirectoryDialog)

public:
    CGettingDirectoryDialog(OperationRunner& runner, const QString& text, QWidget* parent);
};
