// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Server text as the command line prints it: a greeting, a reply or a file name could otherwise
// move the cursor, clear the screen, set the window title or hide part of a line on the user's
// terminal, and a name could break an ls line apart.

#include <string>
#include <string_view>

// `text` with a backslash doubled; TAB, CR and LF as \t, \r and \n; every other control character
// (bytes 0x00-0x1F and 0x7F) as \xHH; a C1 control in UTF-8 (U+0080-U+009F, which terminals obey
// too) as its two bytes \xc2\xHH. Everything else, the rest of UTF-8 included, stays as it is.
std::string EscapedControls(std::string_view text);
