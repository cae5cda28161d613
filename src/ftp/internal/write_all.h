// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

// Writes every byte to the file descriptor, carrying on after interruptions; false on an error
// (errno tells which).
bool WriteAll(int fd, std::string_view data);
