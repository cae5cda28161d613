#pragma once
// Names that come from a server and become local paths.

#include <string_view>

// Whether a name from a server can become a local path inside a target directory: not empty,
// not "." or "..", no "/" and no NUL.
bool IsSafeLocalName(std::string_view name);
