// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/format_text.h"

std::string FormatText(std::string_view format, std::initializer_list<FormatArg> args)
{
    std::string out;
    out.reserve(format.size() + 32);
    auto next = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += format[i];
            continue;
        }
        ++i;
        if (format[i] == '%') {
            out += '%';
            continue;
        }
        while (i < format.size() && format[i] == 'l')
            ++i;
        if (i == format.size())
            break;
        const char conversion = format[i];
        if (next == args.end())
            continue;
        const FormatArg& arg = *next++;
        if (arg.isText)
            out += arg.text;
        else if (conversion == 'c')
            out += static_cast<char>(arg.number);
        else
            out += std::to_string(arg.number);
    }
    return out;
}
