// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: one transfer of a session, from the data command to the copy loop over the
// data connection. A download grows in a temporary file beside its target, which waits for the
// server's final reply (KeepDownload) before it takes the target's name.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class ControlConnection;
class DataConnection;
struct SessionContext;

// The session's side of a transfer: the progress the front ends read under the session lock, and
// the errno of a failure on the local file.
struct TransferReport final {
    std::function<void(long long)> setTotal;
    std::function<void(long long)> setDone;
    int& localFileError;
};

class FileTransfer final {
public:
    FileTransfer(SessionContext& context, ControlConnection& control, DataConnection& data, TransferReport report,
                 std::string command, std::string localPath);

    // Copies the data connection into a file for `path`: kCompletion, kPermanentNegative,
    // kInterrupted, or kTransferNotStarted without a data connection.
    int DownloadToFile(const std::string& path);
    // Puts a received file in place once the final reply is 2 (or, when no reply came, once every
    // byte the 150 reply announced did), or deletes it; the final result.
    int KeepDownload(int result);
    // Sends the file at `path` over the data connection: kCompletion, kPermanentNegative or
    // kInterrupted.
    int UploadFromFile(const std::string& path);

    const std::string command;     // the data command, "RETR name"
    const std::string localPath;   // the local file the front end chose
    char type = 'I';               // 'A', 'I', 'F' (sent as I) or 'L' (TYPE L 8)
    bool convertLineEnds = false;  // CR LF turns into LF or back (ASCII files)
    long long uploadSize = -1;     // the local file's size when STOR was sent; -1: not known
    long long announcedBytes = 0;  // the size the download's preliminary reply named; 0: none
    long long receivedBytes = 0;
    std::string receivedFile;  // a complete download waiting for the server's final reply

private:
    SessionContext& context;
    ControlConnection& control;
    DataConnection& data;
    TransferReport report;
    std::vector<char> chunk;
};

// Appends "%sed %ld characters in %ld seconds (%ld bytes/sec)" to the session log: whole seconds,
// the rate from the milliseconds the transfer took.
void LogRate(std::string_view verb, long long bytes, long long milliseconds);
