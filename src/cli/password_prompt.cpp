// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/password_prompt.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// What the handler needs to give the terminal back: tcsetattr() and write() are safe in it.
termios savedTerminal;
int promptFd = -1;

void RestoreTerminal()
{
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &savedTerminal);
    [[maybe_unused]] const ssize_t ignored = ::write(promptFd, "\n", 1);
}

void OnEndingSignal(int number)
{
    RestoreTerminal();
    // The handler was reset to the default, so the signal ends the program once this returns.
    ::raise(number);
}

void HandleEndingSignals(void (*handler)(int))
{
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int number : kEndingSignals)
        ::sigaction(number, &action, nullptr);
}

}  // namespace

std::optional<std::string> AskPasswordOnTerminal(const std::string& text)
{
    const char* terminal = ::isatty(STDIN_FILENO) ? ::ttyname(STDIN_FILENO) : nullptr;
    if (!terminal || ::tcgetattr(STDIN_FILENO, &savedTerminal) != 0)
        return std::nullopt;
    promptFd = ::open(terminal, O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (promptFd < 0)
        return std::nullopt;
    HandleEndingSignals(OnEndingSignal);
    termios silent = savedTerminal;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    // Echo goes off before the prompt shows, so nothing typed after it can appear.
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    [[maybe_unused]] const ssize_t shown = ::write(promptFd, text.data(), text.size());

    std::string line;
    char c = 0;
    ssize_t n = 0;
    while ((n = ::read(STDIN_FILENO, &c, 1)) > 0 || (n < 0 && errno == EINTR)) {
        if (n > 0 && c == '\n')
            break;
        if (n > 0)
            line += c;
    }
    RestoreTerminal();
    HandleEndingSignals(SIG_DFL);
    ::close(promptFd);
    promptFd = -1;
    return line;
}
