// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/confirm_delete_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

CConfirmDeleteDialog::CConfirmDeleteDialog(const QString& message, QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Delete"));

    auto* picture = new QLabel(this);
    picture->setPixmap(QIcon(QStringLiteral(":/icons/delete.svg")).pixmap(32, 32));
    auto* text = new QLabel(message, this);
    text->setWordWrap(true);
    text->setMinimumWidth(200);
    auto* yes = new QPushButton(QStringLiteral("Yes"), this);
    yes->setDefault(true);
    auto* no = new QPushButton(QStringLiteral("No"), this);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(yes);
    buttons->addWidget(no);
    buttons->addStretch();
    auto* layout = new QGridLayout(this);
    layout->addWidget(picture, 0, 0, Qt::AlignTop);
    layout->addWidget(text, 0, 1);
    layout->addLayout(buttons, 1, 0, 1, 2);

    connect(yes, &QPushButton::clicked, this, &CConfirmDeleteDialog::accept);
    connect(no, &QPushButton::clicked, this, &CConfirmDeleteDialog::reject);
}

QString DeleteQuestion(const std::vector<std::string>& names)
{
    if (names.size() == 1)
        return QStringLiteral("Are you sure you want to delete %1? It will be gone forever.")
            .arg(QString::fromStdString(names.front()));
    return QStringLiteral("Are you sure you want to delete these %1 items? They will be gone forever.")
        .arg(names.size());
}
