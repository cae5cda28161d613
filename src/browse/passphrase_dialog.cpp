// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/passphrase_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CPassphraseDialog::CPassphraseDialog(const std::string& keyFile, QWidget* parent)
    : QDialog(parent)
    , passphrase(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Key Passphrase"));
    auto* layout = new QVBoxLayout(this);
    auto* label =
        new QLabel(QStringLiteral("Enter the passphrase of the key %1:").arg(QString::fromStdString(keyFile)), this);
    label->setWordWrap(true);
    label->setBuddy(passphrase);
    layout->addWidget(label);

    passphrase->setEchoMode(QLineEdit::Password);
    layout->addWidget(passphrase);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

std::string CPassphraseDialog::Passphrase() const
{
    return passphrase->text().toStdString();
}
