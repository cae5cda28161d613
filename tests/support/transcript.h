// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The commands a scripted server received, as a test states them: the port of each PORT and EPRT
// changes from run to run, so it reads "*" ("PORT 127,0,0,1,*", "EPRT |1|127.0.0.1|*|"). A PORT
// or EPRT line whose port is no number stays as it came.

#include <cstddef>
#include <string>
#include <vector>

class ScriptedFtpServer;

// The commands from the `from`th on.
std::vector<std::string> Transcript(const ScriptedFtpServer& server, std::size_t from = 0);
