// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ASCII transfers: the network writes lines with CR LF, local files with LF. The converters keep
// state, so a CR LF split across two chunks is still seen as one line end.

#include <string>
#include <string_view>

// Network to local: every CR LF becomes LF; any other CR stays.
class CrLfToLf final {
public:
    // Appends the converted `bytes` to `out` (a CR at the end is held back for the next chunk).
    void Convert(std::string_view bytes, std::string& out);
    // What is still held back once the data has ended.
    void Finish(std::string& out);

private:
    bool pendingCr = false;
};

// Local to network: every LF becomes CR LF (so a round trip gives back every byte).
void LfToCrLf(std::string_view bytes, std::string& out);
