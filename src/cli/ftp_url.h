#pragma once
// An "ftp://[USER[:PASSWORD]@]HOST[:PORT][/DIR]" argument, taken in place of --host, --user and
// --cwd. User, password and directory are percent-decoded; the host text is passed on as written.

#include <optional>
#include <string>
#include <string_view>
#include <variant>

struct FtpUrl {
    std::string host;  // "name", "name:port" or "[address]:port"
    std::optional<std::string> user;
    std::optional<std::string> password;  // present after "USER:", even when empty
    // Relative to the login directory, as FTP URLs are: "ftp://h/pub/" is "pub", "ftp://h//srv/"
    // and "ftp://h/%2Fsrv" are "/srv"; empty for the login directory itself.
    std::string directory;
};

bool IsFtpUrl(std::string_view text);

// The parts of the URL, or why it is not one we can use.
std::variant<FtpUrl, std::string> ParseFtpUrl(std::string_view text);
