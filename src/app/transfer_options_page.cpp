// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/transfer_options_page.h"

#include "settings/settings.h"
#include "ui/prompter.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <span>

namespace {

struct ModeChoice {
    const char* text;
    int mode;
};
constexpr ModeChoice kModeChoices[] = {{"Auto-detect", 'F'}, {"Binary", 'I'}, {"ASCII", 'A'}};
constexpr ModeChoice kDataConnectionChoices[] = {
    {"Active", kActiveMode}, {"Passive", kPassiveMode}, {"Automatic (passive behind a router)", kAutomaticMode}};

// A group of radio buttons, one per choice, the one of `value` checked; a click sets `value`.
QGroupBox* NewChoiceBox(const QString& title, std::span<const ModeChoice> choices, int& value, QWidget* parent)
{
    auto* box = new QGroupBox(title, parent);
    auto* buttons = new QButtonGroup(box);
    auto* column = new QVBoxLayout(box);
    for (const ModeChoice& choice : choices) {
        auto* button = new QRadioButton(QString::fromLatin1(choice.text), box);
        button->setChecked(choice.mode == value);
        buttons->addButton(button, choice.mode);
        column->addWidget(button);
    }
    QObject::connect(buttons, &QButtonGroup::idClicked, box, [&value](int chosen) { value = chosen; });
    return box;
}

QSpinBox* NewCountBox(int value, int fewest, int most, QWidget* parent)
{
    auto* box = new QSpinBox(parent);
    box->setRange(fewest, most);
    box->setValue(value);
    return box;
}

}  // namespace

CTransOptions::CTransOptions(CSettings& settings, QWidget* parent)
    : COptionsPage(parent)
    , settings(settings)
    , mode(settings.transferMode)
    , passiveMode(settings.engine.passiveMode)
{
    auto* directoryBox = new QGroupBox(QStringLiteral("Default download directory"), this);
    directory = new QLineEdit(QString::fromStdString(settings.defaultDownloadDirectory), directoryBox);
    // The group's title is the field's only label.
    directory->setAccessibleName(directoryBox->title());
    auto* browse = new QPushButton(QStringLiteral("Browse..."), directoryBox);
    connect(browse, &QPushButton::clicked, this, &CTransOptions::Browse);
    auto* directoryRow = new QHBoxLayout(directoryBox);
    directoryRow->addWidget(directory, 1);
    directoryRow->addWidget(browse);

    QGroupBox* modeBox = NewChoiceBox(QStringLiteral("Default mode"), kModeChoices, mode, this);

    auto* doubleClickBox = new QGroupBox(QStringLiteral("Double click-options"), this);
    saveOnDoubleClick = new QCheckBox(QStringLiteral("Save file on double-click"), doubleClickBox);
    saveOnDoubleClick->setChecked(settings.saveOnDoubleClick != 0);
    viewOnDoubleClick = new QCheckBox(QStringLiteral("View file on double-click"), doubleClickBox);
    viewOnDoubleClick->setChecked(settings.viewOnDoubleClick != 0);
    auto* doubleClickColumn = new QVBoxLayout(doubleClickBox);
    doubleClickColumn->addWidget(saveOnDoubleClick);
    doubleClickColumn->addWidget(viewOnDoubleClick);

    auto* choices = new QHBoxLayout;
    choices->addWidget(modeBox);
    choices->addWidget(doubleClickBox);
    // Active mode has the server connect to this computer, which a router in between prevents.
    QGroupBox* dataConnectionBox =
        NewChoiceBox(QStringLiteral("Data connection"), kDataConnectionChoices, passiveMode, this);

    auto* copiesBox = new QGroupBox(QStringLiteral("Connections and retries"), this);
    connections = NewCountBox(settings.connections, 1, kMostConnections, copiesBox);
    retries = NewCountBox(settings.retries, 0, kMostRetries, copiesBox);
    auto* copiesForm = new QFormLayout(copiesBox);
    copiesForm->addRow(QStringLiteral("&Connections:"), connections);
    copiesForm->addRow(QStringLiteral("&Retries:"), retries);

    auto* listingBox = new QGroupBox(QStringLiteral("Listings and times"), this);
    useMlsd = new QCheckBox(QStringLiteral("Use MLSD when offered"), listingBox);
    useMlsd->setChecked(settings.engine.useMlsd);
    keepTimes = new QCheckBox(QStringLiteral("Keep modification times"), listingBox);
    keepTimes->setChecked(settings.engine.keepTimes);
    auto* listingColumn = new QVBoxLayout(listingBox);
    listingColumn->addWidget(useMlsd);
    listingColumn->addWidget(keepTimes);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(NewTipBox(
        ProgramIconId::Folder,
        QStringLiteral("Tessaline allows you to transfer files between your computer and virtually any other FTP "
                       "site which supports the industry standard File Transfer Protocol. This tab enable you to "
                       "select general program options for transferring and saving files.")));
    layout->addWidget(directoryBox);
    layout->addLayout(choices);
    layout->addWidget(dataConnectionBox);
    layout->addWidget(copiesBox);
    layout->addWidget(listingBox);
    layout->addStretch();
    ReportEdits();
}

void CTransOptions::StoreOnOk()
{
    settings.saveOnDoubleClick = saveOnDoubleClick->isChecked() ? 1 : 0;
    settings.viewOnDoubleClick = viewOnDoubleClick->isChecked() ? 1 : 0;
    settings.defaultDownloadDirectory = DownloadDirectory();
    settings.transferMode = mode;
    settings.engine.transferMode = mode;
    settings.engine.passiveMode = passiveMode;
    settings.connections = connections->value();
    settings.retries = retries->value();
    settings.engine.useMlsd = useMlsd->isChecked();
    settings.engine.keepTimes = keepTimes->isChecked();
}

std::string CTransOptions::DownloadDirectory() const
{
    // Downloads append the file name to this text, so it must end in "/". An emptied field keeps
    // the directory in use: "/" alone would send downloads to the file-system root.
    std::string typed = directory->text().toStdString();
    if (typed.empty())
        return settings.defaultDownloadDirectory;
    if (typed.back() != '/')
        typed += '/';
    return typed;
}

void CTransOptions::Browse()
{
    std::string path = directory->text().toStdString();
    if (Prompter().ChooseFolder(window(), path))
        directory->setText(QString::fromStdString(path));
}
