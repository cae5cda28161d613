// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/icon_selection_dialog.h"

#include "sites/site_icons.h"
#include "ui/prompter.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr QSize kIconSize(32, 32);

}  // namespace

CIconSelectionDialog::CIconSelectionDialog(const std::string& reference, QWidget* parent)
    : QDialog(parent)
    , fileName(QString::fromStdString(ParseIconReference(reference).file))
{
    setWindowTitle(QStringLiteral("Icon Selection"));

    iconList = new QListWidget(this);
    iconList->setObjectName(QStringLiteral("icons"));
    iconList->setViewMode(QListView::IconMode);
    // Columns filled downwards from the left edge, so a long set scrolls sideways.
    iconList->setFlow(QListView::TopToBottom);
    iconList->setWrapping(true);
    iconList->setMovement(QListView::Static);
    iconList->setResizeMode(QListView::Adjust);
    iconList->setIconSize(kIconSize);
    iconList->setUniformItemSizes(true);
    iconList->setSelectionMode(QAbstractItemView::SingleSelection);
    iconList->setMinimumSize(340, 200);

    fileNameEdit = new QLineEdit(fileName, this);
    fileNameEdit->setObjectName(QStringLiteral("fileName"));
    fileNameEdit->setReadOnly(true);
    auto* fileNameLabel = new QLabel(QStringLiteral("File name:"), this);
    fileNameLabel->setBuddy(fileNameEdit);
    auto* listLabel = new QLabel(QStringLiteral("Current Icon:"), this);
    listLabel->setBuddy(iconList);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("ok"));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    auto* browse = new QPushButton(QStringLiteral("Browse ..."), this);
    browse->setObjectName(QStringLiteral("browse"));

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addWidget(browse);
    buttons->addStretch();
    auto* layout = new QGridLayout(this);
    layout->addWidget(fileNameLabel, 0, 0);
    layout->addWidget(fileNameEdit, 0, 1);
    layout->addWidget(listLabel, 1, 0, 1, 2);
    layout->addWidget(iconList, 2, 0, 1, 2);
    layout->addLayout(buttons, 0, 2, 3, 1);

    connect(ok, &QPushButton::clicked, this, &CIconSelectionDialog::TakeSelection);
    connect(cancel, &QPushButton::clicked, this, &CIconSelectionDialog::reject);
    connect(browse, &QPushButton::clicked, this, &CIconSelectionDialog::Browse);

    EnumerateFileIcons(fileName);
}

std::optional<std::string> CIconSelectionDialog::ChooseIcon(QWidget* parent, const std::string& currentReference)
{
    CIconSelectionDialog dialog(currentReference, parent);
    Prompter().Exec(dialog);
    if (dialog.ChosenIconIndex() == -1)
        return std::nullopt;
    return FormatIconReference(dialog.FileName().toStdString(), dialog.ChosenIconIndex());
}

void CIconSelectionDialog::EnumerateFileIcons(const QString& file)
{
    const std::vector<QIcon> icons = IconsInFile(file);
    const qreal ratio = devicePixelRatioF();
    for (int index = 0; index < static_cast<int>(icons.size()); ++index) {
        // Every image is shown 32x32, whatever sizes the file holds.
        QPixmap image = icons[index].pixmap(kIconSize, ratio);
        if (image.isNull()) {
            Prompter().Inform(this, QStringLiteral("Error Adding Icon to ImageList"));
        } else if (image.deviceIndependentSize().toSize() != kIconSize) {
            image = image.scaled(kIconSize * ratio, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            image.setDevicePixelRatio(ratio);
        }
        auto* item = new QListWidgetItem(QIcon(image), QString::number(index));
        item->setData(Qt::UserRole, index);
        iconList->insertItem(index, item);
    }
    if (iconList->count() > 0)
        iconList->scrollToItem(iconList->item(0));
}

void CIconSelectionDialog::Browse()
{
    const QString chosen = Prompter().ChooseOpenFile(
        this, QStringLiteral("Select File Containing Icon(s):"),
        QStringLiteral("Icon Files (*.ico *.ICO *.exe *.EXE *.dll *.DLL *.png *.PNG *.svg *.SVG "
                       "*.xpm *.XPM *.bmp *.BMP)"),
        fileNameEdit->text());
    if (chosen.isEmpty())
        return;
    iconList->clear();
    EnumerateFileIcons(chosen);
    fileNameEdit->setText(chosen);
}

void CIconSelectionDialog::TakeSelection()
{
    const QList<QListWidgetItem*> selected = iconList->selectedItems();
    chosenIconIndex = selected.isEmpty() ? -1 : selected.front()->data(Qt::UserRole).toInt();
    fileName = fileNameEdit->text();
    accept();
}
