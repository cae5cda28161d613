// SPDX-License-Identifier: GPL-3.0-or-later
// One transfer's copy loops: the data connection into a file beside the target, and a file onto
// the data connection.

#include "ftp/internal/file_transfer.h"

#include "ftp/internal/control_connection.h"
#include "ftp/internal/data_connection.h"
#include "ftp/internal/line_ends.h"
#include "ftp/internal/session_context.h"
#include "ftp/internal/socket_wait.h"
#include "ftp/internal/tls_stream.h"
#include "ftp/internal/write_all.h"
#include "ftp/socket_errors.h"
#include "remote/exchange_result.h"
#include "remote/local_files.h"
#include "remote/local_names.h"
#include "remote/session_log.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr std::size_t kLargestChunk = 1 << 20;

// The receive buffer a download starts with. Linux grows the buffer of a socket to hold its
// low-water mark, and otherwise grows it only by what one read takes per round trip: with reads of
// "Receive Bytes" it stays small on a fast link, the server stalls, and a download on one machine
// took 1.7 times as long. The mark is set back to 1 at once, so reads and waits are unchanged and
// the buffer still grows on its own for links far away.
constexpr int kDownloadBufferStart = 2 << 20;

// Bytes of an upload that may wait unsent in the socket. A short queue hands the receiver bytes
// that are still in the processor's caches; a long one holds them until they are not (uploads on
// one machine took a quarter longer). Bytes in flight are not limited, so a fast link far away
// keeps its whole window.
constexpr int kUnsentUploadBytes = 65536;

// A chunk size setting as used: a count below 1 means the default, and none passes 1 MiB.
std::size_t ChunkSize(int setting)
{
    if (setting < 1)
        return static_cast<std::size_t>(kDefaultChunkBytes);
    return std::min(static_cast<std::size_t>(setting), kLargestChunk);
}

long long MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

void LogRate(std::string_view verb, long long bytes, long long milliseconds)
{
    constexpr long long kPerSecond = 1000;
    // A transfer that took less than a millisecond counts as one, which keeps the rate finite.
    const long long rate = bytes * kPerSecond / std::max(milliseconds, 1LL);
    LogMessage("%sed %ld characters in %ld seconds (%ld bytes/sec)", {verb, bytes, milliseconds / kPerSecond, rate});
}

FileTransfer::FileTransfer(SessionContext& context, ControlConnection& control, DataConnection& data,
                           TransferReport report, std::string command, std::string localPath)
    : command(std::move(command))
    , localPath(std::move(localPath))
    , context(context)
    , control(control)
    , data(data)
    , report(std::move(report))
{}

long long FileTransfer::OpenPartialFile()
{
    bool link = false;
    if (IsSpecialTarget(localPath, link)) {
        resumable = false;
        return 0;
    }
    partialPath = PartialDownloadPath(localPath);
    // The target's name is checked too: the partial file could not take it when complete.
    partialFile = NameFits(localPath) ? OpenPartial(partialPath) : -1;
    struct stat st {};
    if (partialFile < 0 || ::fstat(partialFile, &st) != 0) {
        report.localFileError = errno;
        LogMessage("Failed to create file %s (%s)", {localPath, ErrorNumberText(errno)});
        return -1;
    }
    return st.st_size;
}

void FileTransfer::ClosePartialFile()
{
    if (partialFile < 0)
        return;
    struct stat st {};
    if (::fstat(partialFile, &st) == 0 && st.st_size == 0)
        ::unlink(partialPath.c_str());
    ::close(std::exchange(partialFile, -1));
}

void FileTransfer::KeepPartialFile()
{
    struct stat st {};
    if (::stat(partialPath.c_str(), &st) == 0 && st.st_size > 0) {
        LogMessage("Kept %ld bytes of %s to go on from", {static_cast<long long>(st.st_size), localPath});
        return;
    }
    ::unlink(partialPath.c_str());
}

