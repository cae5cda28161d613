// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/desktop_command_line.h"
#include "app/main_frame.h"
#include "app/single_instance.h"
#include "app/termination_signals.h"
#include "app/tessaline_app.h"
#include "tessaline_version.h"
#include "ui/program_icons.h"

#include <QApplication>

#include <cstdio>
#include <string>
#include <variant>
#include <vector>

namespace {

enum ExitStatus { kSucceeded = 0, kUsage = 2 };

std::vector<std::string> Arguments(const QStringList& arguments)
{
    std::vector<std::string> args;
    for (qsizetype i = 1; i < arguments.size(); ++i)
        args.push_back(arguments[i].toStdString());
    return args;
}

// Prints what --version and --help ask for; false when the command line asks for neither.
bool Answered(const std::variant<DesktopCommandLine, std::string>& parsed)
{
    const auto* line = std::get_if<DesktopCommandLine>(&parsed);
    if (line && line->version)
        std::printf("tessaline %s\n", kTessalineVersion);
    else if (line && line->help)
        std::fputs(kDesktopUsage, stdout);
    return line && (line->version || line->help);
}

}  // namespace

int main(int argc, char* argv[])
{
    // --version and --help answer without a display to open; Qt's own options (-platform ...) are
    // known only once the application has taken them out.
    if (Answered(ParseDesktopCommandLine(std::vector<std::string>(argv + 1, argv + argc))))
        return kSucceeded;
    QApplication application(argc, argv);
    const auto parsed = ParseDesktopCommandLine(Arguments(QApplication::arguments()));
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "tessaline: %s\n%s", error->c_str(), kDesktopUsage);
        return kUsage;
    }
    if (Answered(parsed))
        return kSucceeded;
    const QString url = QString::fromStdString(std::get<DesktopCommandLine>(parsed).url);
    CSingleInstance instance;
    if (instance.HandedToRunningCopy(url))
        return kSucceeded;
    QApplication::setWindowIcon(ProgramIcon(ProgramIconId::DesktopComputer));
    CTessalineApp app;
    if (!app.Startup())
        return app.Shutdown(1);
    instance.BringToFrontOnRequest(app.MainFrame());
    QObject::connect(&instance, &CSingleInstance::urlRequested, &app, &CTessalineApp::OpenUrlWhenIdle);
    if (!url.isEmpty())
        app.OpenUrlWhenIdle(url);
    CloseOnTerminationSignals(app.MainFrame());
    return app.Shutdown(QApplication::exec());
}
