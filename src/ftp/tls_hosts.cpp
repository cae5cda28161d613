// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/tls_hosts.h"

#include "ftp/replace_file.h"

#include <fstream>
#include <istream>
#include <optional>
#include <sstream>

namespace {

constexpr char kTlsHostsFile[] = "tls-hosts";

bool Listed(std::istream& lines, const std::string& server)
{
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string key;
        if (words >> key && key == server)
            return true;
    }
    return false;
}

}  // namespace

bool SpokeTls(const std::string& directory, const std::string& server)
{
    std::ifstream file(directory + kTlsHostsFile);
    return Listed(file, server);
}

bool RememberTlsServer(const std::string& directory, const std::string& server, std::string& failure)
{
    const auto remember = [&server](const std::string& content) -> std::optional<std::string> {
        std::istringstream lines(content);
        if (Listed(lines, server))
            return std::nullopt;
        const bool lineOpen = !content.empty() && !content.ends_with('\n');
        return content + (lineOpen ? "\n" : "") + server + "\n";
    };
    return UpdateFile(directory + kTlsHostsFile, remember, failure);
}
