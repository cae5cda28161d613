// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/options_sheet.h"

#include "app/display_options_page.h"
#include "app/firewall_options_page.h"
#include "app/program_options_page.h"
#include "app/transfer_options_page.h"
#include "settings/settings.h"
#include "ui/prompter.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include <utility>

namespace {

// The guide's sections for the pages, in tab order.
constexpr std::array<int, 4> kHelpContexts = {48, 50, 51, 49};

}  // namespace

COptionsSheet::COptionsSheet(CSettings& settings, QWidget* parent, std::function<void()> showDefaultView)
    : QDialog(parent)
    , settings(settings)
{
    setWindowTitle(QStringLiteral("Options"));

    auto* programOptions = new CProgramOptions(settings);
    transOptions = new CTransOptions(settings);
    auto* viewOption = new CViewOption(settings, std::move(showDefaultView));
    auto* fireWall = new CFireWall(settings);
    pages = {programOptions, transOptions, viewOption, fireWall};

    tabs = new QTabWidget(this);
    tabs->addTab(programOptions, QStringLiteral("Program Options"));
    tabs->addTab(transOptions, QStringLiteral("Transfer Options"));
    tabs->addTab(viewOption, QStringLiteral("Display Options"));
    tabs->addTab(fireWall, QStringLiteral("Firewall Options"));
    tabs->setCurrentIndex(activeIndex);
    connect(tabs, &QTabWidget::currentChanged, this, &COptionsSheet::ChangePage);

    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply | QDialogButtonBox::Help, this);
    applyButton = buttons->button(QDialogButtonBox::Apply);
    applyButton->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &COptionsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &COptionsSheet::reject);
    connect(applyButton, &QPushButton::clicked, this, &COptionsSheet::Apply);
    connect(buttons, &QDialogButtonBox::helpRequested, this, &COptionsSheet::ShowHelp);
    for (COptionsPage* page : pages)
        connect(page, &COptionsPage::edited, applyButton, [this] { applyButton->setEnabled(true); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);
}

void COptionsSheet::ChangePage(int index)
{
    // The tab has already switched: go back while the page being left is checked, so a message
    // about its field shows over that page.
    {
        const QSignalBlocker quiet(tabs);
        tabs->setCurrentIndex(activeIndex);
    }
    if (!pages[activeIndex]->CheckInput())
        return;
    {
        const QSignalBlocker quiet(tabs);
        tabs->setCurrentIndex(index);
    }
    activeIndex = index;
    shown[index] = true;
}

void COptionsSheet::Apply()
{
    if (!pages[activeIndex]->CheckInput())
        return;
    for (int index = 0; index < kPageCount; ++index) {
        if (shown[index])
            pages[index]->StoreOnApply();
    }
    applyButton->setEnabled(false);
    emit settingsStored();
}

void COptionsSheet::accept()
{
    if (!pages[activeIndex]->CheckInput())
        return;
    for (int index = 0; index < kPageCount; ++index) {
        if (shown[index])
            pages[index]->StoreOnOk();
    }
    settings.defaultDownloadDirectory = transOptions->DownloadDirectory();
    emit settingsStored();
    QDialog::accept();
}

void COptionsSheet::ShowHelp()
{
    Prompter().ShowHelp(this, kHelpContexts[activeIndex]);
}