int FileTransfer::DownloadToFile(const std::string& path)
{
    if (data.socket == -1 || !context.connected)
        return kTransferNotStarted;
    // `interrupted` is not cleared here: a cancel that came after the accept must still count.
    ++context.commandDepth;
    report.setStart(startOffset);

    std::string temporary;
    const int specialFile = resumable ? kNotSpecial : OpenSpecialTarget(path);
    const bool special = specialFile != kNotSpecial;
    int file = -1;
    if (resumable) {
        // What lies past the restart is the server's to send again.
        file = std::exchange(partialFile, -1);
        if (::ftruncate(file, startOffset) != 0 || ::lseek(file, startOffset, SEEK_SET) < 0) {
            const int error = errno;
            ::close(file);
            file = -1;
            errno = error;
        }
    } else {
        file = special ? specialFile : CreateFileBeside(path, temporary);
    }
    if (file < 0) {
        report.localFileError = errno;
        LogMessage("Failed to create file %s (%s)", {path, ErrorNumberText(errno)});
        --context.commandDepth;
        return kPermanentNegative;
    }

    // Failed setsockopt calls cost speed only.
    const int one = 1;
    ::setsockopt(data.socket, SOL_SOCKET, SO_RCVLOWAT, &kDownloadBufferStart, sizeof kDownloadBufferStart);
    ::setsockopt(data.socket, SOL_SOCKET, SO_RCVLOWAT, &one, sizeof one);

    const auto started = std::chrono::steady_clock::now();
    long long total = 0;
    int receiveError = 0;
    int writeError = 0;
    bool cutShort = false;
    CrLfToLf toLocal;
    std::string converted;
    const auto store = [&](const char* data, std::size_t size) {
        if (writeError == 0 && !WriteAll(file, std::string_view(data, size)))
            writeError = errno;
    };
    while (!context.interrupted && writeError == 0) {
        const std::size_t want = ChunkSize(context.settings.receiveBytes);
        if (chunk.size() < want)
            chunk.resize(want);
        short waitFor = POLLIN;
        const ssize_t got = TryReceive(data.socket, data.tls.get(), chunk.data(), want, false, waitFor);
        if (got == 0) {
            // The server closed the data connection: the file is complete. Over TLS only the TLS
            // close says so; a bare end may be anyone's cut, unless every announced byte came.
            if (data.tls && data.tls->EndedWithoutClose()) {
                cutShort = announcedBytes <= 0 || total != announcedBytes;
                if (!cutShort)
                    LogMessage("The server ended the data connection without closing TLS; all %ld announced "
                               "bytes arrived.",
                               {announcedBytes});
            }
            break;
        }
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN) {
                receiveError = SocketErrorNumber(errno);
                break;
            }
            const int waited = WaitForSocket(data.socket, waitFor, context.cancelSignal, context.RetryDeadline());
            if (waited == 0)
                continue;
            if (waited == kErrorTimedOut) {
                LogSocketError("Recv", waited);
                control.Break(SocketErrorText(waited));  // a silent server is treated like a broken connection
            } else if (waited != kErrorCancelled) {
                receiveError = waited;
            }
            break;
        }
        if (convertLineEnds) {
            converted.clear();
            toLocal.Convert(std::string_view(chunk.data(), static_cast<std::size_t>(got)), converted);
            store(converted.data(), converted.size());
        } else {
            store(chunk.data(), static_cast<std::size_t>(got));
        }
        total += got;
        report.setDone(startOffset + total);
    }
    if (convertLineEnds) {
        converted.clear();
        toLocal.Finish(converted);
        store(converted.data(), converted.size());
    }
    if (::close(file) != 0 && writeError == 0)
        writeError = errno;

    // A complete file waits beside its target until the server confirms the transfer.
    if (special) {
        receivedBytes = total;
    } else if (!context.interrupted && receiveError == 0 && writeError == 0 && !cutShort) {
        receivedFile = resumable ? partialPath : temporary;
        receivedBytes = total;
    } else if (resumable) {
        KeepPartialFile();
    } else {
        ::unlink(temporary.c_str());
        LogMessage("Deleted partially downloaded file");
    }
    if (receiveError != 0 || cutShort)
        report.cutShort = true;

    int outcome = kCompletion;
    if (receiveError != 0) {
        LogSocketError("Recv", receiveError);
        outcome = kPermanentNegative;
    } else if (writeError != 0) {
        report.localFileError = writeError;
        LogMessage("Failed to write file %s (%s)", {path, ErrorNumberText(writeError)});
        outcome = kPermanentNegative;
    } else if (cutShort) {
        LogMessage("The server ended the data connection without closing TLS: the data may have been cut "
                   "short and is not used.");
        outcome = kPermanentNegative;
    } else {
        LogRate("Receiv", total, MillisecondsSince(started));
        outcome = context.interrupted ? kInterrupted : kCompletion;
    }
    --context.commandDepth;
    return outcome;
}

