// SPDX-License-Identifier: GPL-3.0-or-later
// File transfers: the window-thread halves that make the transfer, start a worker and wait, and
// the worker halves that open the data connection and run the data command.

#include "ftp/ftp_session.h"
#include "ftp/internal/control_connection.h"
#include "ftp/internal/data_connection.h"
#include "ftp/internal/extension_table.h"
#include "ftp/internal/file_transfer.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/session_context.h"
#include "ftp/internal/session_steps.h"
#include "ftp/internal/socket_address.h"
#include "ftp/local_dirs.h"
#include "ftp/socket_errors.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"

#include <cerrno>
#include <fstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// 0 when `path` is a regular file we may read (its size and time in `upload`), else the reason as
// an errno value.
int ReadableFileError(const std::string& path, FileTransfer& upload)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno;
    if (!S_ISREG(st.st_mode))
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    upload.uploadSize = st.st_size;
    upload.localModified = st.st_mtime;
    return ::access(path.c_str(), R_OK) == 0 ? 0 : errno;
}

// 'A', 'I' or 'L' for a name (".unk." for names without a dot) from "Extension.ftp".
char LookUpTransferType(const std::string& fileName)
{
    std::ifstream table(DataDirectory() + "Extension.ftp");
    return table ? TransferTypeFromTable(table, fileName) : 'I';
}

// Waits for a transfer's worker under `text`; a cancel marks the transfer aborted:
// kTransferCancelled.
int AwaitTransfer(CFtpSession& session, std::thread& worker, const std::string& text)
{
    if (!session.operations.Wait(worker, WaitKind::FileTransfer, text)) {
        session.commandDepth = 0;
        session.transferAborted = 1;
        return kTransferCancelled;
    }
    return session.operations.WorkerResult();
}

}  // namespace

std::unique_ptr<FileTransfer> NewTransfer(CFtpSession& session, std::string command, std::string localPath)
{
    OperationRunner& operations = session.operations;
    TransferReport report{[&operations](long long total) { operations.SetTransferTotal(total); },
                          [&operations](long long done) { operations.SetTransferDone(done); },
                          [&operations](long long start) { operations.SetTransferStart(start); },
                          session.localFileError, session.transferCutShort};
    return std::make_unique<FileTransfer>(*session.context, *session.control, *session.data, std::move(report),
                                          std::move(command), std::move(localPath));
}

int CFtpSession::StoreFile(const std::string& remoteName, const std::string& localPath, TransferStart start)
{
    // The worker takes the transfer over only once it runs: one refused because another still
    // runs leaves that one's transfer alone.
    std::shared_ptr<FileTransfer> next = NewTransfer(*this, FormatText("STOR %s", {remoteName}), localPath);
    next->resumable = start == TransferStart::Resume;
    next->remoteName = remoteName;
    transferLocalPath = localPath;
    localFileError = 0;
    transferCutShort = false;
    operations.SetTransferTotal(0);
    operations.SetTransferDone(0);
    std::thread worker = operations.Start([this, next] {
        transfer = next;
        // The mode in force now, so a change in the options applies to the next upload at once.
        transferType = static_cast<char>(Settings().transferMode.load());
        operations.SetWorkerResult(SendFile());
    });
    return AwaitTransfer(*this, worker, FormatText("Sending %s To %s", {remoteName, hostName}));
}

int CFtpSession::SendFile()
{
    replyCode = 0;
    if (control->socket == -1) {
        LogMessage("Socket is not connected!");
        return kTransferNotStarted;
    }
    if (commandDepth != 0) {
        LogMessage("Currently processing a command.");
        transferAborted = 1;
        return kTransferNotStarted;
    }
    FileTransfer& upload = *transfer;
    upload.type = transferType;  // what the upload worker set from the options
    // STOR would empty the remote file before we learn the local one cannot be read.
    if (const int error = ReadableFileError(upload.localPath, upload); error != 0) {
        localFileError = error;
        LogMessage("Could not open file %s (%s)", {upload.localPath, ErrorNumberText(error)});
        return kPermanentNegative;
    }
    control->SetRepresentationType(upload.type == 'F' ? 'I'
                                                      : upload.type);  // uploads do not look at the extension table
    upload.convertLineEnds = upload.type == 'A';
    if (upload.resumable)
        PrepareResumedUpload(*this, upload);

    if (!data->Open()) {
        transferAborted = 1;
        return kPermanentNegative;
    }
    // A server that refused our address will not connect to it, and STOR would empty the remote
    // file for nothing.
    if (data->listenSocket != -1 && data->addressRefused) {
        data->CloseListener();
        transferAborted = 1;
        return kPermanentNegative;
    }
    std::string command = upload.command;
    if (upload.startOffset > 0 && !RestartUpload(*this, upload, command)) {
        data->Close();
        transferAborted = 1;
        return kTransferNotStarted;
    }
    if (control->Command("%s", {command}) != kPreliminary) {  // 150: the data connection is used now
        data->Close();
        transferAborted = 1;
        return kTransferNotStarted;
    }
    if (data->listenSocket != -1) {  // active mode: the server connects to us now
        if (const int error = data->Accept(); error != 0) {
            if (error != DataConnection::kServerAnswered)
                LogSocketError("accept", error);
            data->CloseListener();
            transferAborted = 1;
            return kPermanentNegative;
        }
        data->CloseListener();
        LogMessage("[%u] accept from %s port %u",
                   {data->socket, AddressText(data->peerAddress), PortOf(data->peerAddress)});
    }
    if (!data->Secure()) {
        data->CloseData();
        if (!interrupted)
            control->ReadReply();
        transferAborted = 1;
        return kPermanentNegative;
    }

    const long long localSize = upload.uploadSize;
    const int outcome = upload.UploadFromFile(upload.localPath);
    if (outcome == kCompletion)
        data->EndTls(true);
    data->CloseData();  // the end of the data tells the server the file is complete
    if (outcome == kInterrupted)
        return kInterrupted;
    const int reply = control->ReadReply();
    // The server may well confirm what arrived; a file that was not all sent is still a failure.
    if (outcome == kPermanentNegative)
        return kPermanentNegative;
    const int result = upload.resumable ? ConfirmStoredSize(*this, upload, localSize, reply) : reply;
    if (result == kCompletion)
        KeepUploadedTime(*this, upload);
    return result;
}

