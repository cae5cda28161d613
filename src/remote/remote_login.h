// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a session logs in with: the site, the user and how the connection is made.

#include <string>

struct FirewallLogin {
    int enabled = 0;
    int style = 0;  // one of the firewall styles of ftp/connection_modes.h
    int port = 0;   // 0: the protocol's own port
    std::string host;
    std::string user;
    std::string password;
};

// The protocol a site is reached with; FTP unless the site says otherwise.
enum class RemoteProtocol { Ftp, Sftp };

// The protocols' own ports, for a host that names none.
inline constexpr int kFtpPort = 21;
inline constexpr int kImplicitTlsPort = 990;
inline constexpr int kSshPort = 22;

struct RemoteLogin {
    RemoteProtocol protocol = RemoteProtocol::Ftp;
    std::string host;  // may end in ":PORT"
    std::string user;
    std::string password;
    int encryption = 0;       // ftp/encryption.h
    char transferMode = 'I';  // 'A' ASCII, 'I' binary, 'F' by the file's extension
    FirewallLogin firewall;
};
