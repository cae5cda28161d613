// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSettings: the user settings in the sections "ProgramOptions", "TransOptions" and
// "WndProperties". Read once at start-up, changed in memory by the options sheet and the main
// frame, written back once at exit. The values the engine reads from worker threads live in
// `engine`; the rest are touched by the window thread only.
//
// Who reads it: the desktop program (app: the options sheet, the main frame and the window
// placement; browse: the remote view, for the e-mail address, the download directory, the
// double-click choices and the firewall), and tessaline-ftp, which reads the same store and never
// writes it. The engine reads only `engine`, handed to the session at construction.

#include "copies/copy_limits.h"
#include "ftp/engine_settings.h"

#include <optional>
#include <string>

// Where the settings live between runs. The program's store is QSettings; tests record calls.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Missing values, and values that cannot be read as the asked type, give nothing.
    virtual std::optional<int> ReadInt(const std::string& section, const std::string& name) = 0;
    virtual std::optional<std::string> ReadString(const std::string& section, const std::string& name) = 0;
    virtual void WriteInt(const std::string& section, const std::string& name, int value) = 0;
    virtual void WriteString(const std::string& section, const std::string& name, const std::string& value) = 0;
};

class CSettings final {
public:
    // Reads every value in start-up order; `downloadDirectoryDefault` stands in for a missing
    // "Default Download Directory" and is not written back while it stays in use, so that it
    // follows the computer (a Downloads folder made later) instead of being frozen in the file.
    void LoadSettings(SettingsStore& store, const std::string& downloadDirectoryDefault);
    // Writes every value, changed or not, in exit order; the download directory only when it is
    // not the computed default.
    void SaveSettings(SettingsStore& store) const;

    // "ProgramOptions"
    int port = 21;        // shown on the options sheet only; connections never use it
    std::string email;    // password of anonymous logins
    int defaultView = 0;  // 0 large icons, 1 details, 2 small icons, 3 list
    int fireWallOn = 0;
    int fireMode = kFirewallProxySite;  // a FirewallStyle
    int firePort = 0;
    std::string fireHost;
    std::string fireUserId;
    std::string firePassword;  // plain text, exactly as typed

    // "TransOptions"
    int transferMode = 'I';  // the stored default; the mode in force is engine.transferMode
    int saveOnDoubleClick = 1;
    int viewOnDoubleClick = 1;
    std::string defaultDownloadDirectory;
    std::string computedDownloadDirectory;  // the default standing in for a missing one; empty when stored
    // "Connections" and "Retries", after "Passive Mode"; a stored value out of range reads as the
    // nearest one allowed.
    int connections = kDefaultConnections;  // sessions a directory copy spreads its files over, 1 to 10
    int retries = kDefaultRetries;          // more tries of a file after a failure that may pass, 0 to 10

    // "WndProperties": the main window's outer rectangle and the two pane sizes
    int left = 0;
    int right = 530;
    int top = 0;
    int bottom = 530;
    int topPane = 400;
    int leftPane = 150;
    bool windowRectangleStored = false;  // "Left" to "Bottom" were all read from the store; never written

    // "Receive Bytes", "Send Bytes", "Retry", "Passive Mode" (in "TransOptions", after the values
    // above, so older settings files read as before) and the transfer mode in force
    EngineSettings engine;
};
