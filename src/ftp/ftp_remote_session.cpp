// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/ftp_remote_session.h"

#include "ftp/ftp_session.h"
#include "ftp/internal/listing_retrieval.h"
#include "ftp/internal/session_context.h"
#include "remote/exchange_result.h"

FtpRemoteSession::FtpRemoteSession(const EngineSettings& settings) : session(std::make_unique<CFtpSession>(settings)) {}

FtpRemoteSession::~FtpRemoteSession() = default;

OperationRunner& FtpRemoteSession::Operations()
{
    return session->operations;
}

std::unique_ptr<RemoteSession> FtpRemoteSession::NewSession() const
{
    auto another = std::make_unique<FtpRemoteSession>(session->Settings());
    another->SetLogin(Login());
    // One copy over several connections says once that the server cannot set times.
    another->session->toldTimesNotSet = session->toldTimesNotSet;
    return another;
}

void FtpRemoteSession::SetLogin(const RemoteLogin& login)
{
    session->toldTimesNotSet = std::make_shared<std::atomic<bool>>(false);
    session->hostName = login.host;
    session->userName = login.user;
    session->password = login.password;
    session->encryption = login.encryption;
    session->transferMode = login.transferMode;
    const FirewallLogin& firewall = login.firewall;
    session->SetFirewall(firewall.enabled, firewall.style, firewall.port, firewall.host, firewall.user,
                         firewall.password);
}

RemoteLogin FtpRemoteSession::Login() const
{
    return {RemoteProtocol::Ftp,
            session->hostName,
            session->userName,
            session->password,
            session->encryption,
            session->transferMode,
            {session->firewallEnabled, session->firewallStyle, session->firewallPort, session->firewallHost,
             session->firewallUser, session->firewallPassword}};
}

bool FtpRemoteSession::Connect()
{
    return session->Connect() != kConnectFailed;
}

bool FtpRemoteSession::Connected() const
{
    return session->connected != 0;
}

bool FtpRemoteSession::Encrypted() const
{
    return session->encrypted != 0;
}

int FtpRemoteSession::Quit()
{
    return session->Quit();
}

int FtpRemoteSession::QuitAtExit()
{
    return session->QuitAtExit();
}

int FtpRemoteSession::ChangeDirectory(const std::string& name)
{
    return session->ChangeDirectory(name);
}

int FtpRemoteSession::EnterLink(const std::string& listedName)
{
    return session->EnterLink(listedName);
}

int FtpRemoteSession::ChangeToRoot()
{
    return session->ChangeToRoot();
}

int FtpRemoteSession::CurrentDirectory(std::string& path)
{
    return session->CurrentDirectory(path);
}

int FtpRemoteSession::MakeDirectory(const std::string& name)
{
    return session->MakeDirectory(name);
}

int FtpRemoteSession::RemoveDirectory(const std::string& name)
{
    return session->RemoveDirectory(name);
}

int FtpRemoteSession::DeleteFile(const std::string& name)
{
    return session->DeleteFile(name);
}

int FtpRemoteSession::RenameFile(const std::string& oldName, const std::string& newName)
{
    return session->RenameFile(oldName, newName);
}

int FtpRemoteSession::SetPermissions(const std::string& mode, const std::string& name)
{
    return session->SetPermissions(mode, name);
}

int FtpRemoteSession::QuerySystemType()
{
    return session->QuerySystemType();
}

int FtpRemoteSession::SystemType() const
{
    return session->systemType;
}

ListingResult FtpRemoteSession::ListDirectory(ListingUse use, std::vector<CDirEntry>& entries)
{
    if (use == ListingUse::Copy)
        return ListCurrentDirectory(*session, entries) ? ListingResult::Listed : ListingResult::Failed;
    CListingReader reader(*session);
    CDirEntry entry;
    ListingStep step = reader.OpenListing(entry);
    for (; step == ListingStep::Entry; step = reader.NextListingEntry(entry))
        entries.push_back(entry);
    switch (step) {
    case ListingStep::PermissionDenied: return ListingResult::PermissionDenied;
    case ListingStep::Failed: return reader.Cancelled() ? ListingResult::Cancelled : ListingResult::Failed;
    default: return ListingResult::Listed;
    }
}

int FtpRemoteSession::RetrieveFile(const std::string& remoteName, const std::string& localPath,
                                   const ListedFile& listed, TransferStart start)
{
    return session->RetrieveFile(remoteName, localPath, listed, start);
}

int FtpRemoteSession::StoreFile(const std::string& remoteName, const std::string& localPath, TransferStart start)
{
    return session->StoreFile(remoteName, localPath, start);
}

void FtpRemoteSession::Cancel()
{
    session->Cancel();
}

void FtpRemoteSession::ClearCancel()
{
    session->ClearCancel();
}

bool FtpRemoteSession::CancelRequested() const
{
    return session->context->cancelRequested;
}

bool FtpRemoteSession::ConnectionLost() const
{
    return session->ConnectionLost();
}

SessionFailure FtpRemoteSession::Failure() const
{
    SessionFailure failure;
    failure.connectFailure = session->connectFailure;
    failure.connectError = session->connectError;
    failure.refusal = session->refusal;
    failure.lostReason = session->LostReason();
    failure.timedOut = session->TimedOut();
    failure.replyCode = session->replyCode;
    failure.reply = session->replyBuffer;
    failure.localFileError = session->localFileError;
    failure.localPath = session->transferLocalPath;
    failure.dataCutShort = session->transferCutShort;
    failure.cancelled = session->context->cancelRequested;
    return failure;
}

std::atomic<int>& FtpRemoteSession::TransferAborted()
{
    return session->transferAborted;
}
