// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// printf-style formatting for log lines and command lines. Texts from users and servers are only
// ever arguments, never the format, and they keep every byte (a NUL included), so the checks on a
// command line see exactly what would be sent.

#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>

class FormatArg final {
public:
    FormatArg(std::string_view text) : text(text), isText(true) {}
    FormatArg(const std::string& text) : text(text), isText(true) {}
    FormatArg(const char* text) : text(text ? text : ""), isText(true) {}
    FormatArg(char letter) : number(static_cast<unsigned char>(letter)) {}
    template <typename T>
    requires(std::is_integral_v<T> && !std::is_same_v<T, char> && !std::is_same_v<T, bool>) FormatArg(T value)
        : number(static_cast<long long>(value))
    {}

    std::string_view text;
    long long number = 0;
    bool isText = false;
};

// Understands %s, %c, %d, %u, %ld and %% (flags and widths are not used by the program). %c prints
// a number as its character, the other conversions print numbers in decimal and text as it is. A
// conversion without an argument prints nothing.
std::string FormatText(std::string_view format, std::initializer_list<FormatArg> args = {});
