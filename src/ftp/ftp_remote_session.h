// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// FtpRemoteSession: the FTP session behind the remote-session interface. It owns the engine's
// CFtpSession and turns each request into its operations; listings go through the listing file
// and the parser.

#include "ftp/engine_settings.h"
#include "remote/remote_session.h"

#include <memory>

class CFtpSession;

class FtpRemoteSession final : public RemoteSession {
public:
    explicit FtpRemoteSession(const EngineSettings& settings);
    ~FtpRemoteSession() override;

    // The engine itself, for the FTP side and its tests.
    CFtpSession& Ftp() { return *session; }

    OperationRunner& Operations() override;
    std::unique_ptr<RemoteSession> NewSession() const override;
    void SetLogin(const RemoteLogin& login) override;
    RemoteLogin Login() const override;
    bool Connect() override;
    bool Connected() const override;
    bool Encrypted() const override;
    int Quit() override;
    int QuitAtExit() override;
    int ChangeDirectory(const std::string& name) override;
    int EnterLink(const std::string& listedName) override;
    int ChangeToRoot() override;
    int CurrentDirectory(std::string& path) override;
    int MakeDirectory(const std::string& name) override;
    int RemoveDirectory(const std::string& name) override;
    int DeleteFile(const std::string& name) override;
    int RenameFile(const std::string& oldName, const std::string& newName) override;
    int SetPermissions(const std::string& mode, const std::string& name) override;
    int QuerySystemType() override;
    int SystemType() const override;
    ListingResult ListDirectory(ListingUse use, std::vector<CDirEntry>& entries) override;
    int RetrieveFile(const std::string& remoteName, const std::string& localPath, const ListedFile& listed,
                     TransferStart start) override;
    int StoreFile(const std::string& remoteName, const std::string& localPath, TransferStart start) override;
    void Cancel() override;
    void ClearCancel() override;
    bool CancelRequested() const override;
    bool ConnectionLost() const override;
    SessionFailure Failure() const override;
    std::atomic<int>& TransferAborted() override;

private:
    std::unique_ptr<CFtpSession> session;
};
