// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own images, drawn for Tessaline and kept in its resources under ":/icons/": the
// program icons, its set of site icons and the site tree's images.

#include <QIcon>

#include <vector>

// The program icons, under the numbers that icon references use for them.
enum class ProgramIconId : int {
    SiteFallback = 131,  // the site icon shown when a site's own cannot be loaded
    Folder = 132,
    Document = 133,
    DesktopComputer = 151,  // icon 33 of the program's set, the default site icon
    Group = 153,
};
QIcon ProgramIcon(ProgramIconId id);
// By number, as a reference names it: one of the icons above, or, for a number below the size of
// the program's set, that icon of the set. Any other number gives a null icon.
QIcon ProgramIcon(int number);

// The program's set of site icons, what a reference to "Tessaline.exe" names, in index order.
const std::vector<QIcon>& ProgramIconSet();
// Icon `index` of that set; null outside it.
QIcon ProgramSetIcon(int index);

// The site tree's images: 0 closed folder, 1 open folder, 2 site (computer), 3 group; else null.
QIcon TreeImage(int index);
