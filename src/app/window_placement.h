// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the main window opens: the outer rectangle (frame included) stored at the last close, or
// on the first start about 60 % of the screen's available area, centred. A window manager puts its
// frame round the window only after the window is shown, so the inside is made smaller by the frame
// as soon as the frame is known: the next close then stores the same outer rectangle again.
// `placed` runs once that is done (or when no frame came in time).

#include <functional>

class CSettings;
class QWidget;

void PlaceAndShowMainWindow(QWidget& window, const CSettings& settings, std::function<void()> placed);
