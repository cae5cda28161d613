// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The profile file: every group and site of the site tree between runs. The tree is read once when
// it is first shown and written back once at a normal program end; the store works through the
// four tree operations below, so the desktop tree and the command line's ProfileList share it.
//
// Files, all in the program's data directory: "Tessaline.site" (read and written), "Tessa.INI"
// (the file of earlier versions, read in preference and then renamed to "TessaBak.INI").

#include "sites/profiles/site_profile.h"

#include <cstddef>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

// The four operations of the site tree that the store works through.
class ProfileTree {
public:
    virtual ~ProfileTree() = default;
    virtual bool FindGroup(const std::string& name) const = 0;  // a root item has exactly this text
    virtual void AddGroup(const std::string& name) = 0;         // new root item, groups kept sorted
    // Under the first group with that text, in sorted position.
    virtual void InsertSite(const std::string& group, const CSiteProfile& profile) = 0;
    virtual void SortGroups() = 0;
    struct Group {
        std::string name;
        std::vector<CSiteProfile> sites;
        std::size_t childCount = 0;
    };
    // Root items in tree order; `sites` = the site children in tree order; childCount counts every child.
    virtual std::vector<Group> Groups() const = 0;
};

// The order of groups at the root and of sites in a group, shared by the tree, the lists and the
// store: case-insensitive (ASCII), ties broken byte-wise.
bool SiteNameLess(const std::string& a, const std::string& b);

// The longest line the reader takes whole (without its line break); the dialogs keep every line of
// a profile within it.
inline constexpr std::size_t kLongestProfileLine = 4096;

// `directory` ends in "/" (DataDirectory()). With `renameEarlierFile` false (the command line) the
// files are only read, never renamed or written. False when no file could be read; `unreadable`
// then tells whether a file is there that could not be read (its path and why), or is empty when
// there is none.
bool LoadSiteProfiles(ProfileTree& tree, const std::string& directory, bool renameEarlierFile,
                      std::string* unreadable = nullptr);
// Reads the sections of an open profile file into `tree` (what LoadSiteProfiles does once it has
// chosen the file). False on a read error.
bool ReadProfileSections(std::FILE* file, ProfileTree& tree);
// Hands one profile read from the file to the tree. False: placeholder section, or the group could
// not be made.
bool AddSiteToGroup(ProfileTree& tree, CSiteProfile profile);
// Replaces "Tessaline.site" as a whole, mode 0600 (through a symbolic link there, the file it
// names); on any failure the previous file stays, the result is false and `failure` says why.
bool SaveSiteProfiles(const ProfileTree& tree, const std::string& directory, std::string* failure = nullptr);
// The section of one profile. A section whose texts hold a line break or a backslash is marked
// "ESCAPED=TRUE" and has them written as "\n" and "\\"; any other is written plainly.
void WriteProfileSection(std::ostream& out, CSiteProfile profile);
// The key of the first line of `profile`'s section that the reader could not take whole ("[" for
// the header, which holds the name); empty when every line fits.
std::string LineTooLongForFile(const CSiteProfile& profile);

// A ProfileTree in memory (for the command line and tests), kept in the same order as the desktop tree.
class ProfileList final : public ProfileTree {
public:
    bool FindGroup(const std::string& name) const override;
    void AddGroup(const std::string& name) override;
    void InsertSite(const std::string& group, const CSiteProfile& profile) override;
    void SortGroups() override;
    std::vector<Group> Groups() const override;

    // The sites named exactly `name` in tree order, each with its group field set to its group's
    // name; only those of the group named exactly `group` unless that is empty.
    std::vector<CSiteProfile> FindSites(const std::string& name, const std::string& group) const;

private:
    std::vector<Group> groups;
};
