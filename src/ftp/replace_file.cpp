#include "ftp/replace_file.h"

#include "ftp/write_all.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
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

}  // namespace

bool ReplaceFile(const std::string& path, const std::string& content, std::string& failure)
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
