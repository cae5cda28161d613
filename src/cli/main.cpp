// SPDX-License-Identifier: GPL-3.0-or-later
// tessaline-ftp: the FTP engine from the command line, for scripts and for checking the engine
// from outside. It reads the desktop program's settings and never writes them.

#include "app/settings_store/qt_settings_store.h"
#include "cli/cli_host.h"
#include "cli/exit_status.h"
#include "cli/keyring_lookup.h"
#include "cli/local_target.h"
#include "cli/options/cli_login.h"
#include "cli/options/cli_options.h"
#include "cli/password_prompt.h"
#include "cli/progress_line.h"
#include "cli/run_failure.h"
#include "cli/terminal_text.h"
#include "cli/termination_signals.h"
#include "copies/directory_copies.h"
#include "copies/file_retries.h"
#include "ftp/encryption.h"
#include "ftp/ftp_remote_session.h"
#include "ftp/local_dirs.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"
#include "sftp/sftp_remote_session.h"
#include "sites/profiles/connect_preparation.h"
#include "sites/profiles/keyring_entry.h"
#include "sites/profiles/profile_store.h"
#include "sites/profiles/site_profile.h"
#include "tessaline_version.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// What an anonymous login sends without an e-mail address in the settings: the command line has
// no options dialog to ask for one, and servers take any such word.
constexpr char kAnonymousPassword[] = "tessaline-ftp@";

std::mutex logPrinting;

std::optional<std::string> NoPrompt(const std::string&)
{
    return std::nullopt;
}

// Prints what the session log holds, line by line as the log pane shows it, with the control
// characters of server text escaped.
void PrintLog(bool quiet)
{
    std::lock_guard guard(logPrinting);
    DrainLogQueue([quiet](const std::string& line) {
        if (!quiet)
            PrintErrorLine(EscapedControls(line));
    });
}

// Prints the session log as it grows.
void PrintLogAsItComes(bool quiet)
{
    SetLogWakeUp([quiet] { PrintLog(quiet); });
}

// The one line a failed run ends with, also with -q.
int Fail(const RunFailure& failure)
{
    PrintErrorLine("tessaline-ftp: " + failure.reason);
    return failure.status;
}

// Where get and getdir write, or the failure of a target that cannot be written; checked before
// anything is sent, so a download is never fetched for nothing.
std::variant<std::string, RunFailure> LocalTargetOf(const CliOptions& options)
{
    const std::vector<std::string>& args = options.arguments;
    const auto target =
        DownloadTarget(args[0], args.size() > 1 ? std::optional(args[1]) : std::nullopt, options.command == "getdir");
    if (const auto* error = std::get_if<LocalTargetError>(&target))
        return RunFailure{kLocalFileError, EscapedControls(error->path) + ": " + std::strerror(error->error)};
    return std::get<std::string>(target);
}

// An upload's local file or directory, checked before anything is sent; nothing when it can be read.
std::optional<RunFailure> UnreadableSource(const CliOptions& options)
{
    const std::string& path = options.arguments[0];
    struct stat st {};
    int error = ::stat(path.c_str(), &st) == 0 ? 0 : errno;
    if (!error && options.command == "putdir" && !S_ISDIR(st.st_mode))
        error = ENOTDIR;
    if (!error && options.command == "put" && S_ISDIR(st.st_mode))
        error = EISDIR;
    if (!error && ::access(path.c_str(), R_OK) != 0)
        error = errno;
    if (!error)
        return std::nullopt;
    return RunFailure{kLocalFileError, EscapedControls(path) + ": " + std::strerror(error)};
}

// Prints the entries of the current remote directory as the main view reads them.
bool List(RemoteSession& session)
{
    std::vector<CDirEntry> entries;
    const ListingResult listed = session.ListDirectory(ListingUse::Show, entries);
    for (const CDirEntry& entry : entries) {
        std::printf("%d\t%s\t%s\t%s\t%s\n", entry.isFile, EscapedControls(entry.size).c_str(),
                    EscapedControls(ModifiedText(entry)).c_str(), EscapedControls(entry.permissions).c_str(),
                    EscapedControls(entry.name).c_str());
    }
    return listed == ListingResult::Listed;
}

// The stored site that --site (and --group) name, or why there is none.
std::variant<CSiteProfile, std::string> StoredSite(const CliOptions& options)
{
    const std::string directory = DataDirectory();
    SiteStore profiles;
    // Read only: the profile file belongs to the desktop program, which may be running.
    if (!LoadSiteProfiles(profiles, directory, false))
        return "no site profiles could be read from " + (directory.empty() ? "the data directory" : directory);
    const std::vector<CSiteProfile> found = profiles.FindSites(options.site, options.group);
    if (found.empty()) {
        return "no site named \"" + options.site + "\""
            + (options.group.empty() ? std::string() : " in group \"" + options.group + "\"");
    }
    std::set<std::string> groups;
    for (const CSiteProfile& site : found)
        groups.insert(site.group);
    if (groups.size() > 1) {
        std::string list;
        for (const std::string& group : groups)
            list += (list.empty() ? "\"" : ", \"") + group + "\"";
        return "sites named \"" + options.site + "\" are in the groups " + list + "; pick one with --group";
    }
    // Several of that name in one group: the first, as the desktop tree finds it.
    return found.front();
}

