// SPDX-License-Identifier: GPL-3.0-or-later
// Modification times kept across a copy: a file copied twice is not taken for a changed one.

#include "ftp/ftp_session.h"
#include "ftp/internal/control_connection.h"
#include "ftp/internal/file_transfer.h"
#include "ftp/internal/ftp_time.h"
#include "ftp/internal/session_steps.h"
#include "ftp/socket_errors.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// The time a reply to MDTM gives, "213 20261201120000".
std::optional<std::time_t> TimeFromMdtmReply(std::string_view reply)
{
    if (!reply.starts_with("213 "))
        return std::nullopt;
    return ParseFtpTime(reply.substr(4));
}

}  // namespace

void KeepDownloadedTime(CFtpSession& session, const FileTransfer& download)
{
    if (!session.Settings().keepTimes)
        return;
    // A device or a pipe has no time of the file's to take.
    struct stat st {};
    if (::stat(download.localPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    std::optional<std::time_t> time = download.listedTime;
    if (!time && download.askTime && session.features.mdtm
        && session.control->Command("MDTM %s", {download.remoteName}) == kCompletion)
        time = TimeFromMdtmReply(session.replyBuffer);
    if (!time)
        return;
    const timespec times[2] = {{0, UTIME_OMIT}, {*time, 0}};
    if (::utimensat(AT_FDCWD, download.localPath.c_str(), times, 0) != 0)
        LogMessage("Could not set the modification time of %s (%s)", {download.localPath, ErrorNumberText(errno)});
}

void KeepUploadedTime(CFtpSession& session, const FileTransfer& upload)
{
    if (!session.Settings().keepTimes)
        return;
    const std::string time = FtpTimeText(upload.localModified);
    if (session.features.mfmt)
        session.control->Command("MFMT %s %s", {time, upload.remoteName});
    else if (session.features.siteUtime)
        session.control->Command("SITE UTIME %s %s %s %s UTC", {upload.remoteName, time, time, time});
    else if (!session.toldTimesNotSet->exchange(true))
        LogMessage("The server cannot set modification times: uploaded files keep the time of the upload.");
}
