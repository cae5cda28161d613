// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The server system types a SYST reply can name. The session keeps one of these (0: none named);
// the listing parser picks its layout by it and the command line prints the number.

inline constexpr int kSystemChameleon = 6001;
inline constexpr int kSystemNcsa = 6006;
inline constexpr int kSystemUnix = 6010;
inline constexpr int kSystemVmsMultiNet = 6011;
inline constexpr int kSystemVms = 6012;
inline constexpr int kSystemQvt = 6013;
inline constexpr int kSystemWindowsNt = 6014;
inline constexpr int kSystemMacOs = 6017;
inline constexpr int kSystemClix = 6019;
inline constexpr int kSystemMvs = 6020;
