// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The entries of the desktop's keyring that keep saved passwords. The desktop program writes them
// and the command line reads them: both name an entry through these functions only, so that they
// always meet on the same one.

#include "sites/profiles/site_profile.h"
#include "sites/profiles/site_store.h"

#include <map>
#include <string>

// The service every entry of the program is filed under.
inline constexpr char kKeyringService[] = "Tessaline";

// Entry name -> password.
using KeyringEntries = std::map<std::string, std::string>;

// "site GROUP/NAME USER@HOST", the host with ":PORT" only when the port is not the protocol's own,
// so that "host" and "host:21" name one entry.
std::string SiteKeyringEntry(const CSiteProfile& site);
// "firewall USER@HOST".
std::string FirewallKeyringEntry(const std::string& user, const std::string& host);
// "ssh key PATH": the passphrase of an SSH private key.
std::string SshKeyKeyringEntry(const std::string& keyFile);
// A site whose saved password belongs in the keyring: an anonymous login's is the user's e-mail
// address, no secret, and stays in the profile file.
bool SavesPasswordInKeyring(const CSiteProfile& site);
// The entry of every site whose password belongs in the keyring, as the profile file would save
// them (Quick Connect's sites are never saved).
KeyringEntries WantedKeyringEntries(const SiteStore& store);
