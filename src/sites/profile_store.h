#pragma once
// The profile file: every group and site of the site tree between runs. The tree is read once when
// it is first shown and written back once at a normal program end; the store works through the
// four tree operations below, so the desktop tree and the command line's ProfileList share it.
//
// Files, all in the program's data directory: "Tessaline.site" (read and written), "Tessa.INI"
// (the file of earlier versions, read in preference and then renamed to "TessaBak.INI").

#include "sites/site_profile.h"

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

// `directory` ends in "/" (DataDirectory()). With `renameEarlierFile` false (the command line) the
// files are only read, never renamed or written. False when no file could be read.
bool LoadSiteProfiles(ProfileTree& tree, const std::string& directory, bool renameEarlierFile);
// Reads the sections of an open profile file into `tree` (what LoadSiteProfiles does once it has
// chosen the file).
void ReadProfileSections(std::FILE* file, ProfileTree& tree);
// Hands one profile read from the file to the tree. False: placeholder section, or the group could
// not be made.
bool AddSiteToGroup(ProfileTree& tree, CSiteProfile profile);
// Replaces "Tessaline.site" as a whole, mode 0600; on any failure the previous file stays and the
// result is false.
bool SaveSiteProfiles(const ProfileTree& tree, const std::string& directory);
void WriteProfileSection(std::ostream& out, const CSiteProfile& profile);

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
