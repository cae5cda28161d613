// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// "Extension.ftp": the transfer type by file extension, one rule a line: the type letter ("A"
// ASCII, "I" binary, "L" local byte size 8; any other letter counts as "I"), a separator, then the
// extension without its dot, in upper case. The last character of each line is its line end.

#include <istream>
#include <string>

// The letter for `fileName` from the first rule whose ".EXTENSION" occurs anywhere in the name
// in upper case; 'I' when none does.
char TransferTypeFromTable(std::istream& table, const std::string& fileName);
