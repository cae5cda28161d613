// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/site_icons.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPixmap>

#include <algorithm>
#include <climits>
#include <string_view>

namespace {

constexpr char kProgramFileName[] = "Tessaline.exe";
constexpr QSize kReadSize(32, 32);

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Leading blanks, a sign and decimal digits, as atoi reads them; large values stop at INT_MAX.
int ReadNumber(std::string_view text)
{
    size_t at = 0;
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '-' || text[at] == '+'))
        ++at;
    long long value = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at)
        value = std::min<long long>(value * 10 + (text[at] - '0'), INT_MAX);
    return static_cast<int>(negative ? -value : value);
}

// References written on other systems may separate directories with "\".
bool NamesProgramFile(const QString& path)
{
    const qsizetype nameStart = std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1;
    return QStringView(path).mid(nameStart).compare(QLatin1String(kProgramFileName), Qt::CaseInsensitive) == 0;
}

QIcon IconFromImage(const QImage& image)
{
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

// Reading the image proves that the file is whole; an SVG then stays an SVG so it scales cleanly.
QIcon SingleImageIcon(QImageReader& reader, const QString& path)
{
    const bool scalable = reader.format().startsWith("svg");
    if (scalable)
        reader.setScaledSize(kReadSize);
    const QImage image = reader.read();
    if (image.isNull())
        return {};
    return scalable ? QIcon(path) : IconFromImage(image);
}

// Only regular files are read: opening a pipe or a device named in a profile could block the window.
bool IsRegularFile(const QString& path)
{
    return QFileInfo(path).isFile();
}

QIcon IconInFile(const QString& path, int index)
{
    if (NamesProgramFile(path))
        return ProgramSetIcon(index);
    if (index < 0 || !IsRegularFile(path))
        return {};
    QImageReader reader(path);
    if (reader.format() == "ico")
        return reader.jumpToImage(index) ? IconFromImage(reader.read()) : QIcon();
    return index == 0 ? SingleImageIcon(reader, path) : QIcon();
}

}  // namespace

QIcon SiteIcon(const std::string& reference)
{
    const QIcon icon = IconFromSpec(reference);
    return icon.isNull() ? ProgramIcon(ProgramIconId::SiteFallback) : icon;
}

IconReference ParseIconReference(const std::string& reference)
{
    const size_t comma = reference.find(',');
    IconReference parsed;
    parsed.file = reference.substr(0, comma);
    while (!parsed.file.empty() && IsBlank(parsed.file.back()))
        parsed.file.pop_back();
    if (comma != std::string::npos)
        parsed.index = ReadNumber(std::string_view(reference).substr(comma + 1));
    return parsed;
}

std::string FormatIconReference(const std::string& file, int index)
{
    return file + " ," + std::to_string(index);
}

QIcon IconFromSpec(const std::string& reference)
{
    if (!reference.empty() && IsDigit(reference.front()))
        return ProgramIcon(ReadNumber(reference));
    const IconReference parsed = ParseIconReference(reference);
    if (parsed.file.empty())
        return {};
    return IconInFile(QString::fromStdString(parsed.file), parsed.index);
}

std::vector<QIcon> IconsInFile(const QString& path)
{
    if (NamesProgramFile(path))
        return ProgramIconSet();
    if (!IsRegularFile(path))
        return {};
    QImageReader reader(path);
    if (reader.format() != "ico") {
        QIcon icon = SingleImageIcon(reader, path);
        return icon.isNull() ? std::vector<QIcon>{} : std::vector<QIcon>{icon};
    }
    // Reading does not move on to the next image of an .ico by itself, hence the jump. The directory
    // may promise more images than the file holds: the icons end at the first one missing.
    std::vector<QIcon> icons;
    for (int index = 0; reader.jumpToImage(index); ++index) {
        QIcon icon = IconFromImage(reader.read());
        if (icon.isNull())
            break;
        icons.push_back(std::move(icon));
    }
    return icons;
}
