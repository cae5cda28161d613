// SPDX-License-Identifier: GPL-3.0-or-later
// File transfers: the window-thread halves that start a worker and wait, the worker halves that
// run the data command, and the copy loops.

#include "ftp/background.h"
#include "ftp/ftp_session.h"
#include "ftp/internal/extension_table.h"
#include "ftp/internal/line_ends.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/socket_address.h"
#include "ftp/internal/socket_wait.h"
#include "ftp/internal/tls_stream.h"
#include "ftp/internal/write_all.h"
#include "ftp/local_dirs.h"
#include "ftp/socket_errors.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <random>
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

// A new file beside `path` for a download to grow in; it replaces `path` only when complete, so
// a failed or cancelled download never leaves part of a file under the final name, nor costs the
// file that was there. Its name is short, so every target name that fits the directory fits it
// too; a target name that does not fit fails here, before any data is fetched.
int CreateFileBeside(const std::string& path, std::string& temporary)
{
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const long longestName = ::pathconf(directory.empty() ? "." : directory.c_str(), _PC_NAME_MAX);
    if (path.size() >= PATH_MAX || (longestName > 0 && name.size() > static_cast<std::size_t>(longestName))) {
        errno = ENAMETOOLONG;
        return -1;
    }
    static constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = directory + ".tessaline-";
        for (int i = 0; i < 8; ++i)
            temporary += kLetters[random() % kLetters.size()];
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

constexpr int kNotSpecial = -2;

// The target of a download when it is a device or a pipe (/dev/null, a FIFO a script reads), which
// is written into as it is: a file renamed over it would replace the device itself. Only a
// character device or the user's own FIFO is used: another user's FIFO planted under the target
// name in a shared directory must not receive the file, and a link is followed only when it is
// the user's own or the system's (/dev/stdout). kNotSpecial when the download is to grow beside
// `path`; -1 with errno set when the special file must not or cannot be used.
int OpenSpecialTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return kNotSpecial;
    const bool link = S_ISLNK(st.st_mode);
    if (link && ((st.st_uid != ::geteuid() && st.st_uid != 0) || ::stat(path.c_str(), &st) != 0))
        return kNotSpecial;
    if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
        return kNotSpecial;
    // Not blocking: a FIFO that nobody reads must not hold the download before anything is checked.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | (link ? 0 : O_NOFOLLOW));
    if (fd < 0)
        return -1;
    // What was opened is what counts: the name may have been swapped since it was looked at.
    struct stat opened {};
    const bool usable = ::fstat(fd, &opened) == 0
        && (S_ISCHR(opened.st_mode) || (S_ISFIFO(opened.st_mode) && opened.st_uid == ::geteuid()));
    if (!usable || ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
        const int error = usable ? errno : EPERM;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// 0 when `path` is a regular file we may read (its size in `size`), else the reason as an errno
// value.
int ReadableFileError(const std::string& path, long long& size)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    size = st.st_size;
    return ::access(path.c_str(), R_OK) == 0 ? 0 : errno;
}

}  // namespace

void CFtpSession::SetRepresentationType(char type)
{
    // The server keeps the type of a connection until told otherwise; asking again for the type
    // in force costs a round trip per file in a directory copy.
    if (type == typeInForce)
        return;
    const int result = type == 'L' ? Command("TYPE L 8") : Command("TYPE %c", {type});
    typeInForce = result == kCompletion ? type : '\0';
}

void CFtpSession::SetTransferTotal(long long total)
{
    std::lock_guard guard(operationStatus.lock);
    transferTotal = total;
}

void CFtpSession::SetTransferDone(long long done)
{
    std::lock_guard guard(operationStatus.lock);
    transferDone = done;
}

char CFtpSession::LookUpTransferType(const std::string& fileName) const
{
    std::ifstream table(DataDirectory() + "Extension.ftp");
    return table ? TransferTypeFromTable(table, fileName) : 'I';
}

int CFtpSession::StoreFile(const std::string& remoteName, const std::string& localPath)
{
    transferCommand = FormatText("STOR %s", {remoteName});
    transferLocalPath = localPath;
    localFileError = 0;
    SetTransferTotal(0);
    SetTransferDone(0);
    std::thread worker = StartUploadWorker(*this);
    return AwaitTransfer(worker, FormatText("Sending %s To %s", {remoteName, hostName}));
}

