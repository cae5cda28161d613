// SPDX-License-Identifier: GPL-3.0-or-later
// The session's own part: its collaborators, cancel, and what the front ends ask about the
// connection and the progress of a transfer.

#include "ftp/ftp_session.h"
#include "ftp/internal/control_connection.h"
#include "ftp/internal/data_connection.h"
#include "ftp/internal/file_transfer.h"
#include "ftp/internal/session_context.h"
#include "ftp/internal/session_steps.h"
#include "ftp/local_dirs.h"
#include "ftp/socket_errors.h"
#include "remote/exchange_result.h"

namespace {

// One fixed file in this process's listing directory receives every listing.
std::string ListingFilePath()
{
    const std::string directory = ListingDirectory();
    return directory.empty() ? directory : directory + "FTP1B.TMP";
}

}  // namespace

CFtpSession::CFtpSession(const EngineSettings& settings)
    : operations([this] { Cancel(); },
                 [this] {
                     AbortTransfer();
                     ClearCancel();
                 })
    , listingFile(ListingFilePath())
    , context(std::make_unique<SessionContext>(settings, interrupted, connected, commandDepth))
    , control(std::make_unique<ControlConnection>(*context, replyBuffer, replyCode, encrypted))
    , data(std::make_unique<DataConnection>(*context, *control))
    , transfer(NewTransfer(*this, std::string(), std::string()))
{}

CFtpSession::~CFtpSession() = default;

const EngineSettings& CFtpSession::Settings() const
{
    return context->settings;
}

void CFtpSession::Cancel()
{
    // Marked before `interrupted`, so an operation that clears `interrupted` as it starts can
    // tell that a cancel came in between.
    context->cancelRequested = true;
    interrupted = 1;
    context->cancelSignal.Raise();
}

void CFtpSession::ClearCancel()
{
    context->cancelSignal.Clear();
    context->cancelRequested = false;
}

const std::string& CFtpSession::LostReason() const
{
    return control->lostReason;
}

bool CFtpSession::TimedOut() const
{
    return control->lostReason == SocketErrorText(kErrorTimedOut);
}

bool CFtpSession::ConnectionLost() const
{
    return control->Lost();
}

void CFtpSession::AbortTransfer()
{
    data->Close();
    commandDepth = 0;
    connected = 0;
}
