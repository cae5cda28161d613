// SPDX-License-Identifier: GPL-3.0-or-later
// Downloads and uploads with many requests in flight each way: one request per round trip would
// hold a transfer to a fraction of what the link carries.

#include "remote/exchange_result.h"
#include "remote/local_files.h"
#include "remote/local_names.h"
#include "remote/session_log.h"
#include "sftp/sftp_steps.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Span {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};

long long MillisecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

void LogRate(const char* verb, long long bytes, std::chrono::steady_clock::time_point started)
{
    constexpr long long kPerSecond = 1000;
    const long long milliseconds = MillisecondsSince(started);
    const long long rate = bytes * kPerSecond / std::max(milliseconds, 1LL);
    LogMessage("%sed %ld characters in %ld seconds (%ld bytes/sec)", {verb, bytes, milliseconds / kPerSecond, rate});
}

// OPEN `path` with `flags`: the handle, or nothing (refusal logged, kept in the failure).
std::optional<std::string> OpenRemote(SftpContext& context, const std::string& path, std::uint32_t flags)
{
    const std::uint32_t id = context.NextId();
    const std::optional<SftpPacket> reply =
        context.Exchange(SftpRequest(kFxpOpen, id).String(path).U32(flags).Attributes({}), id);
    if (!reply)
        return std::nullopt;
    if (reply->type == kFxpHandle) {
        if (auto handle = ParseHandle(reply->body))
            return handle;
    } else if (const auto status = reply->type == kFxpStatus ? ParseStatus(reply->body) : std::nullopt) {
        context.Refused(FormatText("OPEN %s", {path}), *status);
        return std::nullopt;
    }
    context.Malformed("OPEN");
    return std::nullopt;
}

int CloseRemote(SftpContext& context, const std::string& handle, const std::string& path)
{
    if (!context.connected)
        return kInterrupted;
    const std::uint32_t id = context.NextId();
    return context.StatusResult(context.Exchange(SftpRequest(kFxpClose, id).String(handle), id),
                                FormatText("CLOSE %s", {path}));
}

int LocalFailure(SftpContext& context, const char* what, const std::string& path, int error)
{
    context.failure.localFileError = error;
    context.failure.localPath = path;
    LogMessage("%s %s (%s)", {what, path, LocalErrorText(error)});
    return kPermanentNegative;
}

// Writes the replies of a download to the file in order, whatever order they come in.
class OrderedWriter final {
public:
    OrderedWriter(int file, std::uint64_t start) : file(file), written(start) {}

    // False when the file cannot take the bytes (errno set).
    bool Put(std::uint64_t offset, std::string_view data)
    {
        if (offset != written) {
            waiting.emplace(offset, std::string(data));
            return true;
        }
        if (!WriteAll(data))
            return false;
        for (auto next = waiting.find(written); next != waiting.end(); next = waiting.find(written)) {
            if (!WriteAll(next->second))
                return false;
            waiting.erase(next);
        }
        return true;
    }
    std::uint64_t Written() const { return written; }
    bool Gaps() const { return !waiting.empty(); }

private:
    bool WriteAll(std::string_view data)
    {
        while (!data.empty()) {
            const ssize_t done = ::write(file, data.data(), data.size());
            if (done < 0 && errno == EINTR)
                continue;
            if (done <= 0)
                return false;
            data.remove_prefix(static_cast<std::size_t>(done));
            written += static_cast<std::uint64_t>(done);
        }
        return true;
    }

    int file;
    std::uint64_t written;
    std::map<std::uint64_t, std::string> waiting;
};