int CFtpSession::SendFile()
{
    replyCode = 0;
    if (controlSocket == -1) {
        LogMessage("Socket is not connected!");
        return kTransferNotStarted;
    }
    if (commandDepth != 0) {
        LogMessage("Currently processing a command.");
        transferAborted = 1;
        return kTransferNotStarted;
    }
    // STOR would empty the remote file before we learn the local one cannot be read.
    if (const int error = ReadableFileError(transferLocalPath, uploadSize); error != 0) {
        localFileError = error;
        LogMessage("Could not open file %s (%s)", {transferLocalPath, ErrorNumberText(error)});
        return kPermanentNegative;
    }
    SetRepresentationType(transferType == 'F' ? 'I' : transferType);  // uploads do not look at the extension table
    convertLineEnds = transferType == 'A';

    if (!OpenDataConnection()) {
        transferAborted = 1;
        return kPermanentNegative;
    }
    // A server that refused our address will not connect to it, and STOR would empty the remote
    // file for nothing.
    if (listenSocket != -1 && addressRefused) {
        listenSocket = CloseSocket(listenSocket);
        transferAborted = 1;
        return kPermanentNegative;
    }
    if (Command("%s", {transferCommand}) != kPreliminary) {  // 150: the data connection is used now
        CloseDataConnection();
        transferAborted = 1;
        return kTransferNotStarted;
    }
    if (listenSocket != -1) {  // active mode: the server connects to us now
        if (const int error = AcceptDataConnection(); error != 0) {
            if (error != kServerAnswered)
                LogSocketError("accept", error);
            listenSocket = CloseSocket(listenSocket);
            transferAborted = 1;
            return kPermanentNegative;
        }
        listenSocket = CloseSocket(listenSocket);
        LogMessage("[%u] accept from %s port %u", {dataSocket, AddressText(dataPeerAddress), PortOf(dataPeerAddress)});
    }
    if (!SecureDataConnection()) {
        dataSocket = CloseSocket(dataSocket);
        if (!interrupted)
            ReadReply();
        transferAborted = 1;
        return kPermanentNegative;
    }

    const int outcome = UploadFromFile(transferLocalPath);
    if (outcome == kCompletion)
        EndDataTls(true);
    dataSocket = CloseSocket(dataSocket);  // the end of the data tells the server the file is complete
    if (outcome == kInterrupted)
        return kInterrupted;
    const int reply = ReadReply();
    // The server may well confirm what arrived; a file that was not all sent is still a failure.
    return outcome == kPermanentNegative ? kPermanentNegative : reply;
}

int CFtpSession::UploadFromFile(const std::string& path)
{
    if (dataSocket == -1 || !connected)
        return kPermanentNegative;
    ++commandDepth;
    int outcome = kPermanentNegative;
    const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        localFileError = errno;
        LogMessage("Could not open file %s (%s)", {path, ErrorNumberText(errno)});
    } else {
        const auto started = std::chrono::steady_clock::now();
        outcome = kCompletion;
        struct stat st {};
        const long long size = ::fstat(file, &st) == 0 ? static_cast<long long>(st.st_size) : -1;
        SetTransferTotal(size);
        LogMessage("Transferring %ld bytes", {size});

        // A failed setsockopt costs speed only.
        ::setsockopt(dataSocket, IPPROTO_TCP, TCP_NOTSENT_LOWAT, &kUnsentUploadBytes, sizeof kUnsentUploadBytes);

        long long total = 0;
        std::string converted;
        while (outcome != kPermanentNegative && outcome != kInterrupted && !interrupted) {
            const std::size_t want = ChunkSize(settings.sendBytes);
            if (chunk.size() < want)
                chunk.resize(want);
            const ssize_t got = ::read(file, chunk.data(), want);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                // A file that cannot be read to its end must not be reported as sent.
                localFileError = errno;
                LogMessage("Could not read file %s (%s)", {path, ErrorNumberText(errno)});
                outcome = kPermanentNegative;
                break;
            }
            if (got == 0)
                break;
            const char* data = chunk.data();
            std::size_t length = static_cast<std::size_t>(got);
            if (convertLineEnds) {
                converted.clear();
                LfToCrLf(std::string_view(data, length), converted);
                data = converted.data();
                length = converted.size();
            }
            SendAll(dataSocket, data, static_cast<long>(length), outcome);
            total += got;
            SetTransferDone(total);
        }
        ::close(file);
        if (outcome == kCompletion && interrupted)
            outcome = kInterrupted;
        // The server cannot tell a file that changed under us from a whole one: the bytes read
        // are held to the size the file had when STOR was sent.
        const long long expected = uploadSize >= 0 ? uploadSize : size;
        if (outcome == kCompletion && expected >= 0 && total != expected) {
            LogMessage("The file %s changed while it was sent: it had %ld bytes, %ld were sent.",
                       {path, expected, total});
            outcome = kPermanentNegative;
        }
        // A stop is the user's doing only after a cancel; a time-out has logged its own text.
        if (outcome == kPermanentNegative)
            LogMessage("Error on Transfer, aborted");
        else if (outcome == kInterrupted && cancelRequested)
            LogMessage("Transfer aborted by User");
        else if (outcome == kCompletion)
            LogRate("Transmitt", total, MillisecondsSince(started));
    }
    uploadSize = -1;
    --commandDepth;
    return outcome;
}

