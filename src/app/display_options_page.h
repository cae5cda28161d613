// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CViewOption ("Display Options"): the "Default View" the main view opens with. OK and Apply also
// put the open list in that style, so the pressed toolbar button and the list agree.

#include "app/options_page.h"

#include <functional>

class CSettings;

class CViewOption final : public COptionsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CViewOption)

public:
    // `showDefaultView` shows the main view in the stored "Default View" style.
    CViewOption(CSettings& settings, std::function<void()> showDefaultView, QWidget* parent = nullptr);

    void StoreOnOk() override;

private:
    CSettings& settings;
    const std::function<void()> showDefaultView;
    int view;  // 0 to 3; any other stored value is kept as it is
};
