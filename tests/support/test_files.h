// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files and the session log as tests look at them.

#include "remote/session_log.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

inline std::vector<std::string> TakeLog()
{
    std::vector<std::string> lines;
    DrainLogQueue([&lines](const std::string& line) { lines.push_back(line); });
    return lines;
}

inline bool LogHas(const std::vector<std::string>& log, const std::string& part)
{
    return std::any_of(log.begin(), log.end(),
                       [&part](const std::string& l) { return l.find(part) != std::string::npos; });
}

inline std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}
