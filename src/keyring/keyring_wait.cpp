// SPDX-License-Identifier: GPL-3.0-or-later
#include "keyring/keyring_wait.h"

#include "keyring/saved_passwords.h"
#include "ui/prompter.h"
#include "ui/waiting_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

bool AwaitSavedPassword(QWidget* parent, CSiteProfile& site)
{
    SavedPasswords* passwords = SavedPasswords::Active();
    if (!passwords || !site.password.empty())
        return true;
    if (passwords->Awaiting(site)) {
        CWaitingDialog wait([passwords, &site] { return passwords->Awaiting(site); }, parent);
        wait.setWindowTitle(QStringLiteral("Waiting for Keyring"));
        auto* indicator = new QProgressBar(&wait);
        indicator->setRange(0, 0);
        indicator->setTextVisible(false);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &wait);
        QObject::connect(buttons, &QDialogButtonBox::rejected, &wait, &QDialog::reject);
        auto* layout = new QVBoxLayout(&wait);
        layout->addWidget(indicator);
        layout->addWidget(new QLabel(QStringLiteral("Reading the saved password from the desktop's keyring."), &wait));
        layout->addWidget(buttons);
        passwords->SetSettled([&wait] { wait.Wake(); });
        const int result = Prompter().Exec(wait);
        passwords->SetSettled(nullptr);
        if (result != QDialog::Accepted)
            return false;
    }
    site.password = passwords->PasswordFor(site);
    return true;
}
