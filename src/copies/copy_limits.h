// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How many connections a directory copy spreads its files over ("Connections", --parallel), and how
// many more times a file is tried after a failure that may pass ("Retries", --retries).

inline constexpr int kDefaultConnections = 4;
inline constexpr int kMostConnections = 10;
inline constexpr int kDefaultRetries = 3;
inline constexpr int kMostRetries = 10;
