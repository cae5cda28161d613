// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The password the desktop program saved in the desktop's keyring, read through libsecret (the
// Secret Service). The command line looks it up where the profile file holds no password.

#include <optional>
#include <string>

// The password of the keyring's entry `entry` (see keyring_entry.h); nothing when there is no
// keyring to ask (no session bus, no Secret Service, a locked keyring) or no such entry, with
// `why` saying which.
std::optional<std::string> LookUpKeyring(const std::string& entry, std::string& why);
