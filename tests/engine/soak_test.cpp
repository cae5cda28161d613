// SPDX-License-Identifier: GPL-3.0-or-later
// Long runs against pyftpdlib in one session: many round trips and many cancelled connects must
// leave no descriptor and no thread behind.

#include "support/real_ftp_servers.h"
#include "support/transfer_fixture.h"

#include <dirent.h>

namespace {

int EntriesIn(const char* directory)
{
    int count = 0;
    if (DIR* listing = ::opendir(directory)) {
        while (::readdir(listing))
            ++count;
        ::closedir(listing);
    }
    return count;
}

int OpenDescriptors()
{
    return EntriesIn("/proc/self/fd");
}

int Threads()
{
    return EntriesIn("/proc/self/task");
}

TEST(SoakTest, RoundTripsAndCancelledConnectsLeaveNothingBehind)
{
    TempDir root;
    TempDir local;
    PyftpdlibServer server(root.path, "anna", "secret");
    ASSERT_TRUE(server.Started()) << server.ServerLog();
    EngineSettings settings;
    settings.retry = 20;
    settings.sendBytes = 65536;
    settings.receiveBytes = 65536;
    TestHost host;
    CFtpSession session(settings);
    session.operations.host = &host;
    session.hostName = "127.0.0.1:" + std::to_string(server.Port());
    session.userName = "anna";
    session.password = "secret";
    ASSERT_NE(session.Connect(), kConnectFailed);
    TakeLog();

    // One round trip first, so that whatever the runtime starts with the first worker (a
    // sanitizer's own thread, say) is already there when counting starts.
    WriteFile(fs::path(local.path) / "warm", "up");
    ASSERT_EQ(session.StoreFile("warm", fs::path(local.path) / "warm"), kCompletion);
    TakeLog();
    const int descriptors = OpenDescriptors();
    const int threads = Threads();
    std::mt19937 random(2026);
    for (int trip = 0; trip < 500; ++trip) {
        const std::string bytes = RandomBytes(random() % 100000);
        const fs::path sent = fs::path(local.path) / "sent";
        const fs::path back = fs::path(local.path) / "back";
        WriteFile(sent, bytes);
        ASSERT_EQ(session.StoreFile("file" + std::to_string(trip % 7), sent), kCompletion) << "trip " << trip;
        ASSERT_EQ(session.RetrieveFile("file" + std::to_string(trip % 7), back), kCompletion) << "trip " << trip;
        ASSERT_EQ(ReadFile(back), bytes) << "trip " << trip;
        TakeLog();
    }
    EXPECT_EQ(OpenDescriptors(), descriptors);
    EXPECT_EQ(Threads(), threads);

    // Connects cancelled at once, whatever stage they reached; each next one begins with quit.
    host.cancelWhen = [](OperationRunner&) { return true; };
    for (int cycle = 0; cycle < 200; ++cycle) {
        session.Quit();
        std::thread worker = session.operations.Start([&session] { session.Connect(); });
        session.operations.Wait(worker, WaitKind::Connecting, session.hostName);
        TakeLog();
    }
    session.Quit();
    TakeLog();
    EXPECT_EQ(OpenDescriptors(), descriptors - 1);  // the control connection of the first login is gone too
    EXPECT_EQ(Threads(), threads);

    host.cancelWhen = nullptr;
    ASSERT_NE(session.Connect(), kConnectFailed);
    EXPECT_EQ(session.RetrieveFile("file0", fs::path(local.path) / "last"), kCompletion);
}

}  // namespace
