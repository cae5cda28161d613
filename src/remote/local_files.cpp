// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/local_files.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

// Whether `path` can be a file's name in its directory; ENAMETOOLONG in errno when not.
bool NameFits(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const long longestName = ::pathconf(directory.empty() ? "." : directory.c_str(), _PC_NAME_MAX);
    if (path.size() >= PATH_MAX || (longestName > 0 && name.size() > static_cast<std::size_t>(longestName))) {
        errno = ENAMETOOLONG;
        return false;
    }
    return true;
}

// A new file beside `path` for a download to grow in; it replaces `path` only when complete, so
// a failed or cancelled download never leaves part of a file under the final name, nor costs the
// file that was there. Its name is short, so every target name that fits the directory fits it
// too; a target name that does not fit fails here, before any data is fetched.
int CreateFileBeside(const std::string& path, std::string& temporary)
{
    if (!NameFits(path))
        return -1;
    const std::string directory = path.substr(0, path.rfind('/') + 1);  // empty when there is no slash
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

// The partial file of a resumable download, opened for writing. Only a regular file of the
// user's own, with no other name, is continued; a link, a pipe or another user's file planted
// under the name is never written through, but replaced by a new empty file.
int OpenPartial(const std::string& path)
{
    // Not blocking: a FIFO under the name must not hold the download before it is looked at.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    struct stat st {};
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1)
        return fd;
    if (fd >= 0)
        ::close(fd);
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return -1;
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

// Whether the target of a download is a device or a pipe (/dev/null, a FIFO a script reads),
// which is written into as it is: a file renamed over it would replace the device itself. A link
// is followed only when it is the user's own or the system's (/dev/stdout); `link` says whether
// `path` is one.
bool IsSpecialTarget(const std::string& path, bool& link)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return false;
    link = S_ISLNK(st.st_mode);
    if (link && ((st.st_uid != ::geteuid() && st.st_uid != 0) || ::stat(path.c_str(), &st) != 0))
        return false;
    return !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

// The special target of a download (IsSpecialTarget). Only a character device or the user's own
// FIFO is used: another user's FIFO planted under the target name in a shared directory must not
// receive the file. kNotSpecial when the download is to grow beside `path`; -1 with errno set
// when the special file must not or cannot be used.
int OpenSpecialTarget(const std::string& path)
{
    bool link = false;
    if (!IsSpecialTarget(path, link))
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
