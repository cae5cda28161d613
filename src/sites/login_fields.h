// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user and password fields that the site dialogs share. An anonymous login shows "anonymous"
// and the e-mail address in clear and greys both fields; any other login masks the password
// with "*".

#include "remote/remote_login.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QString;
class QWidget;

// A password field masked with "*".
QLineEdit* NewPasswordEdit(QWidget* parent);
// Greys the fields and shows the password in clear for an anonymous login; the reverse otherwise.
void ShowLoginState(QLineEdit& user, QLineEdit& password, bool anonymous);
// What ticking or clearing the anonymous box does: ticked fills in the anonymous login, cleared
// empties both fields unless `keepTexts`.
void ApplyAnonymousLogin(QLineEdit& user, QLineEdit& password, bool anonymous, const QString& email, bool keepTexts);

// The line beside "Save password" that says where a saved password is kept: in the desktop's
// keyring when one answers, else in the profile file.
QLabel* NewPasswordPlaceLabel(QWidget* parent);

// The "Encryption:" choice of a site, its entries in the order of the profile's "ENCRYPTION="
// values, so an entry's index is the value.
QComboBox* NewEncryptionChoice(QWidget* parent);
// The "Protocol:" choice of a site, FTP or SFTP (an entry's index is the RemoteProtocol's value).
// `encryption` is for FTP only: it is greyed while SFTP is chosen.
QComboBox* NewProtocolChoice(QWidget* parent, QComboBox& encryption);
// The protocol chosen, and the choice made from a profile's.
RemoteProtocol ChosenProtocol(const QComboBox& choice);
void ChooseProtocol(QComboBox& choice, RemoteProtocol protocol);
