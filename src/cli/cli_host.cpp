#include "cli/cli_host.h"

#include "ftp/ftp_session.h"

#include <chrono>
#include <cstdio>

bool CliHost::WaitWhileBusy(WaitKind, const std::string&, CFtpSession& session)
{
    const auto busy = [&session] {
        std::lock_guard guard(session.operationStatus.lock);
        return session.operationStatus.workerBusy != 0;
    };
    std::unique_lock guard(lock);
    while (busy())
        ended.wait_for(guard, std::chrono::milliseconds(500));
    return true;
}

void CliHost::WorkerEnded()
{
    std::lock_guard guard(lock);
    ended.notify_all();
}

void CliHost::Inform(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}
