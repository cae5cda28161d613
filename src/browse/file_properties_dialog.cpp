// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/file_properties_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

QLineEdit* ReadOnlyField(const QString& text)
{
    auto* field = new QLineEdit(text);
    field->setReadOnly(true);
    return field;
}

}  // namespace

CFilePropertiesDialog::CFilePropertiesDialog(const QString& name, const QString& size, const QString& type,
                                             const QString& modified, const QString& location, QWidget* parent)
    : QDialog(parent)
    , startName(name)
    , nameEdit(new QLineEdit(name))
{
    setWindowTitle(QStringLiteral("File Properties"));

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("Name:"), nameEdit);
    fields->addRow(QStringLiteral("Size:"), ReadOnlyField(size));
    fields->addRow(QStringLiteral("Type:"), ReadOnlyField(type));
    fields->addRow(QStringLiteral("Modified:"), ReadOnlyField(modified));
    fields->addRow(QStringLiteral("Location:"), ReadOnlyField(location));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

QString CFilePropertiesDialog::EditedName() const
{
    return nameEdit->text();
}

bool CFilePropertiesDialog::NameChanged() const
{
    return nameEdit->text() != startName;
}
