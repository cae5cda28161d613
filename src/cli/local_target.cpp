// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/local_target.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The errno that keeps a new file from being made in `directory`; 0 when none does.
int DirectoryError(const std::string& directory)
{
    struct stat st {};
    if (::stat(directory.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    return ::access(directory.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

}  // namespace

std::string FileNameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/', path.find_last_not_of('/'));
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    return name;
}

std::variant<std::string, LocalTargetError> DownloadTarget(const std::string& remote,
                                                           const std::optional<std::string>& local, bool directoryCopy)
{
    std::string path = local.value_or("");
    // A directory copy makes LOCAL itself; a file goes inside a directory LOCAL names.
    if (path.empty() || (!directoryCopy && (path.ends_with('/') || IsDirectory(path)))) {
        const std::string name = FileNameOf(remote);
        // "..", "/" or nothing cannot be a name inside the directory.
        if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos)
            return LocalTargetError{path.empty() ? remote : path, EINVAL};
        if (!path.empty() && !path.ends_with('/'))
            path += '/';
        path += name;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        // A directory copy goes on into a directory an earlier copy made; never through a link.
        if (directoryCopy && !S_ISDIR(st.st_mode))
            return LocalTargetError{path, EEXIST};
        if (directoryCopy) {
            if (const int error = DirectoryError(path); error != 0)
                return LocalTargetError{path, error};
            return path;
        }
        if (IsDirectory(path))
            return LocalTargetError{path, EISDIR};
        // A device or a FIFO (/dev/null, /dev/stdout) is written into as it is, so its directory
        // need not be writable.
        if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
            return path;
    }
    const std::size_t slash = path.rfind('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (const int error = DirectoryError(directory); error != 0)
        return LocalTargetError{directory, error};
    return path;
}
