// tessaline-ftp: the FTP engine from the command line, for scripts and for checking the engine
// from outside. It reads the desktop program's settings and never writes them.

#include "app/qt_settings_store.h"
#include "cli/cli_options.h"
#include "ftp/exchange_result.h"
#include "ftp/ftp_session.h"
#include "ftp/session_log.h"

#include <cstdio>
#include <mutex>

namespace {

enum ExitStatus { kSucceeded = 0, kFailed = 1, kUsage = 2 };

const char* const kAnonymousNeedsEmail =
    "Please enter your e-mail address in the options dialog before connecting to anonymous FTP "
    "sites. Thanks.";

// Prints the session log as it grows, line by line as the log pane shows it.
void PrintLogAsItComes(bool quiet)
{
    static std::mutex printing;
    SetLogWakeUp([quiet] {
        std::lock_guard guard(printing);
        DrainLogQueue([quiet](const std::string& line) {
            if (!quiet)
                std::fprintf(stderr, "%s\n", line.c_str());
        });
    });
}

bool RunCommand(CFtpSession& session, const CliOptions& options)
{
    const std::string& command = options.command;
    const std::vector<std::string>& args = options.arguments;
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
        return session.RenameFile(args[0], args[1]) == 1;
    return session.SetPermissions(args[0], args[1]) == kCompletion;  // chmod
}

} // namespace

int main(int argc, char* argv[])
{
    const auto parsed = ParseCliOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "tessaline-ftp: %s\n%s", error->c_str(), kCliUsage);
        return kUsage;
    }
    const CliOptions& options = std::get<CliOptions>(parsed);
    if (options.help) {
        std::fputs(kCliUsage, stdout);
        return kSucceeded;
    }
    if (!options.site.empty()) {
        std::fprintf(stderr, "tessaline-ftp: --site needs the site profiles, which this build does not have yet\n");
        return kUsage;
    }

    CSettings settings;
    {
        QtSettingsStore store;
        settings.LoadSettings(store, DefaultDownloadDirectory());
    }
    if (options.mode)
        settings.engine.transferMode = *options.mode;

    std::string password = options.password;
    if (options.user == "anonymous" && password.empty()) {
        if (settings.email.empty()) {
            std::fprintf(stderr, "%s\n", kAnonymousNeedsEmail);
            return kFailed;
        }
        password = settings.email;
    }

    PrintLogAsItComes(options.quiet);
    CFtpSession session(settings.engine);
    session.hostName = options.host;
    session.userName = options.user;
    session.password = password;
    session.downloadDirectory = settings.defaultDownloadDirectory;
    session.transferMode = static_cast<char>(settings.engine.transferMode.load());
    int firewallOn = settings.fireWallOn;
    int firewallStyle = settings.fireMode;
    if (options.firewallStyle) {
        firewallOn = 1;
        firewallStyle = *options.firewallStyle;
    }
    if (options.noFirewall)
        firewallOn = 0;
    session.SetFirewall(firewallOn, firewallStyle, settings.firePort,
                        options.firewallHost.value_or(settings.fireHost),
                        options.firewallUser.value_or(settings.fireUserId),
                        options.firewallPassword.value_or(settings.firePassword));

    bool succeeded = session.Connect() != -1;
    if (succeeded && !options.cwd.empty())
        succeeded = session.ChangeDirectory(options.cwd) == kCompletion;
    if (succeeded)
        succeeded = RunCommand(session, options);
    session.Quit();
    SetLogWakeUp(nullptr);
    return succeeded ? kSucceeded : kFailed;
}
