#include "app/main_frame.h"
#include "app/single_instance.h"
#include "app/termination_signals.h"
#include "app/tessaline_app.h"
#include "ui/program_icons.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    CSingleInstance instance;
    if (instance.HandedToRunningCopy())
        return 0;
    QApplication::setWindowIcon(ProgramIcon(ProgramIconId::DesktopComputer));
    CTessalineApp app;
    if (!app.Startup())
        return app.Shutdown(1);
    instance.BringToFrontOnRequest(app.MainFrame());
    CloseOnTerminationSignals(app.MainFrame());
    return app.Shutdown(QApplication::exec());
}
