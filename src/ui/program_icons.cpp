// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/program_icons.h"

#include <QFile>
#include <QHash>
#include <QString>

#include <iterator>

namespace {

constexpr int kDefaultSiteIcon = 33;

// One QIcon per image keeps the renderings it has made, so each image is drawn once per size.
QIcon CachedIcon(const QString& resource)
{
    static QHash<QString, QIcon> cache;
    auto found = cache.find(resource);
    if (found == cache.end())
        found = cache.insert(resource, QIcon(resource));
    return *found;
}

}  // namespace

QIcon ProgramIcon(ProgramIconId id)
{
    switch (id) {
    case ProgramIconId::SiteFallback: return CachedIcon(QStringLiteral(":/icons/program/site.svg"));
    case ProgramIconId::Folder: return CachedIcon(QStringLiteral(":/icons/program/folder.svg"));
    case ProgramIconId::Document: return CachedIcon(QStringLiteral(":/icons/program/document.svg"));
    case ProgramIconId::DesktopComputer: return ProgramSetIcon(kDefaultSiteIcon);
    case ProgramIconId::Group: return CachedIcon(QStringLiteral(":/icons/program/group.svg"));
    }
    return {};
}

QIcon ProgramIcon(int number)
{
    switch (static_cast<ProgramIconId>(number)) {
    case ProgramIconId::SiteFallback:
    case ProgramIconId::Folder:
    case ProgramIconId::Document:
    case ProgramIconId::DesktopComputer:
    case ProgramIconId::Group: return ProgramIcon(static_cast<ProgramIconId>(number));
    }
    return ProgramSetIcon(number);
}

// Read once, at first use: every site shown draws from this set.
const std::vector<QIcon>& ProgramIconSet()
{
    static const std::vector<QIcon> set = [] {
        std::vector<QIcon> icons;
        for (int index = 0;; ++index) {
            const QString resource = QStringLiteral(":/icons/sites/%1.svg").arg(index, 2, 10, QLatin1Char('0'));
            if (!QFile::exists(resource))
                return icons;
            icons.emplace_back(resource);
        }
    }();
    return set;
}

QIcon ProgramSetIcon(int index)
{
    const std::vector<QIcon>& set = ProgramIconSet();
    return index >= 0 && index < static_cast<int>(set.size()) ? set[index] : QIcon();
}

QIcon TreeImage(int index)
{
    static constexpr const char* images[] = {"closed_folder", "open_folder", "computer", "group"};
    if (index < 0 || index >= static_cast<int>(std::size(images)))
        return {};
    return CachedIcon(QStringLiteral(":/icons/tree/%1.svg").arg(QLatin1String(images[index])));
}
