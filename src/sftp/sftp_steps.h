// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The steps of an SFTP session, each in a file of its own, on the shared context.

#include "remote/dir_entry.h"
#include "remote/remote_session.h"
#include "sftp/sftp_context.h"

#include <string>
#include <vector>

// The host and port of a login's host text: "name", "name:port", "[address]:port" or a bare
// IPv6 address; port 0 when none is named.
struct SshAddress {
    std::string host;
    int port = 0;
};
SshAddress SplitSshHost(const std::string& text);

// The TCP connection and the SSH transport, with ~/.ssh/config applied; then the server's host key
// against the user's and the system's known hosts, the user asked about an unknown one. Nothing
// of the login is sent before the key passed. False: closed, `failure` says why.
bool OpenSsh(SftpContext& context);
// Agent, key files, keyboard-interactive, password; false: refused or broken (said in `failure`).
bool LogIn(SftpContext& context);
// The SFTP channel, the version and extensions, and the directory the login starts in.
bool StartSftp(SftpContext& context);

// Attributes of `path`, following links (STAT) or not (LSTAT); nothing when refused (logged) or
// broken.
std::optional<SftpAttributes> StatPath(SftpContext& context, const std::string& path, bool follow);
// The server's full form of `path` (REALPATH); nothing when refused or broken.
std::optional<std::string> RealPath(SftpContext& context, const std::string& path);

ListingResult ListEntries(SftpContext& context, ListingUse use, std::vector<CDirEntry>& entries);

int Download(SftpContext& context, const std::string& remoteName, const std::string& localPath,
             const ListedFile& listed, TransferStart start);
int Upload(SftpContext& context, const std::string& remoteName, const std::string& localPath, TransferStart start);
