#include "ftp/local_dirs.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

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

} // namespace

std::string DataDirectory()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    const std::string dir = (data && *data) ? std::string(data) + "/Tessaline"
                                            : std::string(home ? home : "") + "/.local/share/Tessaline";
    return MakeParents(dir) && MakePrivateDirectory(dir) ? dir + "/" : std::string();
}

std::string PrivateTempDirectory()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string dir = (runtime && *runtime)
        ? std::string(runtime) + "/tessaline"
        : "/tmp/tessaline-" + std::to_string(::getuid());
    return MakePrivateDirectory(dir) ? dir + "/" : std::string();
}
