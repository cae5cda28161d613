// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/remote_session.h"

#include "remote/exchange_result.h"
#include "remote/format_text.h"

#include <thread>

namespace {

constexpr std::chrono::milliseconds kPauseLook{50};  // how soon a cancel ends a pause

}  // namespace

std::optional<int> RunRemoteCommand(RemoteSession& session, std::function<int()> command)
{
    return session.Operations().RunCommand(FormatText("Waiting for %s to answer", {session.Login().host}),
                                           std::move(command));
}

bool PauseInBackground(RemoteSession& session, std::chrono::milliseconds delay)
{
    const auto until = std::chrono::steady_clock::now() + delay;
    return session.Operations()
        .RunCommand("Waiting to try again",
                    [&session, until] {
                        while (!session.CancelRequested() && std::chrono::steady_clock::now() < until)
                            std::this_thread::sleep_for(kPauseLook);
                        return kCompletion;
                    })
        .has_value();
}

bool ConnectInBackground(RemoteSession& session, const std::string& text)
{
    std::thread worker = session.Operations().Start([&session] { session.Connect(); });
    return session.Operations().Wait(worker, WaitKind::Connecting, text);
}
