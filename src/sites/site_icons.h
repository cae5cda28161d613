#pragma once
// The program's own images and the icons that icon references name.
//
// An icon reference is a file name, a blank, a comma and a zero-based index ("Tessaline.exe ,33";
// "Tessaline.exe, 33" means the same), or a text beginning with a digit: the number of a program
// icon. A file named "Tessaline.exe" in any directory and any letter case is the program's own set
// of site icons; an .ico file holds its images in file order; any other image file holds one icon.

#include <QIcon>
#include <QString>

#include <string>
#include <vector>

// The program's own icons, under the numbers that icon references use for them.
enum class ProgramIconId : int {
    SiteFallback = 131,     // the site icon shown when a site's own cannot be loaded
    Folder = 132,
    Document = 133,
    DesktopComputer = 151,  // icon 33 of the program's set, the default site icon
    Group = 153,
};
QIcon ProgramIcon(ProgramIconId id);
// By number, as a reference names it: one of the icons above, or, for a number below the size of
// the program's set, that icon of the set. Any other number gives a null icon.
QIcon ProgramIcon(int number);

// The icon a site shows: the one its profile's reference names, else program icon 131.
QIcon SiteIcon(const std::string& reference);

// The site tree's images: 0 closed folder, 1 open folder, 2 site (computer), 3 group; else null.
QIcon TreeImage(int index);

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
