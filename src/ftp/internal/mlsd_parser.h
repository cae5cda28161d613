// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: one line of an MLSD reply, "fact=value;fact=value; name", as the fields the file
// browser shows. Facts are named in any case; those it does not know are passed over.

#include "remote/dir_entry.h"

#include <ctime>
#include <optional>
#include <string_view>

struct MlsdEntry {
    // The size from "size", the permissions from "unix.mode" (as a UNIX listing writes them) or
    // from "perm" (after the type letter: "- adfrw"); a link is "l" and "name -> target" when the
    // type names its target. `modified` is left to the front end, which shows local time.
    CDirEntry entry;
    std::optional<std::time_t> modified;  // the "modify" fact, UTC; nothing when missing or impossible
};

// The entry `line` (without its line end) shows; nothing for the listed directory and its parent
// (cdir, pdir), a line without facts or without a name, and a name that is not a plain name
// inside the directory ("a/b", ".", "..").
std::optional<MlsdEntry> ParseMlsdLine(std::string_view line);
