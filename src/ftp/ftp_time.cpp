// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/ftp_time.h"

#include "ftp/internal/protocol_rules.h"

#include <algorithm>

namespace {

constexpr std::size_t kTimeDigits = 14;  // "YYYYMMDDHHMMSS"

int Number(std::string_view digits)
{
    int value = 0;
    for (const char digit : digits)
        value = value * 10 + (digit - '0');
    return value;
}

}  // namespace

std::optional<std::time_t> ParseFtpTime(std::string_view text)
{
    const std::string_view whole = text.substr(0, kTimeDigits);
    const std::string_view fraction = text.substr(std::min(text.size(), kTimeDigits));
    if (whole.size() != kTimeDigits || !AllDigits(whole)
        || !(fraction.empty() || (fraction[0] == '.' && AllDigits(fraction.substr(1)))))
        return std::nullopt;
    std::tm fields{};
    fields.tm_year = Number(whole.substr(0, 4)) - 1900;
    fields.tm_mon = Number(whole.substr(4, 2)) - 1;
    fields.tm_mday = Number(whole.substr(6, 2));
    fields.tm_hour = Number(whole.substr(8, 2));
    fields.tm_min = Number(whole.substr(10, 2));
    fields.tm_sec = Number(whole.substr(12, 2));
    const std::tm asked = fields;
    const std::time_t time = ::timegm(&fields);
    // timegm carries a 13th month or a 32nd day over; such a time is not the one the server meant.
    if (time == -1 || fields.tm_mon != asked.tm_mon || fields.tm_mday != asked.tm_mday
        || fields.tm_hour != asked.tm_hour || fields.tm_min != asked.tm_min)
        return std::nullopt;
    return time;
}

std::string FtpTimeText(std::time_t time)
{
    std::tm fields{};
    char text[32];
    if (!::gmtime_r(&time, &fields))
        return {};
    return std::string(text, std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &fields));
}
