// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings that the FTP engine reads while a worker runs, atomic as those of every session
// (remote/session_settings.h).

#include "ftp/connection_modes.h"
#include "remote/session_settings.h"

#include <atomic>

// Bytes per data read and per upload piece unless the user stored other counts: one system call
// per half kilobyte, as the counts of 1024 and 512 of earlier versions cost, held transfers to a
// fraction of what a network carries today.
inline constexpr int kDefaultChunkBytes = 65536;

// The FTP session's settings beside those every session reads.
struct EngineSettings final : SessionSettings {
    std::atomic<int> receiveBytes{kDefaultChunkBytes};  // "Receive Bytes": bytes asked for per data read
    std::atomic<int> sendBytes{kDefaultChunkBytes};     // "Send Bytes": bytes sent per upload piece
    std::atomic<int> transferMode{'I'};                 // transfer mode in force for the next transfer: 'I', 'A', 'F'
    std::atomic<int> passiveMode{kAutomaticMode};       // "Passive Mode": a DataConnectionMode
    std::atomic<bool> useMlsd{true};                    // list with MLSD when the server offers it
};