int CFtpSession::RetrieveFile(const std::string& remoteName, const std::string& localPath, long long listedSize)
{
    transferCommand = FormatText("RETR %s", {remoteName});
    char type = transferMode;
    if (transferMode == 'F') {
        const std::size_t dot = remoteName.find('.');
        type = LookUpTransferType(dot == std::string::npos ? std::string(".unk.") : remoteName.substr(dot));
    }
    transferType = type;
    convertLineEnds = type == 'A';
    transferLocalPath = localPath;
    localFileError = 0;
    SetTransferTotal(listedSize);
    SetTransferDone(0);  // the status dialog must not show the last transfer's count
    std::thread worker = StartDownloadWorker(*this);
    return AwaitTransfer(worker, FormatText("Retrieving %s From %s", {remoteName, hostName}));
}

int CFtpSession::AwaitTransfer(std::thread& worker, const std::string& text)
{
    if (!WaitForWorker(*this, worker, WaitKind::FileTransfer, text)) {
        commandDepth = 0;
        transferAborted = 1;
        return kTransferCancelled;
    }
    return WorkerResult();
}

int CFtpSession::ReceiveFile()
{
    replyCode = 0;
    if (controlSocket == -1) {
        LogMessage("Socket not connected.");
        return kTransferNotStarted;
    }
    if (commandDepth != 0) {
        LogMessage("Currently in process.");
        return kTransferNotStarted;
    }
    SetRepresentationType(transferType);

    if (!OpenDataConnection())
        return kTransferNotStarted;
    announcedBytes = 0;
    if (Command("%s", {transferCommand}) != kPreliminary) {  // 150: the data connection is used now
        CloseDataConnection();
        return kTransferNotStarted;
    }
    announcedBytes = SizeFromPreliminaryReply(replyBuffer);
    if (announcedBytes > 0)
        SetTransferTotal(announcedBytes);
    if (listenSocket != -1) {  // active mode: the server connects to us now
        if (const int error = AcceptDataConnection(); error != 0) {
            if (error != kServerAnswered)
                LogSocketError("accept", error);
            listenSocket = CloseSocket(listenSocket);
            return kTransferNotStarted;
        }
        LogMessage("Tessaline: Closing Listener Socket");
        listenSocket = CloseSocket(listenSocket);
        LogMessage("[%u] Accepted from %s port %u", {dataSocket, AddressText(dataPeerAddress), PortOf(dataPeerAddress)});
    }
    if (!SecureDataConnection()) {
        dataSocket = CloseSocket(dataSocket);
        if (!interrupted)
            ReadReply();
        return kTransferNotStarted;
    }

    const int outcome = DownloadToFile(transferLocalPath);
    if (outcome != kInterrupted)
        EndDataTls(false);
    // After a TLS close the server may already have closed its end.
    if (::shutdown(dataSocket, SHUT_RDWR) != 0 && outcome != kInterrupted && !protectData)
        LogSocketError("ShutDown", SocketErrorNumber(errno));
    dataSocket = CloseSocket(dataSocket);
    if (outcome == kInterrupted)
        return kInterrupted;
    const int reply = ReadReply();
    // The server may well have sent everything; a file we could not keep is still a failure.
    return KeepDownload(outcome == kPermanentNegative ? kPermanentNegative : reply);
}

