// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/options_page.h"

#include "ui/program_icons.h"
#include "ui/prompter.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QString>

namespace {

constexpr int kTipPictureSize = 32;

}  // namespace

COptionsPage::COptionsPage(QWidget* parent) : QWidget(parent) {}

QGroupBox* COptionsPage::NewTipBox(ProgramIconId programIcon, const QString& text)
{
    auto* box = new QGroupBox(QStringLiteral("Tip"), this);
    auto* picture = new QLabel(box);
    picture->setPixmap(ProgramIcon(programIcon).pixmap(kTipPictureSize, kTipPictureSize));
    picture->setAlignment(Qt::AlignTop);
    auto* tip = new QLabel(text, box);
    tip->setWordWrap(true);
    auto* layout = new QHBoxLayout(box);
    layout->addWidget(picture);
    layout->addWidget(tip, 1);
    return box;
}

bool COptionsPage::CheckInteger(QLineEdit& field, int lowest, int highest)
{
    bool isInteger = false;
    const int value = field.text().trimmed().toInt(&isInteger);
    if (isInteger && value >= lowest && value <= highest)
        return true;
    Prompter().Inform(this,
                      isInteger ? QStringLiteral("Please enter an integer between %1 and %2.").arg(lowest).arg(highest)
                                : QStringLiteral("Please enter an integer."));
    field.setFocus();
    field.selectAll();
    return false;
}

int COptionsPage::Integer(const QLineEdit& field)
{
    return field.text().trimmed().toInt();
}

void COptionsPage::ReportEdits()
{
    for (QLineEdit* field : findChildren<QLineEdit*>())
        connect(field, &QLineEdit::textChanged, this, &COptionsPage::edited);
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        if (button->isCheckable())
            connect(button, &QAbstractButton::clicked, this, &COptionsPage::edited);
    }
}