// Reads the remote file from `start` into `writer`: kCompletion once the server said EOF after the
// last byte, with every byte before it in the file.
int ReadPipelined(SftpContext& context, const std::string& handle, const std::string& path, OrderedWriter& writer,
                  std::uint64_t start, std::optional<std::uint64_t> size, int& writeError)
{
    std::map<std::uint32_t, Span> inFlight;
    std::vector<Span> again;  // the rest of short replies, asked for before anything new
    std::uint64_t next = start;
    std::optional<std::uint64_t> end;  // where the server said the file ends
    // With the size known, one request past it is enough to hear EOF.
    const auto wanted = [&] { return !end && (!size || next <= *size); };
    while (context.connected) {
        while (inFlight.size() < kRequestsInFlight && (!again.empty() || wanted())) {
            Span span{next, kRequestBytes};
            if (!again.empty()) {
                span = again.back();
                again.pop_back();
            } else {
                next += kRequestBytes;
            }
            const std::uint32_t id = context.NextId();
            if (!context.Send(SftpRequest(kFxpRead, id).String(handle).U64(span.offset).U32(span.length).Bytes()))
                return kInterrupted;
            inFlight.emplace(id, span);
        }
        if (inFlight.empty())
            break;
        const std::optional<SftpPacket> reply = context.Receive();
        if (!reply)
            return kInterrupted;
        const auto found = inFlight.find(reply->id);
        if (found == inFlight.end()) {
            context.Malformed("READ");
            return kInterrupted;
        }
        const Span span = found->second;
        inFlight.erase(found);
        if (reply->type == kFxpData) {
            const auto data = ParseData(reply->body);
            if (!data || data->size() > span.length || data->empty() || (end && span.offset >= *end)) {
                context.Malformed("READ");
                return kInterrupted;
            }
            if (writeError == 0 && !writer.Put(span.offset, *data))
                writeError = errno ? errno : EIO;
            if (data->size() < span.length)
                again.push_back({span.offset + data->size(), static_cast<std::uint32_t>(span.length - data->size())});
            context.operations.SetTransferDone(static_cast<long long>(writer.Written()));
            continue;
        }
        const auto status = reply->type == kFxpStatus ? ParseStatus(reply->body) : std::nullopt;
        if (!status) {
            context.Malformed("READ");
            return kInterrupted;
        }
        if (status->code != kFxEof) {
            context.Refused(FormatText("READ %s", {path}), *status);
            return kPermanentNegative;
        }
        end = std::min(end.value_or(span.offset), span.offset);
        // What was asked for past the end is dropped; what is missing before it is asked again.
        std::erase_if(again, [&](const Span& rest) { return rest.offset >= *end; });
    }
    if (!context.connected)
        return kInterrupted;
    if (writer.Gaps() || (end && writer.Written() != *end)) {
        LogMessage("The server's data for %s has gaps; the file is not used.", {path});
        return kPermanentNegative;
    }
    return kCompletion;
}

// The local file a download goes into: the partial file of a resumable one (offset: what it
// holds), a device or pipe as it is, else a new file beside the target.
struct DownloadTarget {
    int file = -1;
    std::string growing;  // the file renamed onto the target when complete; empty: written in place
    bool resumable = false;
    std::uint64_t offset = 0;
};

DownloadTarget OpenTarget(const std::string& localPath, TransferStart start)
{
    DownloadTarget target;
    bool link = false;
    target.resumable = start == TransferStart::Resume && !IsSpecialTarget(localPath, link);
    if (target.resumable) {
        target.growing = PartialDownloadPath(localPath);
        target.file = NameFits(localPath) ? OpenPartial(target.growing) : -1;
        struct stat st {};
        if (target.file >= 0 && ::fstat(target.file, &st) == 0)
            target.offset = static_cast<std::uint64_t>(st.st_size);
        return target;
    }
    target.file = OpenSpecialTarget(localPath);
    if (target.file == kNotSpecial)
        target.file = CreateFileBeside(localPath, target.growing);
    return target;
}

}  // namespace

