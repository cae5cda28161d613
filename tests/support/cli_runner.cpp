// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/cli_runner.h"

#include "support/network_namespaces.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string_view>

extern char** environ;

CliProcess::CliProcess(const std::vector<std::string>& args, const std::string& home,
                       const std::vector<std::string>& environment, int input, const std::string& netns,
                       bool onTerminal)
{
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0)
        return;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0)
        posix_spawn_file_actions_adddup2(&actions, input, 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);

    std::vector<std::string> variables = environment;
    const auto isSet = [&variables](std::string_view text) {
        const std::string_view name = text.substr(0, text.find('=') + 1);
        return std::any_of(variables.begin(), variables.end(),
                           [name](const std::string& v) { return std::string_view(v).starts_with(name); });
    };
    const auto addUnlessSet = [&](const std::string& variable) {
        if (!isSet(variable))
            variables.push_back(variable);
    };
    for (const char* name : {"XDG_CONFIG_HOME=", "XDG_DATA_HOME=", "HOME="})
        addUnlessSet(name + home);
    for (char** variable = environ; *variable; ++variable)
        addUnlessSet(*variable);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    // `ip netns exec` enters the namespace and then executes the program itself, so the pid is its.
    std::vector<std::string> argv;
    if (!netns.empty())
        argv = {IpCommand(), "netns", "exec", netns};
    argv.push_back(TESSALINE_FTP);
    argv.insert(argv.end(), args.begin(), args.end());
    if (onTerminal) {
        // script(1) gives the program a pseudo-terminal and copies what it shows to standard output.
        std::string command;
        for (const std::string& arg : argv) {
            std::string quoted = "'";
            for (const char c : arg)
                quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
            command += (command.empty() ? "" : " ") + quoted + "'";
        }
        argv = {"/usr/bin/script", "-qec", command, "/dev/null"};
    }
    std::vector<char*> argvp;
    for (std::string& arg : argv)
        argvp.push_back(arg.data());
    argvp.push_back(nullptr);

    if (posix_spawn(&pid, argvp[0], &actions, nullptr, argvp.data(), envp.data()) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    outFd = outPipe[0];
    errFd = errPipe[0];
}

CliProcess::~CliProcess()
{
    if (pid > 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    for (int fd : {outFd, errFd}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void CliProcess::Signal(int number) const
{
    if (pid > 0)
        ::kill(pid, number);
}

CliRun CliProcess::Finish()
{
    CliRun run;
    if (pid <= 0)
        return run;
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
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
    if (open > 0)
        ::kill(pid, SIGKILL);  // silent for two minutes: hung
    int status = 0;
    ::waitpid(pid, &status, 0);
    pid = -1;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

CliRun RunCli(const std::vector<std::string>& args, const std::string& home,
              const std::vector<std::string>& environment, const std::string& netns)
{
    return CliProcess(args, home, environment, -1, netns).Finish();
}