int CFtpSession::RetrieveFile(const std::string& remoteName, const std::string& localPath, const ListedFile& listed,
                              TransferStart start)
{
    std::shared_ptr<FileTransfer> next = NewTransfer(*this, FormatText("RETR %s", {remoteName}), localPath);
    next->resumable = start == TransferStart::Resume;
    next->remoteName = remoteName;
    next->listedTime = listed.modified;
    next->askTime = listed.askTime;
    char type = transferMode;
    if (transferMode == 'F') {
        const std::size_t dot = remoteName.find('.');
        type = LookUpTransferType(dot == std::string::npos ? std::string(".unk.") : remoteName.substr(dot));
    }
    transferType = type;
    next->type = type;
    next->convertLineEnds = type == 'A';
    transferLocalPath = localPath;
    localFileError = 0;
    transferCutShort = false;
    operations.SetTransferTotal(listed.size);
    operations.SetTransferDone(0);  // the status dialog must not show the last transfer's count
    std::thread worker = operations.Start([this, next] {
        transfer = next;
        const int result = ReceiveFile();
        next->ClosePartialFile();
        operations.SetWorkerResult(result);
    });
    return AwaitTransfer(*this, worker, FormatText("Retrieving %s From %s", {remoteName, hostName}));
}

int CFtpSession::ReceiveFile()
{
    replyCode = 0;
    if (control->socket == -1) {
        LogMessage("Socket not connected.");
        return kTransferNotStarted;
    }
    if (commandDepth != 0) {
        LogMessage("Currently in process.");
        return kTransferNotStarted;
    }
    FileTransfer& download = *transfer;
    control->SetRepresentationType(download.type);
    if (download.resumable && !PrepareResumedDownload(*this, download))
        return kPermanentNegative;

    if (!data->Open())
        return kTransferNotStarted;
    if (download.startOffset > 0 && !RestartDownload(*this, download)) {
        data->Close();
        return kTransferNotStarted;
    }
    download.announcedBytes = 0;
    if (control->Command("%s", {download.command}) != kPreliminary) {  // 150: the data connection is used now
        data->Close();
        return kTransferNotStarted;
    }
    // The size SIZE gave holds for a restarted transfer, whatever the 150 reply counts.
    download.announcedBytes = download.expectedSize >= 0 ? download.expectedSize - download.startOffset
                                                         : SizeFromPreliminaryReply(replyBuffer);
    if (download.announcedBytes > 0)
        operations.SetTransferTotal(download.startOffset + download.announcedBytes);
    if (data->listenSocket != -1) {  // active mode: the server connects to us now
        if (const int error = data->Accept(); error != 0) {
            if (error != DataConnection::kServerAnswered)
                LogSocketError("accept", error);
            data->CloseListener();
            return kTransferNotStarted;
        }
        LogMessage("Tessaline: Closing Listener Socket");
        data->CloseListener();
        LogMessage("[%u] Accepted from %s port %u",
                   {data->socket, AddressText(data->peerAddress), PortOf(data->peerAddress)});
    }
    if (!data->Secure()) {
        data->CloseData();
        if (!interrupted)
            control->ReadReply();
        return kTransferNotStarted;
    }

    const int outcome = download.DownloadToFile(download.localPath);
    if (outcome != kInterrupted)
        data->EndTls(false);
    // After a TLS close the server may already have closed its end.
    if (::shutdown(data->socket, SHUT_RDWR) != 0 && outcome != kInterrupted && !data->protect)
        LogSocketError("ShutDown", SocketErrorNumber(errno));
    data->CloseData();
    if (outcome == kInterrupted)
        return kInterrupted;
    const int reply = control->ReadReply();
    // The server may well have sent everything; a file we could not keep is still a failure.
    const int result = download.KeepDownload(outcome == kPermanentNegative ? kPermanentNegative : reply);
    if (result == kCompletion)
        KeepDownloadedTime(*this, download);
    return result;
}

int CFtpSession::ReceiveToFile(const std::string& command, const std::string& path)
{
    if (!path.empty())
        ::unlink(path.c_str());
    transfer = NewTransfer(*this, command, path);
    transferLocalPath = path;
    transferType = 'A';
    transfer->type = 'A';
    operations.SetTransferTotal(0);
    transfer->convertLineEnds = false;  // a listing keeps the server's bytes
    return ReceiveFile();
}
