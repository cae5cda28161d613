// SPDX-License-Identifier: GPL-3.0-or-later
// Transfers that go on from where an earlier one stopped: SIZE says how much the other side has,
// REST where the server is to start, and SIZE once more confirms a resumed upload.

#include "ftp/ftp_session.h"
#include "ftp/internal/control_connection.h"
#include "ftp/internal/file_transfer.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/session_steps.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"

namespace {

// REST `offset`: true when the server will start there (350). `broken` when the connection failed
// on the way.
bool Restarted(CFtpSession& session, long long offset, bool& broken)
{
    const int result = session.control->Command("REST %ld", {offset});
    broken = result == kInterrupted || result == kNotSent;
    return result == kIntermediate;
}

}  // namespace

std::optional<long long> RemoteFileSize(CFtpSession& session, const std::string& name)
{
    // In another type the size counts other bytes, and some servers refuse SIZE there.
    if (session.control->typeInForce != 'I' || session.control->Command("SIZE %s", {name}) != kCompletion)
        return std::nullopt;
    return SizeFromSizeReply(session.replyBuffer);
}

bool PrepareResumedDownload(CFtpSession& session, FileTransfer& download)
{
    const long long held = download.OpenPartialFile();
    if (held < 0)
        return false;
    if (!download.resumable || held == 0)
        return true;
    const std::string& name = download.remoteName;
    // ASCII changes line ends on the way: the bytes kept do not say where the server's file stands.
    if (download.type == 'A') {
        LogMessage("%s starts over: an ASCII transfer cannot go on from the middle.", {name});
        return true;
    }
    download.expectedSize = RemoteFileSize(session, name).value_or(-1);
    if (download.expectedSize < 0)
        LogMessage("%s starts over: the server does not tell its size.", {name});
    else if (held >= download.expectedSize)
        LogMessage("%s starts over: the %ld bytes kept are not fewer than the server's %ld.",
                   {name, held, download.expectedSize});
    else
        download.startOffset = held;
    return true;
}

void PrepareResumedUpload(CFtpSession& session, FileTransfer& upload)
{
    if (upload.type == 'A')
        return;
    const long long held = RemoteFileSize(session, upload.remoteName).value_or(0);
    if (held > 0 && held < upload.uploadSize) {
        upload.startOffset = held;
        LogMessage("The server holds %ld of the %ld bytes of %s: the rest follows.",
                   {held, upload.uploadSize, upload.remoteName});
    }
}

bool RestartDownload(CFtpSession& session, FileTransfer& download)
{
    bool broken = false;
    if (Restarted(session, download.startOffset, broken)) {
        LogMessage("Going on with %s from byte %ld of %ld.",
                   {download.remoteName, download.startOffset, download.expectedSize});
        return true;
    }
    if (broken)
        return false;
    LogMessage("%s starts over: the server does not restart transfers.", {download.remoteName});
    download.startOffset = 0;
    return true;
}

bool RestartUpload(CFtpSession& session, FileTransfer& upload, std::string& command)
{
    bool broken = false;
    if (Restarted(session, upload.startOffset, broken))
        return true;
    if (broken)
        return false;
    LogMessage("The server does not restart transfers: the rest of %s is appended.", {upload.remoteName});
    command = FormatText("APPE %s", {upload.remoteName});
    return true;
}

int ConfirmStoredSize(CFtpSession& session, FileTransfer& upload, long long localSize, int result)
{
    if (result != kCompletion || upload.type == 'A')
        return result;
    const std::optional<long long> stored = RemoteFileSize(session, upload.remoteName);
    if (!stored || *stored == localSize)
        return result;
    LogMessage("The server holds %ld bytes of %s, which has %ld: the upload is incomplete.",
               {*stored, upload.localPath, localSize});
    if (*stored < localSize)
        session.transferCutShort = true;
    return kPermanentNegative;
}
