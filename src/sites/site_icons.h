// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The icons that icon references name (the program's own images are in ui/program_icons.h).
//
// An icon reference is a file name, a blank, a comma and a zero-based index ("Tessaline.exe ,33";
// "Tessaline.exe, 33" means the same), or a text beginning with a digit: the number of a program
// icon. A file named "Tessaline.exe" in any directory and any letter case is the program's own set
// of site icons; an .ico file holds its images in file order; any other image file holds one icon.

#include "ui/program_icons.h"

#include <QIcon>
#include <QString>

#include <string>
#include <vector>

// The icon a site shows: the one its profile's reference names, else the site fallback icon.
QIcon SiteIcon(const std::string& reference);

struct IconReference {
    std::string file;
    int index = 0;
};

// The file is the text before the first comma without trailing blanks (the whole text when there
// is no comma); the index is the number after the comma, read like atoi (0 without digits).
IconReference ParseIconReference(const std::string& reference);

// "file ,index", the form written after an icon is chosen.
std::string FormatIconReference(const std::string& file, int index);

// The icon a reference names; null when the file part is empty or the file has no icon at that
// index.
QIcon IconFromSpec(const std::string& reference);

// The icons of a file from index 0 up to the first one missing; empty when it holds none.
std::vector<QIcon> IconsInFile(const QString& path);
