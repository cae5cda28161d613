// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/connecting_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

CConnectingDialog::CConnectingDialog(OperationRunner& runner, const std::string& host, QWidget* parent)
    : CWaitingDialog(runner, parent)
{
    setWindowTitle(QStringLiteral("Connecting"));

    // A busy bar: it moves for as long as the connect takes.
    auto* indicator = new QProgressBar(this);
    indicator->setRange(0, 0);
    indicator->setTextVisible(false);
    auto* text = new QLabel(QStringLiteral("Connecting to host: ") + QString::fromStdString(host), this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &CConnectingDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(indicator);
    layout->addWidget(text);
    layout->addWidget(buttons);
}
