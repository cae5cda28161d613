// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CPassphraseDialog ("Key Passphrase"): asks for the passphrase of an encrypted private key that
// an SSH login would use. The text is hidden as it is typed and never logged. When a keyring
// answers, "Save passphrase" offers to keep it there.

#include <QDialog>

#include <string>

class QCheckBox;
class QLineEdit;

class CPassphraseDialog final : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPassphraseDialog)

public:
    // `keyFile` is the private key's path; `offerSaving` shows "Save passphrase".
    CPassphraseDialog(const std::string& keyFile, bool offerSaving, QWidget* parent);

    // What the user typed, once the dialog was accepted.
    std::string Passphrase() const;
    bool SaveChosen() const;

private:
    QLineEdit* passphrase;
    QCheckBox* save;
};
