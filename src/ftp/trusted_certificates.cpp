// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/trusted_certificates.h"

#include "ftp/replace_file.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace {

constexpr char kTrustFile[] = "trusted-certificates";

}  // namespace

std::optional<std::string> NormalisedFingerprint(const std::string& text)
{
    std::string_view rest = text;
    if (rest.size() >= 7 && std::equal(rest.begin(), rest.begin() + 7, "sha256:", [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == b;
        }))
        rest.remove_prefix(7);
    std::string digits;
    for (const char c : rest) {
        if (c == ':')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        digits += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    if (digits.size() != 64)
        return std::nullopt;
    std::string result = "SHA256:";
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        if (i != 0)
            result += ':';
        result += digits.substr(i, 2);
    }
    return result;
}

std::string ServerKey(const std::string& host, int port)
{
    const std::string name = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return name + ":" + std::to_string(port);
}

std::optional<std::string> TrustedFingerprint(const std::string& directory, const std::string& server)
{
    std::ifstream file(directory + kTrustFile);
    std::string line;
    std::optional<std::string> found;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string key;
        std::string fingerprint;
        if (words >> key >> fingerprint && key == server) {
            if (const auto normal = NormalisedFingerprint(fingerprint))
                found = normal;
        }
    }
    return found;
}

bool TrustCertificate(const std::string& directory, const std::string& server, const std::string& fingerprint,
                      std::string& failure)
{
    const auto trust = [&](const std::string& content) -> std::optional<std::string> {
        std::istringstream lines(content);
        std::string kept;
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            std::string key;
            if (words >> key && key == server)
                continue;
            if (!line.empty())
                kept += line + "\n";
        }
        return kept + server + " " + fingerprint + "\n";
    };
    return UpdateFile(directory + kTrustFile, trust, failure);
}
