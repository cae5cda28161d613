// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/replace_file.h"

#include "ftp/internal/write_all.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>

namespace {

std::string Failure(const std::string& path, int error)
{
    return path + ": " + std::strerror(error);
}

// The file a save replaces: `path` itself, or the file a symbolic link there names (so the link
// stays). A link that names nothing yet gives the path it names.
std::string SaveTarget(std::string path)
{
    for (int hops = 0; hops < 40; ++hops) {
        std::string target(4096, '\0');
        const ssize_t size = ::readlink(path.c_str(), target.data(), target.size());
        if (size < 0 || static_cast<std::size_t>(size) >= target.size())
            return path;
        target.resize(static_cast<std::size_t>(size));
        if (target.front() != '/')
            target = path.substr(0, path.rfind('/') + 1) + target;
        path = target;
    }
    return path;
}

void RemoveLeftoverTemporaries(const std::string& directory, std::string_view prefix)
{
    DIR* listing = ::opendir(directory.c_str());
    if (!listing)
        return;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string_view name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.starts_with(prefix))
            ::unlink((directory + std::string(name)).c_str());
    }
    ::closedir(listing);
}

// The lock every save of one file holds, on ".NAME.lock" beside it. An flock belongs to the open
// file description, so two threads of one process exclude each other as two processes do.
class SaveLock final {
public:
    SaveLock(const std::string& path, std::string& failure)
    {
        const std::size_t name = path.rfind('/') + 1;  // 0 when there is no slash
        const std::string lockPath = path.substr(0, name) + "." + path.substr(name) + ".lock";
        fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        int locked = -1;
        while (fd >= 0 && (locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
        }
        if (locked == 0)
            return;
        failure = Failure(lockPath, errno);
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    ~SaveLock()
    {
        if (fd >= 0)
            ::close(fd);
    }
    SaveLock(const SaveLock&) = delete;
    SaveLock& operator=(const SaveLock&) = delete;

    bool Held() const { return fd >= 0; }

private:
    int fd = -1;
};

// The content of `path`, empty when there is no such file; nothing, with `failure` set, when it
// is there but cannot be read.
std::optional<std::string> CurrentContent(const std::string& path, std::string& failure)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::string();
        failure = Failure(path, errno);
        return std::nullopt;
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            content.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        const int error = errno;
        ::close(fd);
        if (got == 0)
            return content;
        failure = Failure(path, error);
        return std::nullopt;
    }
}

// ReplaceFile's work, for a caller that holds the lock.
bool WriteInPlace(const std::string& path, const std::string& content, std::string& failure)
{
    const std::string target = SaveTarget(path);
    const std::string directory = target.substr(0, target.rfind('/') + 1);
    // Named after `path`, not the file a link names, so the leftovers are found under one name.
    const std::string prefix = "." + path.substr(path.rfind('/') + 1) + "-";
    RemoveLeftoverTemporaries(directory.empty() ? "./" : directory, prefix);
    std::string temporary = directory + prefix + "XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        failure = Failure(temporary.substr(0, temporary.size() - 6), errno);
        return false;
    }
    bool written = WriteAll(fd, content) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && ::rename(temporary.c_str(), target.c_str()) == 0)
        return true;
    failure = Failure(target, written ? errno : error);
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace

bool ReplaceFile(const std::string& path, const std::string& content, std::string& failure)
{
    const SaveLock lock(path, failure);
    return lock.Held() && WriteInPlace(path, content, failure);
}

bool UpdateFile(const std::string& path,
                const std::function<std::optional<std::string>(const std::string& content)>& change,
                std::string& failure)
{
    const SaveLock lock(path, failure);
    if (!lock.Held())
        return false;
    const std::optional<std::string> current = CurrentContent(path, failure);
    if (!current)
        return false;
    const std::optional<std::string> changed = change(*current);
    return !changed || WriteInPlace(path, *changed, failure);
}
