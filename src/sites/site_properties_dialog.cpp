// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/site_properties_dialog.h"

#include "sites/current_site_icon.h"
#include "sites/icon_selection_dialog.h"
#include "sites/login_fields.h"
#include "sites/name_rules.h"
#include "sites/site_icons.h"
#include "ui/prompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr char kDefaultIcon[] = "Tessaline.exe, 33";
constexpr int kHelpContext = 37;

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

CSitePropertiesDialog::CSitePropertiesDialog(CurrentSiteIcon& currentSiteIcon, const std::string& email,
                                             QWidget* parent)
    : QDialog(parent)
    , currentSiteIcon(currentSiteIcon)
    , email(Text(email))
{
    setWindowTitle(QStringLiteral("Properties"));

    // Created in tab order: the focus chain follows the order of creation.
    profileName = new QLineEdit(this);
    host = new QLineEdit(this);
    userId = new QLineEdit(this);
    password = NewPasswordEdit(this);
    anonymous = new QCheckBox(QStringLiteral("Anonymous &login"), this);
    savePassword = new QCheckBox(QStringLiteral("Sa&ve password"), this);
    remoteDirectory = new QLineEdit(this);
    useFirewall = new QCheckBox(QStringLiteral("Use firewall"), this);
    prompt = new QCheckBox(QStringLiteral("Prompt"), this);
    encryption = NewEncryptionChoice(this);
    protocol = NewProtocolChoice(this, *encryption);
    for (QLineEdit* field : {profileName, host, userId, password, remoteDirectory})
        LimitToProfileFile(*field);
    comment = new QPlainTextEdit(this);
    comment->setTabChangesFocus(true);
    iconButton = new QToolButton(this);
    iconButton->setIconSize(QSize(32, 32));
    iconButton->setIcon(currentSiteIcon.image);
    auto* saveExit = new QPushButton(QStringLiteral("Save/Exit"), this);
    saveExit->setDefault(true);
    auto* saveConnect = new QPushButton(QStringLiteral("Save/Connect"), this);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* help = new QPushButton(QStringLiteral("Help"), this);
    connect(help, &QPushButton::clicked, this, [this] { Prompter().ShowHelp(this, kHelpContext); });

    auto* layout = new QHBoxLayout(this);
    auto* fields = new QFormLayout;
    layout->addLayout(fields, 1);
    fields->addRow(QStringLiteral("Profile name:"), profileName);
    fields->addRow(QStringLiteral("Host &name:"), host);
    fields->addRow(QStringLiteral("&User ID:"), userId);
    fields->addRow(QStringLiteral("Pass&word:"), password);
    auto* loginBoxes = new QHBoxLayout;
    loginBoxes->addWidget(anonymous);
    loginBoxes->addWidget(savePassword);
    fields->addRow(loginBoxes);
    fields->addRow(NewPasswordPlaceLabel(this));
    fields->addRow(QStringLiteral("Initial directory on the remote host:"), remoteDirectory);
    auto* connectionBoxes = new QHBoxLayout;
    connectionBoxes->addWidget(useFirewall);
    connectionBoxes->addWidget(prompt);
    fields->addRow(connectionBoxes);
    fields->addRow(QStringLiteral("&Protocol:"), protocol);
    fields->addRow(QStringLiteral("&Encryption:"), encryption);
    fields->addRow(QStringLiteral("Comments:"), comment);
    auto* iconRow = new QHBoxLayout;
    iconRow->addWidget(iconButton);
    auto* iconLabel = new QLabel(QStringLiteral("Select Icon for Site"), this);
    iconLabel->setBuddy(iconButton);
    iconRow->addWidget(iconLabel, 1);
    fields->addRow(iconRow);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* button : {saveExit, saveConnect, cancel, help})
        buttons->addWidget(button);
    buttons->addStretch();
    layout->addLayout(buttons);

    connect(anonymous, &QCheckBox::clicked, this,
            [this](bool checked) { ApplyAnonymousLogin(*userId, *password, checked, this->email, false); });
    connect(iconButton, &QToolButton::clicked, this, &CSitePropertiesDialog::ChooseIcon);
    connect(saveExit, &QPushButton::clicked, this, [this] { Save(kSaveExit); });
    connect(saveConnect, &QPushButton::clicked, this, [this] { Save(kSaveConnect); });
    connect(cancel, &QPushButton::clicked, this, &CSitePropertiesDialog::reject);

    SetProfile(entered);
    // A profile without an icon is saved with the program's own computer icon.
    if (currentSiteIcon.reference.empty())
        currentSiteIcon.reference = kDefaultIcon;
}

void CSitePropertiesDialog::SetProfile(const CSiteProfile& profile)
{
    entered = profile;
    profileName->setText(Text(profile.name));
    host->setText(Text(profile.host));
    userId->setText(Text(profile.userId));
    password->setText(Text(profile.password));
    remoteDirectory->setText(Text(profile.remoteDirectory));
    savePassword->setChecked(profile.savePassword != 0);
    useFirewall->setChecked(profile.useFirewall != 0);
    prompt->setChecked(profile.prompt != 0);
    encryption->setCurrentIndex(profile.encryption);
    ChooseProtocol(*protocol, profile.protocol);
    comment->setPlainText(Text(profile.comment));
    const bool isAnonymous = profile.userId == "anonymous";
    anonymous->setChecked(isAnonymous);
    // Opening keeps the profile's own user and password unless the login is anonymous.
    ApplyAnonymousLogin(*userId, *password, isAnonymous, email, true);
}

void CSitePropertiesDialog::ApplyTo(CSiteProfile& profile) const
{
    profile.name = entered.name;
    profile.host = entered.host;
    profile.userId = entered.userId;
    profile.password = entered.password;
    profile.remoteDirectory = entered.remoteDirectory;
    profile.savePassword = entered.savePassword;
    profile.useFirewall = entered.useFirewall;
    profile.prompt = entered.prompt;
    profile.comment = entered.comment;
    profile.encryption = entered.encryption;
    profile.protocol = entered.protocol;
}

void CSitePropertiesDialog::reject()
{
    closeAction = kCancel;
    QDialog::reject();
}

void CSitePropertiesDialog::Save(CloseAction action)
{
    closeAction = action;
    // Only the name is required: a site may be saved without a host, and names may repeat.
    if (profileName->text().isEmpty()) {
        Prompter().Beep();
        Prompter().Inform(this, QStringLiteral("You must provide a Profile Name."));
        return;
    }
    CSiteProfile typed = entered;
    typed.name = profileName->text().toStdString();
    typed.host = host->text().toStdString();
    typed.userId = userId->text().toStdString();
    typed.password = password->text().toStdString();
    typed.remoteDirectory = remoteDirectory->text().toStdString();
    typed.savePassword = savePassword->isChecked() ? 1 : 0;
    typed.useFirewall = useFirewall->isChecked() ? 1 : 0;
    typed.prompt = prompt->isChecked() ? 1 : 0;
    typed.comment = comment->toPlainText().toStdString();
    typed.encryption = encryption->currentIndex();
    typed.protocol = ChosenProtocol(*protocol);
    typed.icon = currentSiteIcon.reference;
    if (!AcceptProfile(this, typed))
        return;
    entered = typed;
    accept();
}

void CSitePropertiesDialog::ChooseIcon()
{
    const std::optional<std::string> chosen = CIconSelectionDialog::ChooseIcon(this, currentSiteIcon.reference);
    if (!chosen)
        return;
    currentSiteIcon.reference = *chosen;
    currentSiteIcon.image = IconFromSpec(*chosen);
    iconButton->setIcon(currentSiteIcon.image);
}