int Download(SftpContext& context, const std::string& remoteName, const std::string& localPath,
             const ListedFile& listed, TransferStart start)
{
    const std::string path = context.PathOf(remoteName);
    LogMessage("Tessaline: GET %s", {path});
    DownloadTarget target = OpenTarget(localPath, start);
    if (target.file < 0)
        return LocalFailure(context, "Failed to create file", localPath, errno);
    const auto discard = [&] {
        if (target.growing.empty())
            return;
        if (target.resumable) {
            LogMessage("Kept %ld bytes of %s to go on from", {static_cast<long long>(target.offset), localPath});
        } else {
            ::unlink(target.growing.c_str());
            LogMessage("Deleted partially downloaded file");
        }
    };
    const std::optional<std::string> handle = OpenRemote(context, path, kFxfRead);
    if (!handle) {
        ::close(target.file);
        if (!target.resumable && !target.growing.empty())
            ::unlink(target.growing.c_str());
        return context.connected ? kPermanentNegative : kInterrupted;
    }
    std::optional<std::uint64_t> size;
    std::optional<std::time_t> modified = listed.modified;
    {
        const std::uint32_t id = context.NextId();
        const auto reply = context.Exchange(SftpRequest(kFxpFstat, id).String(*handle), id);
        const auto attributes = reply && reply->type == kFxpAttrs ? ParseAttributes(reply->body) : std::nullopt;
        if (attributes) {
            size = attributes->size;
            if (!modified && attributes->modified)
                modified = static_cast<std::time_t>(*attributes->modified);
        }
    }
    // A partial file longer than the server's file belongs to another version of it.
    if (target.resumable && size && target.offset > *size)
        target.offset = 0;
    if (target.resumable
        && (::ftruncate(target.file, static_cast<off_t>(target.offset)) != 0
            || ::lseek(target.file, static_cast<off_t>(target.offset), SEEK_SET) < 0)) {
        const int error = errno;
        ::close(target.file);
        CloseRemote(context, *handle, path);
        return LocalFailure(context, "Failed to write file", localPath, error);
    }
    context.operations.SetTransferTotal(size ? static_cast<long long>(*size) : listed.size);
    context.operations.SetTransferStart(static_cast<long long>(target.offset));
    context.operations.SetTransferDone(static_cast<long long>(target.offset));

    const auto started = std::chrono::steady_clock::now();
    const std::uint64_t resumedFrom = target.offset;
    OrderedWriter writer(target.file, target.offset);
    int writeError = 0;
    int result = ReadPipelined(context, *handle, path, writer, target.offset, size, writeError);
    target.offset = writer.Written();
    if (::close(target.file) != 0 && writeError == 0)
        writeError = errno;
    if (context.connected) {
        const int closed = CloseRemote(context, *handle, path);
        result = result == kCompletion ? closed : result;
    }
    if (writeError != 0) {
        discard();
        return LocalFailure(context, "Failed to write file", localPath, writeError);
    }
    if (result != kCompletion) {
        discard();
        return result;
    }
    LogRate("Receiv", static_cast<long long>(writer.Written() - resumedFrom), started);
    if (!target.growing.empty() && ::rename(target.growing.c_str(), localPath.c_str()) != 0) {
        const int error = errno;
        discard();
        return LocalFailure(context, "Failed to write file", localPath, error);
    }
    if (context.settings.keepTimes && modified && !target.growing.empty()) {
        const timespec times[2] = {{*modified, 0}, {*modified, 0}};
        if (::utimensat(AT_FDCWD, localPath.c_str(), times, 0) != 0)
            LogMessage("Could not set the modification time of %s (%s)", {localPath, LocalErrorText(errno)});
    }
    return kCompletion;
}

