// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SftpRemoteSession: SFTP over SSH (libssh for the transport, the login and the host keys; the
// SFTP packets our own) behind the remote-session interface. The road of a connect:
//
//   OpenSsh (ssh_connection.cpp)  TCP, SSH transport, ~/.ssh/config; the host key against the
//                                 user's known_hosts, the user asked about an unknown key
//   LogIn (ssh_login.cpp)         agent, key files (passphrases asked), keyboard-interactive,
//                                 password
//   StartSftp (sftp_commands.cpp) the SFTP channel, its version and extensions, the login directory
//
// SFTP has no current directory: the session keeps one and sends full paths. Listings
// (sftp_listing.cpp) and transfers (sftp_transfer.cpp, many requests in flight each way) run on
// the runner's worker; a cancel shuts the socket, which ends every wait at once.

#include "remote/remote_session.h"
#include "remote/session_settings.h"

#include <cstdint>
#include <memory>

struct SftpContext;
class SftpRequest;

class SftpRemoteSession final : public RemoteSession {
public:
    explicit SftpRemoteSession(const SessionSettings& settings);
    ~SftpRemoteSession() override;

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
    // Runs `transfer` on the worker while the front end waits under `text`.
    int RunTransfer(const std::string& text, std::function<int()> transfer);
    // A command's common start: kNotSent when not connected, the failure of the last one cleared.
    bool Ready();
    int Simple(const SftpRequest& request, std::uint32_t id, const std::string& what);

    std::unique_ptr<SftpContext> context;
};
