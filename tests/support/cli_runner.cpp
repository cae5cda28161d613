#include "support/cli_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>

extern char** environ;

CliRun RunCli(const std::vector<std::string>& args, const std::string& home)
{
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);

    std::vector<std::string> environment = {"XDG_CONFIG_HOME=" + home, "XDG_DATA_HOME=" + home};
    for (char** variable = environ; *variable; ++variable) {
        const std::string_view text(*variable);
        if (!text.starts_with("XDG_CONFIG_HOME=") && !text.starts_with("XDG_DATA_HOME="))
            environment.emplace_back(*variable);
    }
    std::vector<char*> envp;
    for (std::string& variable : environment)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv = {TESSALINE_FTP};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argvp;
    for (std::string& arg : argv)
        argvp.push_back(arg.data());
    argvp.push_back(nullptr);

    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, TESSALINE_FTP, &actions, nullptr, argvp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    CliRun run;
    if (spawned == 0) {
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        std::string* sinks[2] = {&run.out, &run.err};
        int open = 2;
        while (open > 0 && ::poll(fds, 2, 120000) > 0) {
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || !fds[i].revents)
                    continue;
                char buffer[4096];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sinks[i]->append(buffer, static_cast<std::size_t>(n));
                } else {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    return run;
}

