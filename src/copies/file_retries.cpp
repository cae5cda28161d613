// SPDX-License-Identifier: GPL-3.0-or-later
#include "copies/file_retries.h"

#include "remote/exchange_result.h"
#include "remote/local_names.h"
#include "remote/remote_session.h"
#include "remote/session_log.h"

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::chrono::seconds kFirstPause{1};  // doubled before each further try

// A device or a pipe, which a download writes into as it is.
bool WrittenInPlace(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

long long BytesIn(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : 0;
}

int Transfer(RemoteSession& session, const FileCopy& file, TransferStart start)
{
    if (file.direction == FileDirection::Download)
        return session.RetrieveFile(file.remoteName, file.localPath, file.listed, start);
    return session.StoreFile(file.remoteName, file.localPath, start);
}

// Why the last try failed, in a few words for the retry's line.
std::string WhyItFailed(const SessionFailure& failure)
{
    if (!failure.lostReason.empty())
        return failure.lostReason;
    if (ReplyClass(failure.replyCode) == kTransientNegative)
        return failure.reply;
    if (failure.connectFailure == ConnectFailure::NotReached)
        return failure.connectError;
    if (failure.dataCutShort)
        return "the data connection ended before all the data came";
    return failure.reply;
}

// A new connection of the same login, in `directory`; the old one is given up, its goodbye waited
// for only briefly. Each step on the session's worker, so a window is never held up by it.
int Reconnect(RemoteSession& session, const std::string& directory)
{
    if (!RunRemoteCommand(session, [&session] { return session.QuitAtExit(); }))
        return kTransferCancelled;
    if (!ConnectInBackground(session, session.Login().host))
        return kTransferCancelled;
    if (!session.Connected())
        return kConnectFailed;
    if (directory.empty())
        return kCompletion;
    return RunRemoteCommand(session, [&] { return session.ChangeDirectory(directory); }).value_or(kTransferCancelled);
}

}  // namespace

int CopyFileWithRetries(RemoteSession& session, const FileCopy& file, const RetryRules& rules)
{
    const bool download = file.direction == FileDirection::Download;
    const int retries = download && WrittenInPlace(file.localPath) ? 0 : rules.retries;
    if (retries == 0 && !rules.keepPartial)
        return Transfer(session, file, TransferStart::Fresh);
    const std::string partial = download ? PartialDownloadPath(file.localPath) : std::string();
    if (download && !rules.keepPartial)
        ::unlink(partial.c_str());
    // An upload's first try replaces the server's file: one of that name may be another file.
    int result = Transfer(session, file, download ? TransferStart::Resume : TransferStart::Fresh);
    int tries = 1;
    while (result != kCompletion && result != kTransferCancelled && tries <= retries
           && FailureMayPass(session.Failure(), session.ConnectionLost())) {
        const std::chrono::seconds delay = kFirstPause * (1 << (tries - 1));
        ++tries;
        const std::string why = WhyItFailed(session.Failure());
        if (download) {
            LogMessage("Trying %s again in %ld s (try %d of %d), from byte %ld: %s",
                       {file.remoteName, delay.count(), tries, retries + 1, BytesIn(partial), why});
        } else {
            LogMessage("Trying %s again in %ld s (try %d of %d), from the byte the server holds: %s",
                       {file.remoteName, delay.count(), tries, retries + 1, why});
        }
        if (!rules.pause(delay)) {
            result = kTransferCancelled;
            break;
        }
        result = Reconnect(session, file.remoteDirectory);
        if (result == kCompletion)
            result = Transfer(session, file, TransferStart::Resume);
    }
    if (result == kCompletion && tries > 1)
        session.TransferAborted() = 0;  // set by a failed try, which the last one made good
    if (result != kCompletion && download && !rules.keepPartial && ::unlink(partial.c_str()) == 0)
        LogMessage("Deleted partially downloaded file");
    return result;
}