int Upload(SftpContext& context, const std::string& remoteName, const std::string& localPath, TransferStart start)
{
    const int file = ::open(localPath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat local {};
    if (file < 0 || ::fstat(file, &local) != 0 || !S_ISREG(local.st_mode)) {
        const int error = file < 0 ? errno : (S_ISDIR(local.st_mode) ? EISDIR : EINVAL);
        if (file >= 0)
            ::close(file);
        return LocalFailure(context, "Could not open file", localPath, error);
    }
    const std::string path = context.PathOf(remoteName);
    LogMessage("Tessaline: PUT %s", {path});
    const auto size = static_cast<std::uint64_t>(local.st_size);
    std::uint64_t offset = 0;
    if (start == TransferStart::Resume) {
        if (const auto remote = StatPath(context, path, true); remote && remote->size && *remote->size <= size)
            offset = *remote->size;
        if (!context.connected) {
            ::close(file);
            return kInterrupted;
        }
    }
    const std::uint32_t flags = kFxfWrite | kFxfCreate | (offset == 0 ? std::uint32_t{kFxfTruncate} : 0U);
    const std::optional<std::string> handle = OpenRemote(context, path, flags);
    if (!handle) {
        ::close(file);
        return context.connected ? kPermanentNegative : kInterrupted;
    }
    context.operations.SetTransferTotal(static_cast<long long>(size));
    context.operations.SetTransferStart(static_cast<long long>(offset));
    context.operations.SetTransferDone(static_cast<long long>(offset));

    const auto started = std::chrono::steady_clock::now();
    std::map<std::uint32_t, std::uint32_t> inFlight;  // request id: bytes
    std::uint64_t next = offset;
    std::uint64_t done = offset;
    int result = kCompletion;
    int readError = 0;
    std::string chunk(kRequestBytes, '\0');
    while (context.connected) {
        while (result == kCompletion && readError == 0 && inFlight.size() < kRequestsInFlight && next < size) {
            const ssize_t got = ::pread(file, chunk.data(), std::min<std::uint64_t>(kRequestBytes, size - next),
                                        static_cast<off_t>(next));
            if (got <= 0) {
                readError = got < 0 ? errno : EIO;  // the file shrank while it was sent
                break;
            }
            const std::uint32_t id = context.NextId();
            const std::string_view data(chunk.data(), static_cast<std::size_t>(got));
            if (!context.Send(SftpRequest(kFxpWrite, id).String(*handle).U64(next).String(data).Bytes()))
                break;
            inFlight.emplace(id, static_cast<std::uint32_t>(got));
            next += static_cast<std::uint64_t>(got);
        }
        if (inFlight.empty() || !context.connected)
            break;
        const std::optional<SftpPacket> reply = context.Receive();
        const auto found = reply ? inFlight.find(reply->id) : inFlight.end();
        if (reply && found == inFlight.end()) {
            context.Malformed("WRITE");
            break;
        }
        if (!reply)
            break;
        const std::uint32_t bytes = found->second;
        inFlight.erase(found);
        // Every reply in flight is waited for after a refusal, so the handle closes in order.
        if (context.StatusResult(reply, FormatText("WRITE %s", {path})) == kCompletion) {
            done += bytes;
            context.operations.SetTransferDone(static_cast<long long>(done));
        } else if (result == kCompletion) {
            result = context.connected ? kPermanentNegative : kInterrupted;
        }
    }
    ::close(file);
    if (!context.connected)
        return kInterrupted;
    const int closed = CloseRemote(context, *handle, path);
    if (readError != 0)
        return LocalFailure(context, "Could not read file", localPath, readError);
    if (result != kCompletion || closed != kCompletion)
        return result != kCompletion ? result : closed;
    LogRate("Transmitt", static_cast<long long>(done - offset), started);
    if (context.settings.keepTimes) {
        SftpAttributes times;
        times.modified = static_cast<std::uint32_t>(local.st_mtime);
        times.accessed = static_cast<std::uint32_t>(local.st_atime);
        const std::uint32_t id = context.NextId();
        context.StatusResult(context.Exchange(SftpRequest(kFxpSetstat, id).String(path).Attributes(times), id),
                             FormatText("Could not set the modification time of %s", {path}));
    }
    if (offset > 0) {
        const auto remote = StatPath(context, path, true);
        if (!remote || !remote->size || *remote->size != size) {
            LogMessage("The server's file %s does not have the %ld bytes sent.", {path, static_cast<long long>(size)});
            return context.connected ? kPermanentNegative : kInterrupted;
        }
    }
    return kCompletion;
}
