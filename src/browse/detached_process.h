// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Starting a program that outlives this one, never through a shell, with arguments as exact
// bytes: a local path need not be UTF-8, and a QString would replace what is not.

#include <string>
#include <vector>

// Starts the program at the absolute path `program` with `arguments` (its own name first) in a
// session of its own; nothing waits for it. False, with errno set, when it could not be started.
bool StartDetached(const std::string& program, const std::vector<std::string>& arguments);
