// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// ProtocolSession: the desktop program's one session, which speaks FTP or SFTP as the login of its
// next connect says (RemoteLogin::protocol). Everything else goes to the protocol's own session;
// the front end that waits for its workers is handed on when the protocol changes.

#include "ftp/ftp_remote_session.h"
#include "sftp/sftp_remote_session.h"

class ProtocolSession final : public RemoteSession {
public:
    explicit ProtocolSession(const EngineSettings& settings);

    OperationRunner& Operations() override { return active->Operations(); }
    std::unique_ptr<RemoteSession> NewSession() const override { return active->NewSession(); }
    // Changes the protocol only between connections: a connected session keeps its own.
    void SetLogin(const RemoteLogin& login) override;
    RemoteLogin Login() const override { return active->Login(); }
    bool Connect() override { return active->Connect(); }
    bool Connected() const override { return active->Connected(); }
    bool Encrypted() const override { return active->Encrypted(); }
    int Quit() override { return active->Quit(); }
    int QuitAtExit() override { return active->QuitAtExit(); }
    int ChangeDirectory(const std::string& name) override { return active->ChangeDirectory(name); }
    int EnterLink(const std::string& listedName) override { return active->EnterLink(listedName); }
    int ChangeToRoot() override { return active->ChangeToRoot(); }
    int CurrentDirectory(std::string& path) override { return active->CurrentDirectory(path); }
    int MakeDirectory(const std::string& name) override { return active->MakeDirectory(name); }
    int RemoveDirectory(const std::string& name) override { return active->RemoveDirectory(name); }
    int DeleteFile(const std::string& name) override { return active->DeleteFile(name); }
    int RenameFile(const std::string& oldName, const std::string& newName) override
    {
        return active->RenameFile(oldName, newName);
    }
    int SetPermissions(const std::string& mode, const std::string& name) override
    {
        return active->SetPermissions(mode, name);
    }
    int QuerySystemType() override { return active->QuerySystemType(); }
    int SystemType() const override { return active->SystemType(); }
    ListingResult ListDirectory(ListingUse use, std::vector<CDirEntry>& entries) override
    {
        return active->ListDirectory(use, entries);
    }
    int RetrieveFile(const std::string& remoteName, const std::string& localPath, const ListedFile& listed,
                     TransferStart start) override
    {
        return active->RetrieveFile(remoteName, localPath, listed, start);
    }
    int StoreFile(const std::string& remoteName, const std::string& localPath, TransferStart start) override
    {
        return active->StoreFile(remoteName, localPath, start);
    }
    void Cancel() override { active->Cancel(); }
    void ClearCancel() override { active->ClearCancel(); }
    bool CancelRequested() const override { return active->CancelRequested(); }
    bool ConnectionLost() const override { return active->ConnectionLost(); }
    SessionFailure Failure() const override { return active->Failure(); }
    std::atomic<int>& TransferAborted() override { return active->TransferAborted(); }

private:
    FtpRemoteSession ftp;
    SftpRemoteSession sftp;
    RemoteSession* active = &ftp;
};
