// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A directory of the test's own under the system's temporary directory, removed with everything in
// it when the object goes.

#include <cstdlib>
#include <filesystem>
#include <string>

class TempDir final {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessaline-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path = pattern;
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string path;
};
