// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs tessaline-ftp as a program, the way a script would, and collects what it printed.

#include <sys/types.h>

#include <string>
#include <vector>

struct CliRun {
    int status = -1;  // exit status, 128 + signal when killed
    std::string out;
    std::string err;
};

// One run of the built tessaline-ftp with `args`. `home` stands for HOME, XDG_CONFIG_HOME and
// XDG_DATA_HOME, so the settings (home/Corvane/Tessaline.conf), the data directory
// (home/Tessaline/, with "Extension.ftp") and home/.netrc are the test's own; `environment`
// ("NAME=value") sets more variables or other values. Standard input is `input` when given (a
// terminal, say), else /dev/null. A `netns` name runs it inside that network namespace
// (network_namespaces.h). `onTerminal` runs it under script(1), its standard error a terminal whose
// output arrives as `out`. The program runs on while the test goes on, so it can be signalled.
class CliProcess final {
public:
    CliProcess(const std::vector<std::string>& args, const std::string& home,
               const std::vector<std::string>& environment = {}, int input = -1, const std::string& netns = {},
               bool onTerminal = false);
    // A run that was not finished is killed.
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    pid_t Pid() const { return pid; }
    void Signal(int number) const;
    // Waits for the end, giving up after 120 s of silence, and collects what it printed.
    CliRun Finish();

private:
    pid_t pid = -1;
    int outFd = -1;
    int errFd = -1;
};

CliRun RunCli(const std::vector<std::string>& args, const std::string& home,
              const std::vector<std::string>& environment = {}, const std::string& netns = {});
