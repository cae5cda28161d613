// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/name_rules.h"

#include "ui/prompter.h"

#include <QLineEdit>
#include <QString>

#include <map>

namespace {

// The fields of the profile dialogs by the key of their line in the file.
QString FieldName(const std::string& key)
{
    static const std::map<std::string, QString> kFields = {
        {"[", QStringLiteral("profile name")},
        {"HOST", QStringLiteral("host name")},
        {"UID", QStringLiteral("user ID")},
        {"PASSWORD", QStringLiteral("password")},
        {"ICON", QStringLiteral("icon")},
        {"GROUP", QStringLiteral("group name")},
        {"REMOTEDIR", QStringLiteral("initial directory")},
        {"COMMENT", QStringLiteral("comment")},
    };
    const auto found = kFields.find(key);
    return found != kFields.end() ? found->second : QString::fromStdString(key);
}

bool Fits(QWidget* parent, const CSiteProfile& profile)
{
    const std::string key = LineTooLongForFile(profile);
    if (key.empty())
        return true;
    Prompter().Inform(parent,
                      QStringLiteral("The %1 is too long to be kept in the profile file; please make it shorter.")
                          .arg(FieldName(key)));
    return false;
}

}  // namespace

void LimitToProfileFile(QLineEdit& field)
{
    field.setMaxLength(kLongestTypedField);
}

bool AcceptGroupName(QWidget* parent, const std::string& name)
{
    if (name == kQuickConnectGroup) {
        Prompter().Inform(parent,
                          QStringLiteral("\"Quick Connect\" holds the sites opened with Quick Connect, which "
                                         "are not kept after the program closes; please choose another name."));
        return false;
    }
    CSiteProfile declaration;
    declaration.name = kGroupPlaceHolder;
    declaration.group = name;
    return Fits(parent, declaration);
}

bool AcceptSiteName(QWidget* parent, const std::string& name)
{
    CSiteProfile profile;
    profile.name = name;
    return AcceptProfile(parent, profile);
}

bool AcceptProfile(QWidget* parent, const CSiteProfile& profile)
{
    if (profile.name == kGroupPlaceHolder) {
        Prompter().Inform(parent,
                          QStringLiteral("\"Group Place Holder\" is the name the profile file keeps for empty "
                                         "groups; please choose another name."));
        return false;
    }
    return Fits(parent, profile);
}

bool RenameSiteOrGroup(QWidget* parent, SiteStore& sites, SiteNodeId id, const std::string& newName)
{
    const int kind = sites.KindOf(id);
    if (kind != kItemSite && kind != kItemGroup)
        return false;
    // The group's sites take a group's new name when the file is written.
    if (newName != sites.Node(id)->name
        && !(kind == kItemSite ? AcceptSiteName(parent, newName) : AcceptGroupName(parent, newName)))
        return false;
    sites.Rename(id, newName);
    return true;
}
