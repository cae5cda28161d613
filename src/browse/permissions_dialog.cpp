// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/permissions_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QString>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr std::array<const char*, 3> kClasses = {"Owner", "Group", "Other"};
constexpr std::array<const char*, 3> kRights = {"Read", "Write", "Execute"};
// The letter that grants each right; set-id and sticky letters (s, S, t, T) do not count as
// execute, so such a box opens clear.
constexpr std::array<QChar, 3> kLetters = {u'r', u'w', u'x'};
constexpr std::array<int, 3> kWeights = {4, 2, 1};

}  // namespace

CPermissionsDialog::CPermissionsDialog(const QString& permissions, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Set Permissions"));

    auto* classes = new QHBoxLayout;
    for (std::size_t group = 0; group < kClasses.size(); ++group) {
        auto* box = new QGroupBox(QString::fromLatin1(kClasses[group]));
        auto* column = new QVBoxLayout(box);
        for (std::size_t right = 0; right < kRights.size(); ++right) {
            const std::size_t index = group * 3 + right;
            auto* check = new QCheckBox(QString::fromLatin1(kRights[right]));
            check->setObjectName(QString::fromLatin1(kClasses[group]) + QString::fromLatin1(kRights[right]));
            // Position 0 is the entry type; the nine rights follow it.
            const qsizetype position = static_cast<qsizetype>(index) + 1;
            check->setChecked(position < permissions.size() && permissions[position] == kLetters[right]);
            column->addWidget(check);
            boxes[index] = check;
        }
        classes->addWidget(box);
    }

    auto* explanation = new QLabel(
        QStringLiteral("Check the boxes for the permissions you want each class of user to have. For example, if "
                       "you only want the person who created the file to be able to write or delete it, then make "
                       "sure the Group and Other Write boxes are not checked."));
    explanation->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(classes);
    layout->addWidget(explanation);
    layout->addWidget(buttons);
}

QString CPermissionsDialog::PermissionsText(const QString& listed) const
{
    static const QString kTypes = QStringLiteral("-dlbcps");
    static const QString kRightLetters = QStringLiteral("rwxsStT-");
    const bool modeText = listed.size() >= 10 && kTypes.contains(listed[0])
        && std::all_of(listed.begin() + 1, listed.begin() + 10, [](QChar c) { return kRightLetters.contains(c); });
    if (!modeText)
        return listed;
    QString shown = listed;
    for (std::size_t index = 0; index < boxes.size(); ++index)
        shown[static_cast<qsizetype>(index) + 1] = boxes[index]->isChecked() ? kLetters[index % 3] : u'-';
    return shown;
}

QString CPermissionsDialog::ModeText() const
{
    int mode = 0;
    for (std::size_t group = 0; group < kClasses.size(); ++group) {
        int digit = 0;
        for (std::size_t right = 0; right < kRights.size(); ++right) {
            if (boxes[group * 3 + right]->isChecked())
                digit += kWeights[right];
        }
        mode = mode * 10 + digit;
    }
    return QString::number(mode);
}
