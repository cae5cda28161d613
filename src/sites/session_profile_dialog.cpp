// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/session_profile_dialog.h"

#include "ftp/encryption.h"
#include "ftp/ftp_url.h"
#include "sites/login_fields.h"
#include "ui/prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <variant>

CSessionProfileDialog::CSessionProfileDialog(const std::string& email, QWidget* parent)
    : QDialog(parent)
    , email(QString::fromStdString(email))
{
    setWindowTitle(QStringLiteral("Session Profile"));

    auto* layout = new QVBoxLayout(this);
    auto* remote = new QGroupBox(QStringLiteral("Remote H&ost:"), this);
    layout->addWidget(remote);
    auto* fields = new QFormLayout(remote);

    // Created in tab order: the focus chain follows the order of creation.
    host = new QLineEdit(remote);
    userId = new QLineEdit(remote);
    password = NewPasswordEdit(remote);
    passwordPlace = NewPasswordPlaceLabel(remote);
    remoteDirectory = new QLineEdit(remote);
    anonymous = new QCheckBox(QStringLiteral("Anonymous &Login"), remote);
    encryption = NewEncryptionChoice(remote);
    protocol = NewProtocolChoice(remote, *encryption);
    // Hidden: connections follow the global firewall settings, not a choice per session.
    auto* useFirewall = new QCheckBox(QStringLiteral("Use Firewall"), remote);
    useFirewall->hide();
    fields->addRow(QStringLiteral("Host &name:"), host);
    fields->addRow(QStringLiteral("&User ID:"), userId);
    fields->addRow(QStringLiteral("Pass&word:"), password);
    fields->addRow(passwordPlace);
    fields->addRow(QStringLiteral("Initial Directory"), remoteDirectory);
    fields->addRow(anonymous);
    fields->addRow(QStringLiteral("&Protocol:"), protocol);
    fields->addRow(QStringLiteral("&Encryption:"), encryption);
    fields->addRow(useFirewall);

    auto* connectButton = new QPushButton(QStringLiteral("Connect"), this);
    connectButton->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(connectButton);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(anonymous, &QCheckBox::clicked, this,
            [this](bool checked) { ApplyAnonymousLogin(*userId, *password, checked, this->email, false); });
    connect(connectButton, &QPushButton::clicked, this, &CSessionProfileDialog::Connect);
    connect(cancel, &QPushButton::clicked, this, &CSessionProfileDialog::reject);

    SetProfile(entered);
}

void CSessionProfileDialog::SetProfile(const CSiteProfile& profile)
{
    entered = profile;
    const bool isAnonymous = profile.userId == "anonymous";
    host->setText(QString::fromStdString(profile.host));
    userId->setText(QString::fromStdString(profile.userId));
    password->setText(isAnonymous ? email : QString::fromStdString(profile.password));
    remoteDirectory->setText(QString::fromStdString(profile.remoteDirectory));
    anonymous->setChecked(isAnonymous);
    passwordPlace->setVisible(profile.savePassword != 0);
    encryption->setCurrentIndex(profile.encryption);
    ChooseProtocol(*protocol, profile.protocol);
    ShowLoginState(*userId, *password, isAnonymous);
}

void CSessionProfileDialog::ApplyTo(CSiteProfile& profile) const
{
    profile.host = entered.host;
    profile.userId = entered.userId;
    profile.password = entered.password;
    profile.savePassword = entered.savePassword;
    profile.remoteDirectory = entered.remoteDirectory;
    profile.encryption = entered.encryption;
    profile.protocol = entered.protocol;
}

void CSessionProfileDialog::reject()
{
    cancelled = true;
    QDialog::reject();
}

bool CSessionProfileDialog::TakeUrl()
{
    const std::string text = host->text().trimmed().toStdString();
    if (!IsFtpUrl(text) && !IsSftpUrl(text))
        return true;
    const std::variant<FtpUrl, std::string> parsed = ParseFtpUrl(text);
    if (const auto* why = std::get_if<std::string>(&parsed)) {
        Prompter().Inform(this, QString::fromStdString(*why));
        host->setFocus();
        return false;
    }
    const FtpUrl& url = std::get<FtpUrl>(parsed);
    host->setText(QString::fromStdString(url.host));
    if (!url.directory.empty())
        remoteDirectory->setText(QString::fromStdString(url.directory));
    if (url.user) {
        const bool isAnonymous = *url.user == "anonymous";
        anonymous->setChecked(isAnonymous);
        ApplyAnonymousLogin(*userId, *password, isAnonymous, email, false);
        userId->setText(QString::fromStdString(*url.user));
    }
    if (url.password)
        password->setText(QString::fromStdString(*url.password));
    if (url.implicitTls)
        encryption->setCurrentIndex(kTlsImplicit);
    ChooseProtocol(*protocol, url.sftp ? RemoteProtocol::Sftp : RemoteProtocol::Ftp);
    // An SSH login tries the user's keys first: no password is waited for.
    if (url.user && !url.password && !anonymous->isChecked() && !url.sftp) {
        password->setFocus();
        return false;
    }
    return true;
}

void CSessionProfileDialog::Connect()
{
    if (host->text().isEmpty()) {
        Prompter().Beep();
        Prompter().Inform(this, QStringLiteral("You must provide a host name."));
        return;
    }
    if (!TakeUrl())
        return;
    entered.host = host->text().toStdString();
    entered.userId = userId->text().toStdString();
    entered.password = password->text().toStdString();
    entered.remoteDirectory = remoteDirectory->text().toStdString();
    entered.encryption = encryption->currentIndex();
    entered.protocol = ChosenProtocol(*protocol);
    accept();
}
