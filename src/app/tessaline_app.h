#pragma once
// CTessalineApp: the application object. Start-up, in order: settings read from the store, the
// main frame built with its toolbar and panes, the window placed at the stored rectangle and
// shown, the socket layer checked. The idle step runs whenever the window thread's event loop is
// about to wait (inside modal dialogs and menus too): it moves queued log lines into the log pane
// and refreshes the command states. Shutdown quits the FTP session and writes every setting back.

#include "ftp/settings.h"
#include "ftp/ftp_session.h"
#include "sites/current_site_icon.h"

#include <QObject>

#include <memory>

class CMainFrame;
class QtSettingsStore;

class CTessalineApp final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTessalineApp)

public:
    CTessalineApp();
    ~CTessalineApp() override;

    // True when the event loop is to run; false when the program is to end (after Shutdown).
    bool Startup();
    // One round of idle work: queued log lines into the log pane, command states refreshed.
    void IdleStep();
    // Writes the settings back and returns `exitCode`, the event loop's own exit code.
    int Shutdown(int exitCode);

    CSettings& Settings() { return settings; }
    CFtpSession& Session() { return session; }
    CMainFrame* MainFrame() const { return mainFrame.get(); }

    bool startupComplete = false;

private:
    std::unique_ptr<QtSettingsStore> store;
    CSettings settings;
    CFtpSession session{settings.engine};
    CurrentSiteIcon currentSiteIcon;  // the icon the "Properties" dialog shows; never stored
    std::unique_ptr<CMainFrame> mainFrame;
    QMetaObject::Connection idleConnection;
};
