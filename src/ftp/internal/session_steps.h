// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: steps of the session's operations that its files share.

#include <memory>
#include <string>

class CFtpSession;
class FileTransfer;

// A transfer of `session` that reports its progress and local failures to the session.
std::unique_ptr<FileTransfer> NewTransfer(CFtpSession& session, std::string command, std::string localPath);

// The TLS handshake on the control connection to `host` and the certificate check, which may ask
// the front end; false: the connection is to be closed (logged).
bool StartControlTls(CFtpSession& session, const std::string& host);
// AUTH TLS, then the handshake. False: the connection is to be closed, and nothing else is sent.
bool NegotiateTls(CFtpSession& session, const std::string& host);
// PBSZ 0 and PROT P after login; false when the site requires TLS and the server refused.
bool ProtectDataConnections(CFtpSession& session);
