// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Certificates the user trusts although the system's trust store does not: the file
// "trusted-certificates" in the data directory, one "HOST:PORT FINGERPRINT" a line, shared by the
// desktop program and the command line. Written whole and atomically, mode 0600, each change a
// locked read-modify-write (UpdateFile), so that programs adding entries side by side lose none.

#include <optional>
#include <string>

// `text` as a SHA-256 fingerprint: "SHA256:" optional, colons optional, either case; the result
// is "SHA256:" and 32 upper-case hex pairs joined by colons, or nothing when `text` is not 64 hex
// digits.
std::optional<std::string> NormalisedFingerprint(const std::string& text);

// "host:port", with IPv6 addresses in brackets: the key of a server in the file.
std::string ServerKey(const std::string& host, int port);

// The fingerprint trusted for `server`, if any, from the file in `directory` (ends in "/").
std::optional<std::string> TrustedFingerprint(const std::string& directory, const std::string& server);

// Trusts `fingerprint` for `server` from now on, in place of what was trusted for it before.
// False with `failure` set when the file could not be written.
bool TrustCertificate(const std::string& directory, const std::string& server, const std::string& fingerprint,
                      std::string& failure);
