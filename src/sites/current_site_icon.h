// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The site icon that the "Properties" dialog shows and lets the user change: its reference text
// and the image loaded from it. The application keeps one for the whole run; callers set it from
// the profile before the dialog and copy the reference back afterwards.

#include <QIcon>

#include <string>

struct CurrentSiteIcon {
    std::string reference;
    QIcon image;
};
