// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/program_options_page.h"

#include "settings/settings.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <limits>

namespace {

QLineEdit* NewNumberEdit(int value, QWidget* parent)
{
    return new QLineEdit(QString::number(value), parent);
}

}  // namespace

CProgramOptions::CProgramOptions(CSettings& settings, QWidget* parent) : COptionsPage(parent), settings(settings)
{
    email = new QLineEdit(QString::fromStdString(settings.email), this);
    port = NewNumberEdit(settings.port, this);
    timeOut = NewNumberEdit(settings.engine.retry, this);
    timeOut->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), timeOut));
    sendBytes = NewNumberEdit(settings.engine.sendBytes, this);
    receiveBytes = NewNumberEdit(settings.engine.receiveBytes, this);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("e-mail address:"), email);
    fields->addRow(QStringLiteral("Port:"), port);
    fields->addRow(QStringLiteral("Time out:"), timeOut);
    fields->addRow(QStringLiteral("Send bytes:"), sendBytes);
    fields->addRow(QStringLiteral("Receive bytes:"), receiveBytes);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NewTipBox(
        ProgramIconId::DesktopComputer,
        QStringLiteral("Tessaline enables you to send and receive files over the Internet quickly and easily. This "
                       "tab allows you to define the program options for uploading and downloading files. Send "
                       "bytes and Receive bytes are the bytes moved per step of a transfer: 65536 unless you "
                       "choose otherwise (earlier versions used 512 and 1024, which is slow on today's networks); "
                       "any count up to 1048576 is used as given, a larger one as 1048576.")));
    layout->addLayout(fields);
    layout->addStretch();
    ReportEdits();
}

bool CProgramOptions::CheckInput()
{
    // Counts of seconds and bytes: a negative number would be stored as nonsense, so it is
    // refused like any other value out of range. A time-out of more than a day is no time-out
    // anyone means.
    constexpr int kLargest = std::numeric_limits<int>::max();
    constexpr int kLongestTimeOut = 86400;
    for (QLineEdit* field : {port, timeOut, sendBytes, receiveBytes}) {
        if (!CheckInteger(*field, 0, field == timeOut ? kLongestTimeOut : kLargest))
            return false;
    }
    return true;
}

void CProgramOptions::StoreOnOk()
{
    settings.port = Integer(*port);
    settings.engine.sendBytes = Integer(*sendBytes);
    settings.engine.receiveBytes = Integer(*receiveBytes);
    settings.engine.retry = Integer(*timeOut);
    settings.email = email->text().toStdString();
}