int FileTransfer::KeepDownload(int result)
{
    if (receivedFile.empty())
        return result;
    const std::string temporary = std::exchange(receivedFile, std::string());
    const long long announced = announcedBytes;
    // The data connection ended in order with every byte the 150 reply announced: only the
    // confirmation was lost (a silent server, or a NAT box that dropped the control connection).
    if (result == kInterrupted && !context.cancelRequested && announced > 0 && receivedBytes == announced) {
        LogMessage("The server did not confirm the transfer; all %ld announced bytes arrived and the file was kept.",
                   {announced});
        result = kCompletion;
    }
    // ASCII data changes size on the way, so only a binary file can be held to the 150 reply.
    if (result == kCompletion && type != 'A' && announced > 0 && receivedBytes < announced) {
        LogMessage("Received %ld of the %ld bytes announced: the file is incomplete.", {receivedBytes, announced});
        report.cutShort = true;
        result = kPermanentNegative;
    }
    // More than SIZE gave: the server's file changed between the parts of a resumed download.
    if (result == kCompletion && expectedSize >= 0 && startOffset + receivedBytes > expectedSize) {
        LogMessage("The file has %ld bytes, the server said %ld: it changed on the server.",
                   {startOffset + receivedBytes, expectedSize});
        result = kPermanentNegative;
    }
    if (result == kCompletion && ::rename(temporary.c_str(), localPath.c_str()) != 0) {
        report.localFileError = errno;
        LogMessage("Failed to write file %s (%s)", {localPath, ErrorNumberText(errno)});
        result = kPermanentNegative;
    }
    if (result != kCompletion && resumable) {
        KeepPartialFile();
    } else if (result != kCompletion) {
        ::unlink(temporary.c_str());
        LogMessage("Deleted partially downloaded file");
    }
    return result;
}

int FileTransfer::UploadFromFile(const std::string& path)
{
    if (data.socket == -1 || !context.connected)
        return kPermanentNegative;
    ++context.commandDepth;
    report.setStart(startOffset);
    int outcome = kPermanentNegative;
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        report.localFileError = errno;
        LogMessage("Could not open file %s (%s)", {path, ErrorNumberText(errno)});
    } else {
        const auto started = std::chrono::steady_clock::now();
        outcome = kCompletion;
        struct stat st {};
        const long long size = ::fstat(file, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
        report.setTotal(size);
        LogMessage("Transferring %ld bytes", {size - startOffset});
        if (startOffset > 0 && ::lseek(file, startOffset, SEEK_SET) < 0) {
            report.localFileError = errno;
            LogMessage("Could not read file %s (%s)", {path, ErrorNumberText(errno)});
            outcome = kPermanentNegative;
        }

        // A failed setsockopt costs speed only.
        ::setsockopt(data.socket, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &kUnsentUploadBytes, sizeof kUnsentUploadBytes);

        long long total = 0;
        std::string converted;
        while (outcome != kPermanentNegative && outcome != kInterrupted && !context.interrupted) {
            const std::size_t want = ChunkSize(context.settings.sendBytes);
            if (chunk.size() < want)
                chunk.resize(want);
            const ssize_t got = ::read(file, chunk.data(), want);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                // A file that cannot be read to its end must not be reported as sent.
                report.localFileError = errno;
                LogMessage("Could not read file %s (%s)", {path, ErrorNumberText(errno)});
                outcome = kPermanentNegative;
                break;
            }
            if (got == 0)
                break;
            const char* bytes = chunk.data();
            std::size_t length = static_cast<std::size_t>(got);
            if (convertLineEnds) {
                converted.clear();
                LfToCrLf(std::string_view(bytes, length), converted);
                bytes = converted.data();
                length = converted.size();
            }
            control.SendAll(data.socket, data.tls.get(), bytes, static_cast<long>(length), outcome);
            if (outcome == kPermanentNegative)
                report.cutShort = true;
            total += got;
            report.setDone(startOffset + total);
        }
        ::close(file);
        if (outcome == kCompletion && context.interrupted)
            outcome = kInterrupted;
        // The server cannot tell a file that changed under us from a whole one: the bytes read
        // are held to the size the file had when STOR was sent.
        const long long expected = (uploadSize >= 0 ? uploadSize : size) - startOffset;
        if (outcome == kCompletion && expected >= 0 && total != expected) {
            LogMessage("The file %s changed while it was sent: it had %ld bytes, %ld were sent.",
                       {path, startOffset + expected, startOffset + total});
            outcome = kPermanentNegative;
        }
        // A stop is the user's doing only after a cancel; a time-out has logged its own text.
        if (outcome == kPermanentNegative)
            LogMessage("Error on Transfer, aborted");
        else if (outcome == kInterrupted && context.cancelRequested)
            LogMessage("Transfer aborted by User");
        else if (outcome == kCompletion)
            LogRate("Transmitt", total, MillisecondsSince(started));
    }
    uploadSize = -1;
    --context.commandDepth;
    return outcome;
}
