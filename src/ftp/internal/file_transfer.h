// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: one transfer of a session, from the data command to the copy loop over the
// data connection. A download grows in a temporary file beside its target, which waits for the
// server's final reply (KeepDownload) before it takes the target's name; a resumable one grows in
// the target's partial file instead, which it keeps when it fails.

#include <ctime>
#include <functional>
#include <optional>
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
    std::function<void(long long)> setStart;  // the bytes of `done` the transfer does not carry
    int& localFileError;
    bool& cutShort;  // the data connection broke or ended before every byte came
};

class FileTransfer final {
public:
    FileTransfer(SessionContext& context, ControlConnection& control, DataConnection& data, TransferReport report,
                 std::string command, std::string localPath);

    // A resumable download: opens the partial file beside the target, made empty when there is
    // none, and returns the bytes it holds; -1 when it cannot be had (logged). A target that is
    // a device or a pipe is written as in a plain download: the transfer is no longer resumable.
    long long OpenPartialFile();
    // Once the download has ended: a partial file it did not take is closed, and deleted when it
    // holds nothing to go on from.
    void ClosePartialFile();

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
    // Resume: a download in the partial file, an upload onto what the server holds.
    bool resumable = false;
    std::string remoteName;       // for SIZE, and APPE in place of STOR
    long long startOffset = 0;    // the bytes of the file this transfer does not carry (REST)
    long long expectedSize = -1;  // the whole file as SIZE gave it; -1: not known
    // Times kept: what a listing showed of a download's time (UTC), whether MDTM is to be asked
    // when it showed none, and an upload's local time.
    std::optional<std::time_t> listedTime;
    bool askTime = false;
    std::time_t localModified = 0;

private:
    // A failed resumable download keeps what came for the next try; an empty one has nothing.
    void KeepPartialFile();

    int partialFile = -1;  // open from OpenPartialFile until the download takes it
    std::string partialPath;

    SessionContext& context;
    ControlConnection& control;
    DataConnection& data;
    TransferReport report;
    std::vector<char> chunk;
};

// Appends "%sed %ld characters in %ld seconds (%ld bytes/sec)" to the session log: whole seconds,
// the rate from the milliseconds the transfer took.
void LogRate(std::string_view verb, long long bytes, long long milliseconds);
