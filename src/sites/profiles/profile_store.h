// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The profile file: every group and site of the site store between runs. The desktop program reads
// it once when the site tree is first shown and writes it after each change to the sites; the
// command line only reads it.
//
// Files, all in the program's data directory: "Tessaline.site" (read and written), "Tessa.INI"
// (the file of earlier versions, read in preference and then renamed to "TessaBak.INI").

#include "sites/profiles/keyring_entry.h"
#include "sites/profiles/site_profile.h"
#include "sites/profiles/site_store.h"

#include <cstddef>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

// The longest line the reader takes whole (without its line break); the dialogs keep every line of
// a profile within it.
inline constexpr std::size_t kLongestProfileLine = 4096;

// `directory` ends in "/" (DataDirectory()). With `renameEarlierFile` false (the command line) the
// files are only read, never renamed or written. False when no file could be read; `unreadable`
// then tells whether a file is there that could not be read (its path and why), or is empty when
// there is none.
bool LoadSiteProfiles(SiteStore& store, const std::string& directory, bool renameEarlierFile,
                      std::string* unreadable = nullptr);
// Reads the sections of an open profile file into `store` (what LoadSiteProfiles does once it has
// chosen the file). False on a read error.
bool ReadProfileSections(std::FILE* file, SiteStore& store);
// Replaces "Tessaline.site" as a whole, mode 0600 (through a symbolic link there, the file it
// names); on any failure the previous file stays, the result is false and `failure` says why. A site
// whose password the keyring holds (its entry in `inKeyring` with that very password) is written
// with its "save password" flag and no password.
bool SaveSiteProfiles(const SiteStore& store, const std::string& directory, std::string* failure = nullptr,
                      const KeyringEntries& inKeyring = {});
// The section of one profile. A section whose texts hold a line break or a backslash is marked
// "ESCAPED=TRUE" and has them written as "\n" and "\\"; any other is written plainly.
void WriteProfileSection(std::ostream& out, CSiteProfile profile);
// The key of the first line of `profile`'s section that the reader could not take whole ("[" for
// the header, which holds the name); empty when every line fits.
std::string LineTooLongForFile(const CSiteProfile& profile);
