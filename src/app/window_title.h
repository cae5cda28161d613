// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window's title says where the user is: "SITE - DIRECTORY - Tessaline" while connected,
// "Tessaline" otherwise. SITE is the profile name of the site the site tree's current item
// belongs to, DIRECTORY the remote directory as the tree knows it: "/srv/pub" below a start
// directory given from the root, "~/pub" below the directory the login started in ("~" itself).

#include "sites/profiles/site_store.h"

#include <QString>

class RemoteSession;

QString WindowTitle(const SiteStore& sites, const RemoteSession& session);
