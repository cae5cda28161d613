// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options/cli_login.h"

#include "cli/options/netrc.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kOthersAccess = S_IRWXG | S_IRWXO;

struct FileText {
    std::string text;  // at most kSecretFileLimit + 1 bytes, so that a longer file or line shows
    mode_t mode = 0;
};

enum class Extent { FirstLine, RegularFile };

// What `path` holds, with the mode of the file read even when the path is replaced meanwhile, or
// the errno of the failure. FirstLine stops reading at the first line end: a pipe's writer may keep
// it open after the line. RegularFile opens without waiting, so that a FIFO nobody writes to cannot
// hold the run, and reads nothing from anything but a regular file.
std::variant<FileText, int> ReadFile(const std::string& path, Extent extent)
{
    const bool firstLine = extent == Extent::FirstLine;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (firstLine ? 0 : O_NONBLOCK));
    if (fd < 0)
        return errno;
    FileText file;
    struct stat status {};
    int error = ::fstat(fd, &status) == 0 ? 0 : errno;
    file.mode = status.st_mode;
    bool more = firstLine || S_ISREG(status.st_mode);
    char buffer[4096];
    while (!error && more && file.text.size() <= kSecretFileLimit) {
        const ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, kSecretFileLimit + 1 - file.text.size()));
        if (n < 0)
            error = errno;
        more = n > 0 && !(firstLine && std::memchr(buffer, '\n', static_cast<std::size_t>(n)));
        if (n > 0)
            file.text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (error)
        return error;
    return file;
}

std::string ModeText(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::string FirstLine(const std::string& text)
{
    std::string line = text.substr(0, text.find('\n'));
    if (line.ends_with('\r'))
        line.pop_back();
    return line;
}

}  // namespace

std::variant<CliLogin, std::string> ResolveLogin(const LoginSources& sources, const PasswordPrompt& prompt)
{
    CliLogin login;
    std::optional<std::string> user = sources.user;
    const auto with = [&login, &user](std::string password) {
        login.user = user.value_or("anonymous");
        login.password = std::move(password);
        return login;
    };
    if (sources.password)
        return with(*sources.password);

    if (const auto& path = sources.passwordFile) {
        const auto file = ReadFile(*path, Extent::FirstLine);
        if (const int* error = std::get_if<int>(&file))
            return "cannot read the password file " + *path + ": " + std::strerror(*error);
        const FileText& read = std::get<FileText>(file);
        if (read.text.size() > kSecretFileLimit && read.text.find('\n') == std::string::npos) {
            return "cannot read the password file " + *path + ": its first line is longer than "
                + std::to_string(kSecretFileLimit) + " bytes";
        }
        // Named on purpose (often a secret a container or a CI job mounts read-only), so used;
        // the warning says how to keep it private.
        if (read.mode & kOthersAccess) {
            login.warnings.push_back(*path + " can be read or changed by other users (mode " + ModeText(read.mode)
                                     + "); chmod 600 " + *path + " keeps the password to you");
        }
        return with(FirstLine(read.text));
    }

    if (const std::string& path = sources.netrcPath; !path.empty()) {
        const auto file = ReadFile(path, Extent::RegularFile);
        if (const int* error = std::get_if<int>(&file)) {
            if (*error != ENOENT)
                login.warnings.push_back("cannot read " + path + ": " + std::strerror(*error));
        } else if (const FileText& read = std::get<FileText>(file); !S_ISREG(read.mode)) {
            login.warnings.push_back(path + " is not used: it is not a regular file");
        } else if (read.text.size() > kSecretFileLimit) {
            login.warnings.push_back(path + " is not used: it is larger than " + std::to_string(kSecretFileLimit)
                                     + " bytes");
        } else if (read.mode & kOthersAccess) {
            login.warnings.push_back(path + " is not used: other users can read or change it (mode "
                                     + ModeText(read.mode) + "); chmod 600 " + path + " makes it usable");
        } else if (const auto entry = FindNetrcEntry(ParseNetrc(read.text), sources.host, user)) {
            if (!user)
                user = entry->login;
            if (entry->password)
                return with(*entry->password);
        }
    }

    const std::string name = user.value_or("anonymous");
    if (name != "anonymous") {
        if (auto typed = prompt("Password for " + name + "@" + sources.host + ": "))
            return with(std::move(*typed));
    }
    return with("");
}
