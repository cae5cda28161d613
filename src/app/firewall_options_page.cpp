// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/firewall_options_page.h"

#include "settings/settings.h"
#include "sites/login_fields.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

constexpr int kLowestPort = 0;
constexpr int kHighestPort = 99999;

// The styles offered; kFirewallProxySite has no button of its own.
struct StyleChoice {
    const char* text;
    FirewallStyle style;
};
constexpr StyleChoice kStyleChoices[] = {
    {"USE&R remote_userid@remote_host", kFirewallUserAtHost},
    {"Logon proxy then &SITE remote_host", kFirewallSiteCommand},
    {"Logon proxy then &USER remote_userid@remote_host", kFirewallProxyUserAtHost},
    {"&OPEN remote_host", kFirewallOpenHost},
};

QString Text(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

CFireWall::CFireWall(CSettings& settings, QWidget* parent)
    : COptionsPage(parent)
    , settings(settings)
    , mode(settings.fireMode)
{
    enabled = new QCheckBox(QStringLiteral("&Enable firewall access"), this);
    enabled->setChecked(settings.fireWallOn != 0);
    proxyAddress = new QLineEdit(Text(settings.fireHost), this);
    port = new QLineEdit(QString::number(settings.firePort), this);
    userId = new QLineEdit(Text(settings.fireUserId), this);
    password = NewPasswordEdit(this);
    password->setText(Text(settings.firePassword));

    auto* fields = new QFormLayout;
    fields->addRow(enabled);
    fields->addRow(QStringLiteral("Proxy &address : "), proxyAddress);
    fields->addRow(QStringLiteral("&Port :"), port);
    fields->addRow(QStringLiteral("User &ID :"), userId);
    fields->addRow(QStringLiteral("Pass&word :"), password);

    auto* modeBox = new QGroupBox(QStringLiteral("Firewall type"), this);
    auto* modes = new QButtonGroup(modeBox);
    auto* modeColumn = new QVBoxLayout(modeBox);
    for (const StyleChoice& choice : kStyleChoices) {
        auto* button = new QRadioButton(QString::fromLatin1(choice.text), modeBox);
        button->setChecked(choice.style == mode);
        modes->addButton(button, choice.style);
        modeColumn->addWidget(button);
    }
    connect(modes, &QButtonGroup::idClicked, this, [this](int value) { mode = value; });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NewTipBox(
        ProgramIconId::Group,
        QStringLiteral("Tessaline allows you to connect to an outside FTP site through a FireWall. These options "
                       "allow you to enable FireWall Access and choose the FireWall type. See your System "
                       "Administrator for more details.")));
    layout->addLayout(fields);
    layout->addWidget(modeBox);
    layout->addStretch();
    ReportEdits();
}

bool CFireWall::CheckInput()
{
    return CheckInteger(*port, kLowestPort, kHighestPort);
}

void CFireWall::StoreOnOk()
{
    settings.fireWallOn = enabled->isChecked() ? 1 : 0;
    settings.fireMode = mode;
    settings.firePassword = password->text().toStdString();
    settings.firePort = Integer(*port);
    settings.fireHost = proxyAddress->text().toStdString();
    settings.fireUserId = userId->text().toStdString();
}
