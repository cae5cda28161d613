// SPDX-License-Identifier: GPL-3.0-or-later
#include "browse/getting_directory_dialog.h"

#include "ui/program_icons.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

namespace {

constexpr int kIconSize = 32;

}  // namespace

CGettingDirectoryDialog::CGettingDirectoryDialog(OperationRunner& runner, const QString& text, QWidget* parent)
    : CWaitingDialog(runner, parent)
{
    setWindowTitle(QStringLiteral("Getting Directory"));

    auto* icon = new QLabel;
    icon->setPixmap(ProgramIcon(ProgramIconId::Folder).pixmap(kIconSize, kIconSize));
    auto* line = new QHBoxLayout;
    line->addWidget(icon);
    line->addWidget(new QLabel(text), 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(line);
    layout->addWidget(buttons);
    setMinimumWidth(300);
}