int CFtpSession::KeepDownload(int result)
{
    if (receivedFile.empty())
        return result;
    const std::string temporary = std::exchange(receivedFile, std::string());
    const long long announced = announcedBytes;
    // The data connection ended in order with every byte the 150 reply announced: only the
    // confirmation was lost (a silent server, or a NAT box that dropped the control connection).
    if (result == kInterrupted && !cancelRequested && announced > 0 && receivedBytes == announced) {
        LogMessage("The server did not confirm the transfer; all %ld announced bytes arrived and the file was kept.",
                   {announced});
        result = kCompletion;
    }
    // ASCII data changes size on the way, so only a binary file can be held to the 150 reply.
    if (result == kCompletion && transferType != 'A' && announced > 0 && receivedBytes < announced) {
        LogMessage("Received %ld of the %ld bytes announced: the file is incomplete.", {receivedBytes, announced});
        result = kPermanentNegative;
    }
    if (result == kCompletion && ::rename(temporary.c_str(), transferLocalPath.c_str()) != 0) {
        localFileError = errno;
        LogMessage("Failed to write file %s (%s)", {transferLocalPath, ErrorNumberText(errno)});
        result = kPermanentNegative;
    }
    if (result != kCompletion) {
        ::unlink(temporary.c_str());
        LogMessage("Deleted partially downloaded file");
    }
    return result;
}

int CFtpSession::DownloadToFile(const std::string& path)
{
    if (dataSocket == -1 || !connected)
        return kTransferNotStarted;
    // `interrupted` is not cleared here: a cancel that came after the accept must still count.
    ++commandDepth;

    std::string temporary;
    const int specialFile = OpenSpecialTarget(path);
    const bool special = specialFile != kNotSpecial;
    const int file = special ? specialFile : CreateFileBeside(path, temporary);
    if (file < 0) {
        localFileError = errno;
        LogMessage("Failed to create file %s (%s)", {path, ErrorNumberText(errno)});
        --commandDepth;
        return kPermanentNegative;
    }

    // Failed setsockopt calls cost speed only.
    const int one = 1;
    ::setsockopt(dataSocket, SOL_SOCKET, SO_RCVLOWAT, &kDownloadBufferStart, sizeof kDownloadBufferStart);
    ::setsockopt(dataSocket, SOL_SOCKET, SO_RCVLOWAT, &one, sizeof one);

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
    while (!interrupted && writeError == 0) {
        const std::size_t want = ChunkSize(settings.receiveBytes);
        if (chunk.size() < want)
            chunk.resize(want);
        short waitFor = POLLIN;
        const ssize_t got = TryReceive(dataSocket, chunk.data(), want, false, waitFor);
        if (got == 0) {
            // The server closed the data connection: the file is complete. Over TLS only the TLS
            // close says so; a bare end may be anyone's cut, unless every announced byte came.
            if (dataTls && dataTls->EndedWithoutClose()) {
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
            const int waited = WaitForSocket(dataSocket, waitFor, cancelSignal, RetryDeadline());
            if (waited == 0)
                continue;
            if (waited == kErrorTimedOut) {
                LogSocketError("Recv", waited);
                BreakConnection(SocketErrorText(waited));  // a silent server is treated like a broken connection
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
        SetTransferDone(total);
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
    } else if (!interrupted && receiveError == 0 && writeError == 0 && !cutShort) {
        receivedFile = temporary;
        receivedBytes = total;
    } else {
        ::unlink(temporary.c_str());
        LogMessage("Deleted partially downloaded file");
    }

    int outcome = kCompletion;
    if (receiveError != 0) {
        LogSocketError("Recv", receiveError);
        outcome = kPermanentNegative;
    } else if (writeError != 0) {
        localFileError = writeError;
        LogMessage("Failed to write file %s (%s)", {path, ErrorNumberText(writeError)});
        outcome = kPermanentNegative;
    } else if (cutShort) {
        LogMessage("The server ended the data connection without closing TLS: the data may have been cut "
                   "short and is not used.");
        outcome = kPermanentNegative;
    } else {
        LogRate("Receiv", total, MillisecondsSince(started));
        outcome = interrupted ? kInterrupted : kCompletion;
    }
    --commandDepth;
    return outcome;
}

int CFtpSession::ReceiveToFile(const std::string& command, const std::string& path)
{
    if (!path.empty())
        ::unlink(path.c_str());
    transferCommand = command;
    transferLocalPath = path;
    transferType = 'A';
    SetTransferTotal(0);
    convertLineEnds = false;  // a listing keeps the server's bytes
    return ReceiveFile();
}
