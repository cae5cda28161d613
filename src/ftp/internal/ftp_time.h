// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: times as FTP writes them, "YYYYMMDDHHMMSS" in UTC, maybe followed by ".sss":
// MLSD's modify fact, the reply to MDTM, the argument of MFMT and SITE UTIME.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

// Nothing for text in another form or a time no calendar has ("20261301120000").
std::optional<std::time_t> ParseFtpTime(std::string_view text);
std::string FtpTimeText(std::time_t time);
