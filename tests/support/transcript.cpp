// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/transcript.h"

#include "support/scripted_ftp_server.h"

#include <algorithm>
#include <string_view>

namespace {

bool AllDigits(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "h1,h2,h3,h4,p1,p2": the port bytes replaced.
std::string WithoutPortBytes(const std::string& line, std::size_t argumentAt)
{
    std::size_t comma = argumentAt;
    for (int i = 0; i < 4 && comma != std::string::npos; ++i)
        comma = line.find(',', comma + 1);
    if (comma == std::string::npos)
        return line;
    const std::string_view port = std::string_view(line).substr(comma + 1);
    const std::size_t split = port.find(',');
    if (split == std::string_view::npos || !AllDigits(port.substr(0, split)) || !AllDigits(port.substr(split + 1)))
        return line;
    return line.substr(0, comma + 1) + '*';
}

// "|family|address|port|", with any delimiter: the port replaced.
std::string WithoutEprtPort(const std::string& line, std::size_t argumentAt)
{
    if (line.size() < argumentAt + 2)
        return line;
    const char delimiter = line[argumentAt];
    const std::size_t last = line.size() - 1;
    const std::size_t portAt = line.rfind(delimiter, last - 1);
    if (line[last] != delimiter || portAt <= argumentAt
        || !AllDigits(std::string_view(line).substr(portAt + 1, last - portAt - 1)))
        return line;
    return line.substr(0, portAt + 1) + '*' + delimiter;
}

std::string Normalised(const std::string& line)
{
    if (line.starts_with("PORT "))
        return WithoutPortBytes(line, 5);
    if (line.starts_with("EPRT "))
        return WithoutEprtPort(line, 5);
    return line;
}

}  // namespace

std::vector<std::string> Transcript(const ScriptedFtpServer& server, std::size_t from)
{
    const std::vector<std::string> commands = server.Commands();
    std::vector<std::string> transcript;
    for (std::size_t i = from; i < commands.size(); ++i)
        transcript.push_back(Normalised(commands[i]));
    return transcript;
}
