// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/terminal_text.h"

#include <cstdio>

namespace {

constexpr unsigned char kDelete = 0x7f;
// U+0080-U+009F in UTF-8: this lead byte, then a trail byte from the first to the last.
constexpr unsigned char kC1Lead = 0xc2;
constexpr unsigned char kC1FirstTrail = 0x80;
constexpr unsigned char kC1LastTrail = 0x9f;

void AppendHex(std::string& out, unsigned char byte)
{
    char text[sizeof "\\xff"];
    std::snprintf(text, sizeof text, "\\x%02x", byte);
    out += text;
}

}  // namespace

std::string EscapedControls(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = static_cast<unsigned char>(i + 1 < text.size() ? text[i + 1] : 0);
        if (byte == '\\') {
            out += "\\\\";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\n') {
            out += "\\n";
        } else if (byte < ' ' || byte == kDelete) {
            AppendHex(out, byte);
        } else if (byte == kC1Lead && next >= kC1FirstTrail && next <= kC1LastTrail) {
            AppendHex(out, byte);
            AppendHex(out, next);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}
