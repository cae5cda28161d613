// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/login_fields.h"

#include "keyring/saved_passwords.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>

QLineEdit* NewPasswordEdit(QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    // The platform's mask character would be a bullet; the program shows "*".
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    edit->setEchoMode(QLineEdit::Password);
    return edit;
}

void ShowLoginState(QLineEdit& user, QLineEdit& password, bool anonymous)
{
    password.setEchoMode(anonymous ? QLineEdit::Normal : QLineEdit::Password);
    user.setEnabled(!anonymous);
    password.setEnabled(!anonymous);
}

void ApplyAnonymousLogin(QLineEdit& user, QLineEdit& password, bool anonymous, const QString& email, bool keepTexts)
{
    if (anonymous) {
        user.setText(QStringLiteral("anonymous"));
        password.setText(email);
    } else if (!keepTexts) {
        user.clear();
        password.clear();
    }
    ShowLoginState(user, password, anonymous);
}

QLabel* NewPasswordPlaceLabel(QWidget* parent)
{
    const SavedPasswords* passwords = SavedPasswords::Active();
    return new QLabel(passwords && passwords->InKeyring()
                          ? QStringLiteral("Saved passwords are kept in the desktop's keyring.")
                          : QStringLiteral("Saved passwords are kept in the profile file, not encrypted."),
                      parent);
}

QComboBox* NewEncryptionChoice(QWidget* parent)
{
    auto* choice = new QComboBox(parent);
    choice->addItems({QStringLiteral("Use explicit FTP over TLS if available"),
                      QStringLiteral("Require explicit FTP over TLS"), QStringLiteral("Require implicit FTP over TLS"),
                      QStringLiteral("Only use plain FTP (insecure)")});
    return choice;
}

QComboBox* NewProtocolChoice(QWidget* parent, QComboBox& encryption)
{
    auto* choice = new QComboBox(parent);
    choice->addItems({QStringLiteral("FTP"), QStringLiteral("SFTP")});
    QObject::connect(choice, &QComboBox::currentIndexChanged, &encryption,
                     [choice, &encryption] { encryption.setEnabled(ChosenProtocol(*choice) == RemoteProtocol::Ftp); });
    return choice;
}

RemoteProtocol ChosenProtocol(const QComboBox& choice)
{
    return choice.currentIndex() == static_cast<int>(RemoteProtocol::Sftp) ? RemoteProtocol::Sftp : RemoteProtocol::Ftp;
}

void ChooseProtocol(QComboBox& choice, RemoteProtocol protocol)
{
    choice.setCurrentIndex(static_cast<int>(protocol));
}
