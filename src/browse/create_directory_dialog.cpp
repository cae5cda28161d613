// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/create_directory_dialog.h"

#include "ui/prompter.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <QVBoxLayout>

namespace {

constexpr int kLongestName = 128;

}  // namespace

CCreateDirectoryDialog::CCreateDirectoryDialog(QWidget* parent) : QDialog(parent), nameEdit(new QLineEdit)
{
    setWindowTitle(QStringLiteral("Create Directory"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Directory name:"));
    label->setBuddy(nameEdit);
    layout->addWidget(label);
    layout->addWidget(nameEdit);
    layout->addWidget(buttons);
    setMinimumWidth(300);
}

QString CCreateDirectoryDialog::DirectoryName() const
{
    return nameEdit->text();
}

void CCreateDirectoryDialog::accept()
{
    if (nameEdit->text().size() > kLongestName) {
        Prompter().Inform(this, QStringLiteral("Please enter no more than %1 characters.").arg(kLongestName));
        nameEdit->setFocus();
        return;
    }
    QDialog::accept();
}
