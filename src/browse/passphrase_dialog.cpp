// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/passphrase_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CPassphraseDialog::CPassphraseDialog(const std::string& keyFile, bool offerSaving, QWidget* parent)
    : QDialog(parent)
    , passphrase(new QLineEdit(this))
    , save(new QCheckBox(QStringLiteral("&Save passphrase in the desktop's keyring"), this))
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
    layout->addWidget(save);
    save->setVisible(offerSaving);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

std::string CPassphraseDialog::Passphrase() const
{
    return passphrase->text().toStdString();
}

bool CPassphraseDialog::SaveChosen() const
{
    return !save->isHidden() && save->isChecked();
}
