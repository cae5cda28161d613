// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the profile file can keep as typed. Names it gives a meaning of its own ("Quick Connect"
// groups are never saved, "Group Place Holder" sections only declare a group) and texts longer
// than a line of the file would be lost at the next start, so they are refused where the user
// types them, with a message saying why.

#include "sites/profiles/profile_store.h"
#include "sites/profiles/site_profile.h"

#include <string>

class QLineEdit;
class QWidget;

// How many characters a one-line field of the profile dialogs takes.
inline constexpr int kLongestTypedField = static_cast<int>(kLongestProfileLine) - 10;

void LimitToProfileFile(QLineEdit& field);
// Each tells the user why and returns false when the file could not keep the name or profile.
bool AcceptGroupName(QWidget* parent, const std::string& name);
bool AcceptSiteName(QWidget* parent, const std::string& name);
bool AcceptProfile(QWidget* parent, const CSiteProfile& profile);
// Renames a group or site of `sites` when the file can keep the new name (the same name is always
// kept); false, after telling the user why, when it cannot.
bool RenameSiteOrGroup(QWidget* parent, SiteStore& sites, SiteNodeId id, const std::string& newName);