// A password the desktop program keeps in the keyring; without one the run goes on to the next
// source, and says why unless quiet.
std::optional<std::string> KeyringPassword(const std::string& entry, bool quiet)
{
    std::string why;
    std::optional<std::string> password = LookUpKeyring(entry, why);
    if (!password && !quiet)
        std::fprintf(stderr, "tessaline-ftp: no saved password from the keyring: %s\n", EscapedControls(why).c_str());
    return password;
}

// Every user of the machine reads the arguments in /proc/PID/cmdline: the passwords among them are
// overwritten in place once the options hold their copies.
void BlankSecrets(const std::vector<SecretArgument>& secrets, char* arguments[])
{
    for (const SecretArgument& secret : secrets)
        std::memset(arguments[secret.argument] + secret.text.offset, '*', secret.text.length);
}

// ~/.netrc of the user's home directory; empty when there is none.
std::string NetrcPath()
{
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.netrc" : std::string();
}

// get and put: a failure that may pass is tried again on a new connection, going on from what
// came through. The server's name of the directory is asked only when a retry may need it, so a
// run without retries sends what a single transfer sends; without a name, a new connection goes
// into `directory` again, which is relative to the login directory it starts in.
bool CopyFile(RemoteSession& session, const CliOptions& options, const std::string& localTarget,
              const std::string& directory, const RetryRules& rules)
{
    const std::vector<std::string>& args = options.arguments;
    FileCopy file;
    if (options.command == "get") {
        file.remoteName = args[0];
        file.localPath = localTarget;
        file.listed.askTime = true;
    } else {
        file.direction = FileDirection::Upload;
        file.remoteName = args.size() > 1 ? args[1] : FileNameOf(args[0]);
        file.localPath = args[0];
    }
    if ((rules.retries > 0 || rules.keepPartial) && session.CurrentDirectory(file.remoteDirectory) != kCompletion)
        file.remoteDirectory = directory;
    return CopyFileWithRetries(session, file, rules) == kCompletion;
}

bool RunCommand(RemoteSession& session, const CliOptions& options, const std::string& localTarget,
                const std::string& directory, const RetryRules& rules, const CopyRules& copies)
{
    const std::string& command = options.command;
    const std::vector<std::string>& args = options.arguments;
    const auto argOr = [&args](std::size_t i, const std::string& fallback) {
        return args.size() > i ? args[i] : fallback;
    };
    if (command == "syst") {
        const bool done = session.QuerySystemType() == kCompletion;
        if (done)
            std::printf("%d\n", session.SystemType());
        return done;
    }
    if (command == "mkdir")
        return session.MakeDirectory(args[0]) == kCompletion;
    if (command == "rmdir")
        return session.RemoveDirectory(args[0]) == kCompletion;
    if (command == "rm")
        return session.DeleteFile(args[0]) == kCompletion;
    if (command == "rename")
        return session.RenameFile(args[0], args[1]) == kCompletion;
    if (command == "chmod")
        return session.SetPermissions(args[0], args[1]) == kCompletion;
    if (command == "ls")
        return List(session);
    if (command == "get" || command == "put")
        return CopyFile(session, options, localTarget, directory, rules);
    if (command == "getdir")
        return DownloadDirectory(session, args[0], localTarget, copies);
    return UploadDirectory(session, args[0], argOr(1, FileNameOf(args[0])), copies);  // putdir
}

}  // namespace

