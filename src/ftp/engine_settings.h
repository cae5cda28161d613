#pragma once
// The settings that the engine reads while a worker runs. The window thread may change them at
// the same moment (options sheet), so each value is atomic and read afresh where it is used.

#include <atomic>

struct EngineSettings final {
    std::atomic<int> receiveBytes{1024};  // "Receive Bytes": bytes asked for per data read
    std::atomic<int> sendBytes{512};      // "Send Bytes": bytes read and sent per upload chunk
    std::atomic<int> retry{60};           // "Retry": seconds any network wait may last, 0 = no limit
    std::atomic<int> transferMode{'I'};   // transfer mode in force for the next transfer: 'I', 'A', 'F'
    std::atomic<int> passiveMode{2};      // "Passive Mode": 0 active, 1 passive, 2 automatic
};
