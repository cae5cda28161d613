// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/progress_line.h"

#include <array>
#include <cstdio>
#include <mutex>

namespace {

constexpr double kUnitStep = 1024.0;
constexpr std::array<const char*, 5> kUnits = {"B", "KiB", "MiB", "GiB", "TiB"};
constexpr long long kMillisecondsPerSecond = 1000;
constexpr long long kSecondsPerMinute = 60;
constexpr char kEraseToEnd[] = "\x1b[K";

std::mutex writing;
bool progressShown = false;  // under `writing`

std::string Bytes(double count)
{
    std::size_t unit = 0;
    while (count >= kUnitStep && unit + 1 < kUnits.size()) {
        count /= kUnitStep;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", count, kUnits[unit]);
    return text;
}

void ClearProgress()
{
    if (progressShown)
        std::fprintf(stderr, "\r%s", kEraseToEnd);
    progressShown = false;
}

}  // namespace

std::string ProgressText(long long done, long long total, std::chrono::milliseconds elapsed, long long resumedFrom)
{
    std::string text = Bytes(static_cast<double>(done));
    if (total > 0) {
        char percent[16];
        std::snprintf(percent, sizeof percent, "  %lld%%", done >= total ? 100 : done * 100 / total);
        text += " of " + Bytes(static_cast<double>(total)) + percent;
    }
    if (elapsed.count() <= 0)
        return text;
    const double rate =
        static_cast<double>(done - resumedFrom) * kMillisecondsPerSecond / static_cast<double>(elapsed.count());
    text += "  " + Bytes(rate) + "/s";
    if (total > done && rate > 0) {
        const auto left = static_cast<long long>(static_cast<double>(total - done) / rate);
        char time[32];
        std::snprintf(time, sizeof time, "  %lld:%02lld left", left / kSecondsPerMinute, left % kSecondsPerMinute);
        text += time;
    }
    return text;
}

void PrintErrorLine(const std::string& line)
{
    std::lock_guard guard(writing);
    ClearProgress();
    std::fprintf(stderr, "%s\n", line.c_str());
}

void ShowProgress(const std::string& text)
{
    std::lock_guard guard(writing);
    std::fprintf(stderr, "\r%s%s", text.c_str(), kEraseToEnd);
    std::fflush(stderr);
    progressShown = true;
}

void EndProgress()
{
    std::lock_guard guard(writing);
    if (progressShown)
        std::fputc('\n', stderr);
    progressShown = false;
}
