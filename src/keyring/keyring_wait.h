// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The wait before a connect whose saved password the keyring is still reading.

#include "sites/profiles/site_profile.h"

class QWidget;

// While the keyring reads `site`'s saved password, "Waiting for Keyring" with Cancel (never a
// frozen window: a keyring may first have to be opened); then the password the keyring gave goes
// into `site`. False when the user cancelled.
bool AwaitSavedPassword(QWidget* parent, CSiteProfile& site);
