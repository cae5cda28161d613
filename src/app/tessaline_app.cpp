// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tessaline_app.h"

#include "app/debug_window.h"
#include "app/main_frame.h"
#include "app/settings_store/qt_settings_store.h"
#include "app/splash_dialog.h"
#include "app/termination_signals.h"
#include "app/window_placement.h"
#include "ftp/socket_probe.h"
#include "keyring/saved_passwords.h"
#include "remote/remote_session.h"
#include "remote/session_log.h"
#include "sites/profiles/keyring_entry.h"
#include "sites/site_tree.h"
#include "ui/prompter.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <utility>

namespace {

constexpr std::uint32_t kSplashMilliseconds = 2500;
// A press on the splash moves its recorded start this much later: the unsigned difference at the
// next idle step then wraps round to a large number, and the splash closes.
constexpr std::uint32_t kSplashPressShift = 20000;
constexpr int kSplashWakeUpMilliseconds = 500;

std::uint32_t SteadyTickCount()
{
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

CTessalineApp::CTessalineApp() : tickCount(SteadyTickCount) {}

CTessalineApp::~CTessalineApp()
{
    SetLogWakeUp(nullptr);
    QObject::disconnect(idleConnection);
}

bool CTessalineApp::Startup()
{
    store = std::make_unique<QtSettingsStore>();
    settings.LoadSettings(*store, DefaultDownloadDirectory());

    mainFrame = std::make_unique<CMainFrame>(session, settings, currentSiteIcon);
    connect(mainFrame.get(), &CMainFrame::settingsChanged, this, &CTessalineApp::SaveSettingsNow);
    // The firewall password goes where the sites' saved passwords go.
    mainFrame->SiteTreePane()->Passwords().KeepSetting({
        [this] { return std::pair(FirewallEntry(), settings.firePassword); },
        [this](const std::string& password) { settings.firePassword = password; },
        [this] { SaveSettingsFile(); },
    });
    PlaceAndShowMainWindow(*mainFrame, settings, [frame = mainFrame.get()] { frame->Placed(); });
    mainFrame->InitialUpdate();
    ShowSplash();

    // Idle steps run whenever the window thread is about to wait for events, in every event loop,
    // and a line posted from a worker wakes the window thread so that it shows up at once.
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    idleConnection = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, [this] { IdleStep(); });
    SetLogWakeUp([dispatcher] { dispatcher->wakeUp(); });

    if (!SocketLayerAvailable()) {
        Prompter().Inform(
            mainFrame.get(),
            QStringLiteral("The WinSock DLL could not be used, please check your installation or with your "
                           "service provider"));
        mainFrame.reset();
        return false;
    }
    startupComplete = true;
    return true;
}

void CTessalineApp::IdleStep()
{
    if (mainFrame) {
        CDebugWindow* log = mainFrame->LogPane();
        DrainLogQueue([log](const std::string& line) { log->AppendLine(QString::fromStdString(line)); });
        mainFrame->UpdateCommandStates();
        mainFrame->ShowLocation();
    }
    if (splash && static_cast<std::uint32_t>(tickCount() - splashStart) > kSplashMilliseconds) {
        delete splash.data();
        mainFrame->repaint();
        startupComplete = true;
    }
    if (!pendingUrl.isEmpty() && !splash && mainFrame && !QApplication::activeModalWidget()
        && !session.Operations().InProgress()) {
        // Not from inside the event loop's own wait: the Quick Connect runs dialogs of its own.
        QTimer::singleShot(0, mainFrame.get(), [frame = mainFrame.get(), url = std::exchange(pendingUrl, {})] {
            frame->QuickConnectTo(url.toStdString());
        });
    }
}

void CTessalineApp::OpenUrlWhenIdle(const QString& url)
{
    pendingUrl = url;
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
        dispatcher->wakeUp();
}

std::string CTessalineApp::FirewallEntry() const
{
    return settings.fireUserId.empty() ? std::string() : FirewallKeyringEntry(settings.fireUserId, settings.fireHost);
}

void CTessalineApp::FollowFirewallPassword()
{
    if (!mainFrame)
        return;
    SavedPasswords& passwords = mainFrame->SiteTreePane()->Passwords();
    passwords.Follow();
    firewallPasswordInKeyring = passwords.Holds(FirewallEntry(), settings.firePassword);
}

bool CTessalineApp::SaveSettingsFile()
{
    FollowFirewallPassword();
    const std::string firePassword = settings.firePassword;
    if (firewallPasswordInKeyring)
        settings.firePassword.clear();
    settings.SaveSettings(*store);
    settings.firePassword = firePassword;
    return store->Commit();
}

void CTessalineApp::SaveSettingsNow()
{
    if (!SaveSettingsFile())
        Prompter().Inform(mainFrame.get(),
                          QStringLiteral("The settings could not be saved to %1.").arg(store->FileName()));
}

CSplashDialog* CTessalineApp::Splash() const
{
    return splash;
}

void CTessalineApp::ShowSplash()
{
    if (!mainFrame->isMinimized()) {
        splash = new CSplashDialog(mainFrame.get());
        // The main window keeps the keyboard: the splash is only to be looked at.
        splash->setAttribute(Qt::WA_ShowWithoutActivating);
        connect(splash, &CSplashDialog::Pressed, this, [this] { splashStart += kSplashPressShift; });
        splash->HideButtons();
        splash->show();
        splash->repaint();
        // Wakes the event loop now and then, so that idle steps keep coming while nothing else
        // happens; QObject's own timer event does nothing.
        splash->startTimer(kSplashWakeUpMilliseconds);
    }
    splashStart = tickCount();
}

int CTessalineApp::Shutdown(int exitCode)
{
    SetLogWakeUp(nullptr);
    QObject::disconnect(idleConnection);
    // The profiles go with the window, then the settings: everything the user made is saved
    // before a server that does not answer can hold the exit, which a signal may now end.
    FollowFirewallPassword();
    mainFrame.reset();
    EndProcessOnTerminationSignals();
    if (store && !SaveSettingsFile())
        std::fprintf(stderr, "tessaline: could not save the settings to %s\n", qPrintable(store->FileName()));
    session.QuitAtExit();
    return exitCode;
}
