// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/local_dirs.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// A private directory must be ours and closed to others: another user could otherwise plant links
// or read what we stage there.
bool MakePrivateDirectory(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    return (st.st_mode & 0077) == 0 || ::chmod(path.c_str(), 0700) == 0;
}

// Creates the missing directories above `path` with mode 0700; whether `path`'s parent exists.
bool MakeParents(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (::mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

constexpr std::string_view kListingPrefix = "listing-";

// Whether the listing directory at `path` ("listing-<pid>-<random>") belongs to a process that is
// gone: its process does not exist and nobody holds its lock (which also covers a process of the
// same number in another PID namespace sharing the directory).
bool IsStaleListingDirectory(const std::filesystem::path& path)
{
    const std::string name = path.filename().string();
    const int pid = std::atoi(name.c_str() + kListingPrefix.size());
    if (pid <= 0 || ::kill(pid, 0) == 0 || errno != ESRCH)
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

void RemoveStaleListingDirectories(const std::string& temporary)
{
    std::vector<std::filesystem::path> stale;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(temporary, error)) {
        if (entry.path().filename().string().starts_with(kListingPrefix)
            && entry.symlink_status(error).type() == std::filesystem::file_type::directory
            && IsStaleListingDirectory(entry.path()))
            stale.push_back(entry.path());
    }
    for (const auto& path : stale)
        std::filesystem::remove_all(path, error);
}

// Made once per process; its lock is held until the directory is removed at exit.
class ProcessListingDirectory final {
public:
    ProcessListingDirectory()
    {
        const std::string temporary = PrivateTempDirectory();
        if (temporary.empty())
            return;
        RemoveStaleListingDirectories(temporary);
        std::string made = temporary + std::string(kListingPrefix) + std::to_string(::getpid()) + "-XXXXXX";
        if (!::mkdtemp(made.data()))
            return;
        lock = ::open(made.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0) {
            ::rmdir(made.c_str());
            return;
        }
        path = made + "/";
    }
    ~ProcessListingDirectory()
    {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
        if (lock >= 0)
            ::close(lock);
    }
    ProcessListingDirectory(const ProcessListingDirectory&) = delete;
    ProcessListingDirectory& operator=(const ProcessListingDirectory&) = delete;

    std::string path;

private:
    int lock = -1;
};

// A private directory of this process's own, removed when it ends: where anyone may make the
// shared name first, as in /tmp, nobody can take this one.
class ProcessTempDirectory final {
public:
    explicit ProcessTempDirectory(const std::string& base)
    {
        std::string made = base + "-XXXXXX";
        if (::mkdtemp(made.data()))
            path = made + "/";
    }
    ~ProcessTempDirectory()
    {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
    ProcessTempDirectory(const ProcessTempDirectory&) = delete;
    ProcessTempDirectory& operator=(const ProcessTempDirectory&) = delete;

    std::string path;
};

}  // namespace

std::string DataDirectory()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const std::string dir =
        (data && *data) ? std::string(data) + "/Tessaline" : std::string(home ? home : "") + "/.local/share/Tessaline";
    return MakeParents(dir) && MakePrivateDirectory(dir) ? dir + "/" : std::string();
}

std::string PrivateTempDirectory()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        const std::string dir = std::string(runtime) + "/tessaline";
        return MakePrivateDirectory(dir) ? dir + "/" : std::string();
    }
    const char* temporary = std::getenv("TMPDIR");
    const std::string dir =
        std::string(temporary && *temporary ? temporary : "/tmp") + "/tessaline-" + std::to_string(::getuid());
    if (MakePrivateDirectory(dir))
        return dir + "/";
    static const ProcessTempDirectory own(dir);
    return own.path;
}

std::string ListingDirectory()
{
    static const ProcessListingDirectory directory;
    return directory.path;
}
