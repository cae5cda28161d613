// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The fixtures in tests/data: listings as servers send them and profile files as earlier versions
// wrote them, byte for byte.

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

inline std::filesystem::path TestDataPath(const std::string& name)
{
    return std::filesystem::path(TESSALINE_TEST_DATA) / name;
}

// The bytes of tests/data/NAME. A fixture that cannot be read fails its test loudly rather than
// reading as an empty file.
inline std::string TestData(const std::string& name)
{
    std::ifstream in(TestDataPath(name), std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read the test fixture " + TestDataPath(name).string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}
