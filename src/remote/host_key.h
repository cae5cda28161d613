// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An SSH server's host key as the user is shown it when the user's known hosts do not hold it yet.

#include <string>

struct HostKeyQuestion final {
    std::string server;       // "host" or "[host]:port", as known_hosts names it
    std::string keyType;      // "ssh-ed25519", "ecdsa-sha2-nistp256", "ssh-rsa"
    std::string fingerprint;  // "SHA256:" and the base64 of the key's hash, as OpenSSH shows it
};
