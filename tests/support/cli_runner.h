#pragma once
// Runs tessaline-ftp as a program, the way a script would, and collects what it printed.

#include <string>
#include <vector>

struct CliRun {
    int status = -1;  // exit status, 128 + signal when killed
    std::string out;
    std::string err;
};

// Runs the built tessaline-ftp with `args`. `home` stands for both XDG_CONFIG_HOME and
// XDG_DATA_HOME, so the settings (home/Corvane/Tessaline.conf) and the data directory
// (home/Tessaline/, with "Extension.ftp") are the test's own. Gives up after 120 s of silence.
CliRun RunCli(const std::vector<std::string>& args, const std::string& home);
