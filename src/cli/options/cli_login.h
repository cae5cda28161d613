// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user and password of a run. The first source that gives a password is used: --password,
// the URL's or the site profile's, --password-file, ~/.netrc, then a prompt on the terminal. Only
// the last three keep the password out of the process list, which every user of the machine reads.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// The most a password file's first line (without its end) or the whole ~/.netrc may hold: far more
// than any password or list of logins, and a bound on what a device or an endless pipe can make the
// run read.
constexpr std::size_t kSecretFileLimit = 64 * 1024;

struct LoginSources {
    std::string host;                     // the host text the run connects to
    std::optional<std::string> user;      // --user, the URL's or the site profile's
    std::optional<std::string> password;  // --password, else the URL's or the site profile's
    std::optional<std::string> passwordFile;
    std::string netrcPath;  // empty: none
};

struct CliLogin {
    std::string user;                   // "anonymous" when nothing names one
    std::string password;               // empty when nothing gave one
    std::vector<std::string> warnings;  // for standard error: a ~/.netrc refused, a file others can read
};

// Shows the text and answers what the user typed; nothing when there is no terminal to ask on.
using PasswordPrompt = std::function<std::optional<std::string>(const std::string& text)>;

// The login, or why the run cannot go on (a --password-file that cannot be read). A ~/.netrc that
// other users can read or change is not used. The prompt is asked only for a user other than
// "anonymous", whose password is the e-mail address of the settings.
std::variant<CliLogin, std::string> ResolveLogin(const LoginSources& sources, const PasswordPrompt& prompt);
