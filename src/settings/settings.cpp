// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings.h"

#include "ftp/local_dirs.h"

#include <algorithm>

namespace {

const std::string kProgram = "ProgramOptions";
const std::string kTransfer = "TransOptions";
const std::string kWindow = "WndProperties";

int ReadInt(SettingsStore& store, const std::string& section, const std::string& name, int fallback)
{
    return store.ReadInt(section, name).value_or(fallback);
}

std::string ReadString(SettingsStore& store, const std::string& section, const std::string& name,
                       const std::string& fallback)
{
    return store.ReadString(section, name).value_or(fallback);
}

}  // namespace

void CSettings::LoadSettings(SettingsStore& store, const std::string& downloadDirectoryDefault)
{
    const CSettings d;  // the defaults

    port = ReadInt(store, kProgram, "Port", d.port);
    engine.receiveBytes = ReadInt(store, kProgram, "Receive Bytes", d.engine.receiveBytes);
    engine.sendBytes = ReadInt(store, kProgram, "Send Bytes", d.engine.sendBytes);
    engine.retry = ReadInt(store, kProgram, "Retry", d.engine.retry);
    email = ReadString(store, kProgram, "e-mail", d.email);

    transferMode = ReadInt(store, kTransfer, "Transfer Mode", d.transferMode);
    engine.transferMode = transferMode;
    saveOnDoubleClick = ReadInt(store, kTransfer, "Save On Double-Click", d.saveOnDoubleClick);
    viewOnDoubleClick = ReadInt(store, kTransfer, "View On Double-Click", d.viewOnDoubleClick);
    const std::optional<std::string> downloads = store.ReadString(kTransfer, "Default Download Directory");
    // Earlier versions wrote their fallback, the private runtime directory, back as if chosen: it
    // is emptied at logout, and what was downloaded there would be lost.
    if (downloads && *downloads != PrivateTempDirectory()) {
        defaultDownloadDirectory = *downloads;
    } else {
        defaultDownloadDirectory = downloadDirectoryDefault;
        computedDownloadDirectory = downloadDirectoryDefault;
    }
    engine.passiveMode = ReadInt(store, kTransfer, "Passive Mode", d.engine.passiveMode);
    connections = std::clamp(ReadInt(store, kTransfer, "Connections", d.connections), 1, kMostConnections);
    retries = std::clamp(ReadInt(store, kTransfer, "Retries", d.retries), 0, kMostRetries);
    engine.useMlsd = ReadInt(store, kTransfer, "Use MLSD", d.engine.useMlsd) != 0;
    engine.keepTimes = ReadInt(store, kTransfer, "Keep Modification Times", d.engine.keepTimes) != 0;

    int edgesStored = 0;
    const auto readEdge = [&](const char* name, int fallback) {
        const std::optional<int> value = store.ReadInt(kWindow, name);
        edgesStored += value.has_value();
        return value.value_or(fallback);
    };
    left = readEdge("Left", d.left);
    right = readEdge("Right", d.right);
    top = readEdge("Top", d.top);
    bottom = readEdge("Bottom", d.bottom);
    windowRectangleStored = edgesStored == 4;
    topPane = ReadInt(store, kWindow, "TopPane", d.topPane);
    leftPane = ReadInt(store, kWindow, "LeftPane", d.leftPane);

    defaultView = ReadInt(store, kProgram, "Default View", d.defaultView);
    fireWallOn = ReadInt(store, kProgram, "Fire Wall On", d.fireWallOn);
    fireMode = ReadInt(store, kProgram, "Fire Mode", d.fireMode);
    firePort = ReadInt(store, kProgram, "Fire Port", d.firePort);
    fireHost = ReadString(store, kProgram, "Fire Host", d.fireHost);
    fireUserId = ReadString(store, kProgram, "Fire User ID", d.fireUserId);
    firePassword = ReadString(store, kProgram, "Fire Password", d.firePassword);
}

void CSettings::SaveSettings(SettingsStore& store) const
{
    store.WriteInt(kWindow, "Left", left);
    store.WriteInt(kWindow, "Right", right);
    store.WriteInt(kWindow, "Top", top);
    store.WriteInt(kWindow, "Bottom", bottom);
    store.WriteInt(kWindow, "TopPane", topPane);
    store.WriteInt(kWindow, "LeftPane", leftPane);

    store.WriteInt(kProgram, "Port", port);
    store.WriteInt(kProgram, "Receive Bytes", engine.receiveBytes);
    store.WriteInt(kProgram, "Send Bytes", engine.sendBytes);
    store.WriteInt(kProgram, "Retry", engine.retry);
    store.WriteString(kProgram, "e-mail", email);
    store.WriteInt(kProgram, "Default View", defaultView);
    store.WriteInt(kProgram, "Fire Wall On", fireWallOn);
    store.WriteInt(kProgram, "Fire Mode", fireMode);
    store.WriteInt(kProgram, "Fire Port", firePort);
    store.WriteString(kProgram, "Fire Host", fireHost);
    store.WriteString(kProgram, "Fire User ID", fireUserId);
    store.WriteString(kProgram, "Fire Password", firePassword);

    store.WriteInt(kTransfer, "Transfer Mode", transferMode);
    store.WriteInt(kTransfer, "Save On Double-Click", saveOnDoubleClick);
    store.WriteInt(kTransfer, "View On Double-Click", viewOnDoubleClick);
    if (defaultDownloadDirectory != computedDownloadDirectory)
        store.WriteString(kTransfer, "Default Download Directory", defaultDownloadDirectory);
    store.WriteInt(kTransfer, "Passive Mode", engine.passiveMode);
    store.WriteInt(kTransfer, "Connections", connections);
    store.WriteInt(kTransfer, "Retries", retries);
    store.WriteInt(kTransfer, "Use MLSD", engine.useMlsd ? 1 : 0);
    store.WriteInt(kTransfer, "Keep Modification Times", engine.keepTimes ? 1 : 0);
}
