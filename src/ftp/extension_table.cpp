// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/extension_table.h"

#include <algorithm>
#include <cctype>

char TransferTypeFromTable(std::istream& table, const std::string& fileName)
{
    std::string upper = fileName;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    std::string line;
    while (std::getline(table, line)) {
        if (!table.eof())
            line += '\n';
        if (!line.empty() && line.back() == '\n' && line.size() > 1 && line[line.size() - 2] == '\r')
            line.erase(line.size() - 2, 1);  // a CR LF file reads like an LF one
        line.pop_back();                     // the line end; on an unterminated last line, its last character
        // A rule needs an extension: "A" alone would make the pattern "." and match every name.
        if (line.size() < 3)
            continue;
        if (upper.find("." + line.substr(2)) != std::string::npos)
            return line[0] == 'A' ? 'A' : line[0] == 'L' ? 'L' : 'I';
    }
    return 'I';
}
