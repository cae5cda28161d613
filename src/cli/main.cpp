// tessaline-ftp: the FTP engine from the command line, for scripts and for checking the engine
// from outside. It reads the desktop program's settings and never writes them.

#include "app/qt_settings_store.h"
#include "browse/listing_retrieval.h"
#include "cli/cli_host.h"
#include "cli/cli_login.h"
#include "cli/cli_options.h"
#include "cli/password_prompt.h"
#include "cli/terminal_text.h"
#include "cli/termination_signals.h"
#include "ftp/exchange_result.h"
#include "ftp/ftp_session.h"
#include "ftp/local_dirs.h"
#include "ftp/session_log.h"
#include "sites/connect_preparation.h"
#include "sites/profile_store.h"
#include "sites/site_profile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

namespace {

enum ExitStatus { kSucceeded = 0, kFailed = 1, kUsage = 2, kSignalled = 128 };

const char* const kAnonymousNeedsEmail =
    "Please enter your e-mail address in the options dialog before connecting to anonymous FTP "
    "sites. Thanks.";

// Prints the session log as it grows, line by line as the log pane shows it, with the control
// characters of server text escaped.
void PrintLogAsItComes(bool quiet)
{
    static std::mutex printing;
    SetLogWakeUp([quiet] {
        std::lock_guard guard(printing);
        DrainLogQueue([quiet](const std::string& line) {
            if (!quiet)
                std::fprintf(stderr, "%s\n", EscapedControls(line).c_str());
        });
    });
}

// Prints the entries of the current remote directory as the main view reads them.
bool List(CFtpSession& session)
{
    CListingReader reader(session);
    CDirEntry entry;
    ListingStep step = reader.OpenListing(entry);
    for (; step == ListingStep::Entry; step = reader.NextListingEntry(entry)) {
        std::printf("%d\t%s\t%s\t%s\t%s\n", entry.isFile, EscapedControls(entry.size).c_str(),
                    EscapedControls(entry.modified).c_str(), EscapedControls(entry.permissions).c_str(),
                    EscapedControls(entry.name).c_str());
    }
    return step == ListingStep::End && session.WorkerResult() == kCompletion;
}

std::string FileNameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/', path.find_last_not_of('/'));
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    while (name.size() > 1 && name.back() == '/')
        name.pop_back();
    return name;
}

// The stored site that --site (and --group) name, or why there is none.
std::variant<CSiteProfile, std::string> StoredSite(const CliOptions& options)
{
    const std::string directory = DataDirectory();
    ProfileList profiles;
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

bool RunCommand(CFtpSession& session, const CliOptions& options, const std::string& downloadDirectory)
{
    const std::string& command = options.command;
    const std::vector<std::string>& args = options.arguments;
    const auto argOr = [&args](std::size_t i, const std::string& fallback) {
        return args.size() > i ? args[i] : fallback;
    };
    if (command == "syst") {
        const bool done = session.QuerySystemType() == kCompletion;
        if (done)
            std::printf("%d\n", session.systemType);
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
    if (command == "get")
        return session.RetrieveFile(args[0], argOr(1, downloadDirectory + args[0])) == kCompletion;
    if (command == "put")
        return session.StoreFile(argOr(1, FileNameOf(args[0])), args[0]) == kCompletion;
    if (command == "getdir")
        return DownloadDirectory(session, args[0], argOr(1, downloadDirectory + args[0]));
    return session.UploadDirectory(args[0], argOr(1, FileNameOf(args[0])));  // putdir
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
    LoginSources sources{options.host, options.user, options.password ? options.password : options.urlPassword,
                         options.passwordFile, NetrcPath()};
    std::string directory = options.cwd;
    int encryption = kTlsIfAvailable;
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
        if (directory.empty())
            directory = site.remoteDirectory;
        encryption = site.encryption;
    }
    if (options.encryption)
        encryption = *options.encryption;
    const auto login = ResolveLogin(sources, AskPasswordOnTerminal);
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

    if (options.firewallStyle) {
        settings.fireWallOn = 1;
        settings.fireMode = *options.firewallStyle;
    }
    if (options.noFirewall)
        settings.fireWallOn = 0;
    settings.fireHost = options.firewallHost.value_or(settings.fireHost);
    settings.fireUserId = options.firewallUser.value_or(settings.fireUserId);
    settings.firePassword = options.firewallPassword.value_or(settings.firePassword);

    CSiteProfile profile;
    profile.host = sources.host;
    profile.userId = std::get<CliLogin>(login).user;
    profile.password = std::get<CliLogin>(login).password;
    profile.encryption = encryption;
    const std::optional<std::string> password = LoginPassword(profile, settings);
    if (!password) {
        std::fprintf(stderr, "%s\n", kAnonymousNeedsEmail);
        return kFailed;
    }

    PrintLogAsItComes(options.quiet);
    CliHost host;
    CFtpSession session(settings.engine);
    const TerminationSignals termination(session);
    host.trustedFingerprint = options.trustedFingerprint;
    session.host = &host;
    PrepareConnect(session, profile, *password, settings);

    bool succeeded = session.Connect() != -1;
    if (!succeeded && !session.refusal.empty())
        host.Inform(session.refusal);
    if (succeeded && !directory.empty() && !termination.Received())
        succeeded = session.ChangeDirectory(directory) == kCompletion;
    if (succeeded && !termination.Received())
        succeeded = RunCommand(session, options, settings.defaultDownloadDirectory);
    // The signal's cancel has ended the operation; the quit may wait for its answer again.
    if (termination.Received())
        session.ClearCancel();
    session.QuitAtExit();
    SetLogWakeUp(nullptr);
    if (const int signal = termination.Received())
        return kSignalled + signal;
    return succeeded ? kSucceeded : kFailed;
}
