// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/display_options_page.h"

#include "settings/settings.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QVBoxLayout>

#include <iterator>
#include <utility>

namespace {

// In the order of the view values 0 to 3.
constexpr const char* kViewChoices[] = {"Large icon", "Detail view", "Small icon", "List view"};

}  // namespace

CViewOption::CViewOption(CSettings& settings, std::function<void()> showDefaultView, QWidget* parent)
    : COptionsPage(parent)
    , settings(settings)
    , showDefaultView(std::move(showDefaultView))
    , view(settings.defaultView)
{
    auto* viewBox = new QGroupBox(QStringLiteral("Default view"), this);
    auto* views = new QButtonGroup(viewBox);
    auto* viewColumn = new QVBoxLayout(viewBox);
    for (int value = 0; value < static_cast<int>(std::size(kViewChoices)); ++value) {
        auto* button = new QRadioButton(QString::fromLatin1(kViewChoices[value]), viewBox);
        button->setChecked(value == view);
        views->addButton(button, value);
        viewColumn->addWidget(button);
    }
    connect(views, &QButtonGroup::idClicked, this, [this](int value) { view = value; });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        NewTipBox(ProgramIconId::Document,
                  QStringLiteral("Tessaline can display icons in a variety of sizes much like a file manager. This tab "
                                 "enables you to select the default view in which Tessaline will display files.")));
    layout->addWidget(viewBox);
    layout->addStretch();
    ReportEdits();
}

void CViewOption::StoreOnOk()
{
    settings.defaultView = view;
    showDefaultView();
}
