// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: one line of an MLSD reply, "fact=value;fact=value; name", as the fields the file
// browser shows. Facts are named in any case; those it does not know are passed over.

#include "remote/dir_entry.h"

#include <optional>
#include <string_view>

// The entry `line` (without its line end) shows: the size from "size", the time from "modify"
// (`modifiedTime`), the permissions from "unix.mode" (as a UNIX listing writes them) or from
// "perm" (after the type letter: "- adfrw"); a link is "l", and "name -> target" when the type
// names its target. Nothing for the listed directory and its parent (cdir, pdir), a line without
// facts or without a name, and a name that is not a plain name inside the directory ("a/b", ".",
// "..").
std::optional<CDirEntry> ParseMlsdLine(std::string_view line);
