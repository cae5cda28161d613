// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Servers that have spoken TLS here: the file "tls-hosts" in the data directory, one "HOST:PORT"
// a line (ServerKey), shared by the desktop program and the command line, mode 0600. A login in
// plain text to one of them is refused unless its site says plain FTP only: a server that spoke
// TLS and now refuses it may have someone in between who removes the encryption.

#include <string>

// Whether `server` is in the file in `directory` (ends in "/").
bool SpokeTls(const std::string& directory, const std::string& server);

// Adds `server` to the file unless it is there. False with `failure` set when the file could not
// be read or written.
bool RememberTlsServer(const std::string& directory, const std::string& server, std::string& failure);
