// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/name_dialogs.h"

#include "sites/name_rules.h"
#include "ui/program_icons.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QVBoxLayout>

CNameDialog::CNameDialog(const QString& title, const QString& explanation, const QString& label, const QPixmap& picture,
                         const std::string& name, QWidget* parent)
    : QDialog(parent)
    , name(name)
{
    setWindowTitle(title);

    auto* layout = new QHBoxLayout(this);
    if (!picture.isNull()) {
        auto* image = new QLabel(this);
        image->setPixmap(picture);
        layout->addWidget(image, 0, Qt::AlignTop);
    }
    auto* column = new QVBoxLayout;
    layout->addLayout(column, 1);

    auto* text = new QLabel(explanation, this);
    text->setWordWrap(true);
    column->addWidget(text);
    edit = new QLineEdit(QString::fromStdString(name), this);
    LimitToProfileFile(*edit);
    // Typing replaces the starting text.
    edit->selectAll();
    auto* field = new QFormLayout;
    field->addRow(label, edit);
    column->addLayout(field);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    column->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &CNameDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CNameDialog::reject);
}

void CNameDialog::accept()
{
    name = edit->text().toStdString();
    QDialog::accept();
}

CNewGroupDialog::CNewGroupDialog(const std::string& name, QWidget* parent)
    : CNameDialog(QStringLiteral("New Group"),
                  QStringLiteral("Please enter the name of the new group below. Press cancel to exit "
                                 "without creating a new group."),
                  QStringLiteral("Group name:"), QPixmap(), name, parent)
{}

CRenameDialog::CRenameDialog(const std::string& name, QWidget* parent)
    : CNameDialog(QStringLiteral("Rename"),
                  QStringLiteral("Enter the new name for the selected item below. If you do not want "
                                 "to rename it, click Cancel."),
                  QStringLiteral("New name:"), ProgramIcon(ProgramIconId::Document).pixmap(32, 32), name, parent)
{}
