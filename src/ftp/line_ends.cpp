// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/line_ends.h"

void CrLfToLf::Convert(std::string_view bytes, std::string& out)
{
    for (const char c : bytes) {
        if (pendingCr) {
            pendingCr = false;
            if (c != '\n')
                out += '\r';
        }
        if (c == '\r')
            pendingCr = true;
        else
            out += c;
    }
}

void CrLfToLf::Finish(std::string& out)
{
    if (pendingCr)
        out += '\r';
    pendingCr = false;
}

void LfToCrLf(std::string_view bytes, std::string& out)
{
    for (const char c : bytes) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
}
