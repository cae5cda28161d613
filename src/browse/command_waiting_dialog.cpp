// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/command_waiting_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

CCommandWaitingDialog::CCommandWaitingDialog(OperationRunner& runner, const QString& text, QWidget* parent)
    : CWaitingDialog(runner, parent)
{
    setWindowTitle(QStringLiteral("Waiting for Server"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(text));
    layout->addWidget(buttons);
    setMinimumWidth(300);
}
