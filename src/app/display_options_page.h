#pragma once
// CViewOption ("Display Options"): the "Default View" the main view opens with. OK and Apply also
// press the matching toolbar button; neither changes the style of the open list.

#include "app/options_page.h"

#include <functional>

class CSettings;

class CViewOption final : public COptionsPage {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CViewOption)

public:
    // `pressDefaultViewButton` presses the toolbar button that matches the stored "Default View".
    CViewOption(CSettings& settings, std::function<void()> pressDefaultViewButton, QWidget* parent = nullptr);

    void StoreOnOk() override;

private:
    CSettings& settings;
    const std::function<void()> pressDefaultViewButton;
    int view;  // 0 to 3; any other stored value is kept as it is
};
