// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: steps of the session's operations that its files share.

#include <memory>
#include <optional>
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

// FEAT after the login, kept in the session's `features`; OPTS UTF8 ON when it lists UTF8.
void AskFeatures(CFtpSession& session);

// Times kept (file_times.cpp), when the settings say so. After a download the server confirmed:
// the local file gets the listed time, or MDTM's. After such an upload: the server's file gets
// the local time by MFMT, else SITE UTIME, else the log says once that the server cannot.
void KeepDownloadedTime(CFtpSession& session, const FileTransfer& download);
void KeepUploadedTime(CFtpSession& session, const FileTransfer& upload);

// Resumed transfers (resume.cpp). The size SIZE gives for `name`; nothing when the server gives
// none, or when TYPE I is not in force (SIZE is not sent then).
std::optional<long long> RemoteFileSize(CFtpSession& session, const std::string& name);
// Before a resumable download's data connection: opens its partial file and, when that holds
// bytes of a binary file, where the server is to start (SIZE). False when the partial file
// cannot be had (logged).
bool PrepareResumedDownload(CFtpSession& session, FileTransfer& download);
// Before a resumable upload's data connection: where the server's file ends (SIZE), when that is
// inside the local file.
void PrepareResumedUpload(CFtpSession& session, FileTransfer& upload);
// REST at the transfer's start offset, once its data connection is ready. When the server refuses,
// a download starts over and an upload's `command` becomes APPE. False when the connection failed.
bool RestartDownload(CFtpSession& session, FileTransfer& download);
bool RestartUpload(CFtpSession& session, FileTransfer& upload, std::string& command);
// After a resumable upload the server confirmed (`result`): the server's size must be the local
// file's `localSize`, unless the transfer was ASCII, whose line ends change it.
int ConfirmStoredSize(CFtpSession& session, FileTransfer& upload, long long localSize, int result);
