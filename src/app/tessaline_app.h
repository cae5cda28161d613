// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CTessalineApp: the application object. Start-up, in order: settings read from the store, the
// main frame built with its toolbar and panes, the window placed at the stored rectangle and
// shown, the splash window shown over it, the socket layer checked. The idle step runs whenever
// the window thread's event loop is about to wait (inside modal dialogs and menus too): it moves
// queued log lines into the log pane, refreshes the command states and the title and tree
// highlight that show where the user is, and closes the splash window once it has been up for
// 2500 ms or was clicked, and opens a URL handed to the program once the user is back in the main
// window with nothing running. Shutdown writes every setting back and then quits the FTP session,
// waiting at most 3 s for the server.

#include "app/protocol_session.h"
#include "settings/settings.h"
#include "sites/current_site_icon.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CMainFrame;
class CSplashDialog;
class QtSettingsStore;

class CTessalineApp final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTessalineApp)

public:
    CTessalineApp();
    ~CTessalineApp() override;

    // True when the event loop is to run; false when the program is to end (after Shutdown).
    bool Startup();
    // One round of idle work: queued log lines into the log pane, command states and location
    // refreshed, the splash window closed when its time is up.
    void IdleStep();
    // Opens a Quick Connect to `url` (an ftp:// URL) at the first idle step with the splash gone,
    // no dialog open and no operation running; a later URL replaces one still waiting.
    void OpenUrlWhenIdle(const QString& url);
    // Closes the window (the profiles are saved as it goes), writes the settings back, quits the
    // session and returns `exitCode`, the event loop's own exit code.
    int Shutdown(int exitCode);

    CSettings& Settings() { return settings; }
    RemoteSession& Session() { return session; }
    CMainFrame* MainFrame() const { return mainFrame.get(); }
    // The splash window while it is open, else nullptr.
    CSplashDialog* Splash() const;

    bool startupComplete = false;
    // Milliseconds since an arbitrary start, wrapping at 32 bits; tests put a clock of their own
    // here.
    std::function<std::uint32_t()> tickCount;

private:
    void ShowSplash();
    // Writes the settings file now, telling the user when it cannot be written; without the
    // firewall password when the keyring holds it.
    bool SaveSettingsFile();
    // The keyring's entry for the firewall password; empty without a firewall user.
    std::string FirewallEntry() const;
    // Keeps the keyring in step with the firewall password, and notes whether it holds it.
    void FollowFirewallPassword();
    void SaveSettingsNow();

    std::unique_ptr<QtSettingsStore> store;
    CSettings settings;
    ProtocolSession session{settings.engine};
    CurrentSiteIcon currentSiteIcon;  // the icon the "Properties" dialog shows; never stored
    std::unique_ptr<CMainFrame> mainFrame;
    QPointer<CSplashDialog> splash;  // owned by the main frame
    std::uint32_t splashStart = 0;   // tick at which the splash was shown
    QString pendingUrl;              // waiting for OpenUrlWhenIdle's moment; empty: none
    QMetaObject::Connection idleConnection;
    bool firewallPasswordInKeyring = false;
};
