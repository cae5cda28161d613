// SPDX-License-Identifier: GPL-3.0-or-later
#include "copies/local_directories.h"

#include <algorithm>
#include <dirent.h>
#include <sys/stat.h>

bool LocalEntries(const std::string& directory, std::vector<std::string>& names)
{
    DIR* listing = ::opendir(directory.c_str());
    if (!listing)
        return false;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(listing);
    std::sort(names.begin(), names.end());
    return true;
}

bool IsPlainDirectory(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
