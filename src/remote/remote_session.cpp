// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/remote_session.h"

#include "remote/format_text.h"

std::optional<int> RunRemoteCommand(RemoteSession& session, std::function<int()> command)
{
    return session.Operations().RunCommand(FormatText("Waiting for %s to answer", {session.Login().host}),
                                           std::move(command));
}

bool ConnectInBackground(RemoteSession& session, const std::string& text)
{
    std::thread worker = session.Operations().Start([&session] { session.Connect(); });
    return session.Operations().Wait(worker, WaitKind::Connecting, text);
}
