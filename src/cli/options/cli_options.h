// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line of tessaline-ftp: options, the command and its arguments.

#include "ftp/ftp_url.h"

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// Where a password stands among the arguments: argument `argument` (0 is the first after the
// program's name) holds it at `text`.
struct SecretArgument {
    std::size_t argument = 0;
    TextSpan text;
};

// What a run speaks: FTP (with or without TLS) or SFTP over SSH.
enum class CliProtocol { Ftp, Sftp };

struct CliOptions {
    std::string site;
    std::string group;
    std::string host;  // may end in ":PORT"
    // Unless given: with --site the profile's; else "anonymous" or the login that ~/.netrc names.
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::string cwd;
    std::optional<char> mode;             // 'A', 'I' or 'F'
    std::optional<int> passiveMode;       // --active or --passive: a DataConnectionMode ("Passive Mode") for this run
    std::optional<int> encryption;        // --tls or ftps://: the site's "ENCRYPTION=" values, for this run
    std::string trustedFingerprint;       // --trust-certificate, normalised; empty: none
    std::optional<CliProtocol> protocol;  // --protocol or the URL's scheme; none: FTP
    std::string trustedHostKey;           // --trust-host-key: "SHA256:" and the base64; empty: none
    std::optional<int> firewallStyle;     // a FirewallStyle
    std::optional<std::string> firewallHost;
    std::optional<std::string> firewallUser;
    std::optional<std::string> firewallPassword;
    // The other places a password may come from (see ResolveLogin); an ftp:// or sftp:// URL fills in host,
    // user and cwd as well.
    std::optional<std::string> urlPassword;
    std::optional<std::string> passwordFile;
    std::optional<int> parallel;    // --parallel: connections of getdir and putdir (default: "Connections")
    std::optional<int> retries;     // --retries: more tries of a file after a failure that may pass
    bool continueDownload = false;  // get --continue: go on from what a failed run left, and keep it on failure
    bool noFirewall = false;
    bool noKeepTimes = false;  // --no-keep-times: copies get the time of the copy, whatever the setting says
    bool quiet = false;
    bool help = false;     // -h, --help
    bool version = false;  // --version
    std::string command;
    std::vector<std::string> arguments;
    // The values of --password and --firewall-password and the URL's password, to be blanked in
    // the process's own arguments once read.
    std::vector<SecretArgument> secrets;
};

// The options, or the text of a usage error.
std::variant<CliOptions, std::string> ParseCliOptions(const std::vector<std::string>& args);

extern const char* const kCliUsage;
