// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The progress line of a transfer on the user's terminal, and the one writer of standard error
// while it may be shown: a log line clears it first, so the two never mix on one line.

#include <chrono>
#include <string>

// "12.5 MiB of 100.0 MiB  12%  25.0 MiB/s  0:03 left"; without a known total only the bytes
// and the rate, and no rate before any time has passed. The rate leaves out `resumedFrom`, the
// bytes of `done` an earlier try moved.
std::string ProgressText(long long done, long long total, std::chrono::milliseconds elapsed, long long resumedFrom = 0);

// A whole line on standard error (the log, a reason).
void PrintErrorLine(const std::string& line);
// Shows `text` as the progress line, in place of the one shown before.
void ShowProgress(const std::string& text);
// Ends a progress line that is shown, so what follows starts on a line of its own.
void EndProgress();