int main(int argc, char* argv[])
{
    const auto parsed = ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "tessaline-ftp: %s\n%s", error->c_str(), kCliUsage);
        return kUsage;
    }
    const CliOptions& options = std::get<CliOptions>(parsed);
    BlankSecrets(options.secrets, argv + 1);
    if (options.help) {
        std::fputs(kCliUsage, stdout);
        return kSucceeded;
    }
    if (options.version) {
        std::printf("tessaline-ftp %s\n", kTessalineVersion);
        return kSucceeded;
    }
    std::string localTarget;
    if (options.command == "get" || options.command == "getdir") {
        const auto target = LocalTargetOf(options);
        if (const auto* failure = std::get_if<RunFailure>(&target))
            return Fail(*failure);
        localTarget = std::get<std::string>(target);
    }
    if (options.command == "put" || options.command == "putdir") {
        if (const auto failure = UnreadableSource(options))
            return Fail(*failure);
    }
    LoginSources sources{options.host, options.user, options.password ? options.password : options.urlPassword,
                         options.passwordFile, NetrcPath()};
    std::string directory = options.cwd;
    int encryption = kTlsIfAvailable;
    bool sftp = options.protocol == CliProtocol::Sftp;
    if (!options.site.empty()) {
        const auto stored = StoredSite(options);
        if (const auto* error = std::get_if<std::string>(&stored)) {
            std::fprintf(stderr, "tessaline-ftp: %s\n", error->c_str());
            return kUsage;
        }
        const CSiteProfile& site = std::get<CSiteProfile>(stored);
        sources.host = site.host;
        if (!sources.user && !site.userId.empty())
            sources.user = site.userId;
        // A profile that does not keep its password leaves it to the other sources.
        if (!sources.password && !site.password.empty())
            sources.password = site.password;
        else if (!sources.password && SavesPasswordInKeyring(site))
            sources.password = KeyringPassword(SiteKeyringEntry(site), options.quiet);
        if (directory.empty())
            directory = site.remoteDirectory;
        encryption = site.encryption;
        // --protocol, when given, wins over the site's as --encryption does.
        if (!options.protocol)
            sftp = site.protocol == RemoteProtocol::Sftp;
    }
    if (options.encryption)
        encryption = *options.encryption;
    // SFTP logs in with keys first: a password is asked for only by the prompt the key's own
    // passphrase needs, not before every connect.
    const auto login = ResolveLogin(sources, sftp ? PasswordPrompt(NoPrompt) : PasswordPrompt(AskPasswordOnTerminal));
    if (const auto* error = std::get_if<std::string>(&login)) {
        std::fprintf(stderr, "tessaline-ftp: %s\n", error->c_str());
        return kUsage;
    }
    for (const std::string& warning : std::get<CliLogin>(login).warnings)
        std::fprintf(stderr, "tessaline-ftp: %s\n", warning.c_str());

    CSettings settings;
    {
        QtSettingsStore store;
        settings.LoadSettings(store, DefaultDownloadDirectory());
    }
    if (options.mode)
        settings.engine.transferMode = *options.mode;
    if (options.passiveMode)
        settings.engine.passiveMode = *options.passiveMode;
    if (options.noKeepTimes)
        settings.engine.keepTimes = false;

    if (options.firewallStyle) {
        settings.fireWallOn = 1;
        settings.fireMode = *options.firewallStyle;
    }
    if (options.noFirewall)
        settings.fireWallOn = 0;
    settings.fireHost = options.firewallHost.value_or(settings.fireHost);
    settings.fireUserId = options.firewallUser.value_or(settings.fireUserId);
    settings.firePassword = options.firewallPassword.value_or(settings.firePassword);
    if (settings.fireWallOn && settings.firePassword.empty() && !settings.fireUserId.empty())
        settings.firePassword =
            KeyringPassword(FirewallKeyringEntry(settings.fireUserId, settings.fireHost), options.quiet).value_or("");

    CSiteProfile profile;
    profile.host = sources.host;
    profile.userId = std::get<CliLogin>(login).user;
    // Without a user named, SSH takes the one ~/.ssh/config names, else the local user.
    if (sftp && !sources.user && profile.userId == "anonymous")
        profile.userId.clear();
    profile.password = std::get<CliLogin>(login).password;
    profile.encryption = encryption;
    profile.protocol = sftp ? RemoteProtocol::Sftp : RemoteProtocol::Ftp;
    const std::string password = LoginPassword(profile, settings).value_or(sftp ? "" : kAnonymousPassword);

    PrintLogAsItComes(options.quiet);
    CliHost host;
    const std::unique_ptr<RemoteSession> connection = sftp
        ? std::unique_ptr<RemoteSession>(std::make_unique<SftpRemoteSession>(settings.engine))
        : std::make_unique<FtpRemoteSession>(settings.engine);
    RemoteSession& session = *connection;
    const TerminationSignals termination(session);
    const RetryRules retryRules{options.retries.value_or(settings.retries), options.continueDownload,
                                [&termination](std::chrono::milliseconds delay) { return termination.Wait(delay); }};
    host.trustedFingerprint = options.trustedFingerprint;
    host.trustedHostKey = options.trustedHostKey;
    host.showProgress = !options.quiet && ::isatty(STDERR_FILENO);
    host.quiet = options.quiet;
    session.Operations().host = &host;
    PrepareConnect(session, profile, password, settings);

    // Read before the quit, whose reply replaces the one that tells.
    std::optional<RunFailure> failure;
    if (!session.Connect())
        failure = ConnectFailureOf(session.Failure(), profile.host);
    if (!failure && !directory.empty() && !termination.Received() && session.ChangeDirectory(directory) != kCompletion)
        failure = CommandFailureOf(session.Failure(), "cwd " + directory);
    const CopyRules copies{options.parallel.value_or(settings.connections), retryRules.retries};
    if (!failure && !termination.Received()
        && !RunCommand(session, options, localTarget, directory, retryRules, copies)) {
        const std::string what = options.command + (options.arguments.empty() ? "" : " " + options.arguments[0]);
        // A retry's new connection may be what failed last.
        const SessionFailure last = session.Failure();
        failure = last.connectFailure != ConnectFailure::None ? ConnectFailureOf(last, profile.host)
                                                              : CommandFailureOf(last, what);
    }
    // The signal's cancel has ended the operation; the quit may wait for its answer again.
    if (termination.Received())
        session.ClearCancel();
    session.QuitAtExit();
    SetLogWakeUp(nullptr);
    PrintLog(options.quiet);
    if (const int signal = termination.Received())
        return Fail({kSignalled + signal, "ended by signal " + std::to_string(signal)});
    return failure ? Fail(*failure) : kSucceeded;
}
