// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CFtpSession: the one FTP session of the program, client side, over IPv4 or IPv6. It holds what
// the front ends set and read, and owns its collaborators (ftp/internal/): `context` (the cancel
// signal and time-outs every wait honours), `control` (the control connection: connect, commands
// and replies, its TLS), `data` (the data connection, active or passive, and its TLS) and
// `transfer` (the next or current transfer: command, local file, copy loop).
//
// The road of a connect: the caller copies host, user, password and the firewall values into the
// session (SetFirewall) and runs Connect on a worker thread. Connect opens the control connection
// (ConnectTcp), reads the greeting (ReadReply, which assembles a reply from ReadLine's lines), logs
// in directly or through the proxy firewall, each step one Command, and ends with SYST, which sets
// `systemType` for the listing parser, and FEAT, which sets `features` (MLSD listings, times).
// Every command goes through Command -> SendCommandLine -> SendAll and comes back through
// ReadReply; each line either way is posted to the session log.
// Remote commands (CWD, MKD, RMD, DELE, RNFR/RNTO, SITE CHMOD, quit) are thin operations over it.
//
// The road of a download: RetrieveFile (window thread) makes the transfer ("RETR name") and starts
// the download worker (`operations`), which runs ReceiveFile: TYPE, the data connection (data->Open:
// a listener announced with PORT or EPRT, or EPSV or PASV), the data command, the accept in active
// mode, DownloadToFile (a temporary file renamed into place when complete) and the final reply.
// Uploads mirror it with StoreFile, SendFile and UploadFromFile; listings use ReceiveToFile.
//
// Encryption (`encryption`, per site): after the greeting AUTH TLS and on 234 the TLS handshake
// (StartTls), or the handshake at once for implicit TLS; login; then PBSZ 0 and PROT P, so every
// data connection is TLS too, resuming the control connection's TLS session. The certificate
// passes when the system's trust store verifies it, when the user trusts its fingerprint
// ("trusted-certificates"), or when the front end's AskTrust says so. A server that has spoken TLS
// is remembered ("tls-hosts"): when it refuses AUTH TLS later, nothing more is sent unless the site
// says plain FTP only; one never seen speaking it gets the login in plain text only when the front
// end's AskPlainLogin agrees.
//
// Waiting: every socket wait watches the session's cancel signal and the "Retry" time-out (which
// bounds a whole reply from its first byte to its last), so Cancel() from another thread ends any
// blocking state at once; a cancel, a time-out or a broken connection sets `interrupted`, and
// replies then count as 421. A time-out or a break also closes the control connection
// (control->Break): no later command goes out on it.

#include "ftp/connection_modes.h"
#include "ftp/encryption.h"
#include "ftp/engine_settings.h"
#include "ftp/server_features.h"
#include "remote/operation_runner.h"
#include "remote/remote_session.h"
#include "remote/session_failure.h"

#include <atomic>
#include <memory>
#include <string>

class ControlConnection;
class DataConnection;
class FileTransfer;
struct SessionContext;

class CFtpSession final {
public:
    explicit CFtpSession(const EngineSettings& settings);
    ~CFtpSession();
    CFtpSession(const CFtpSession&) = delete;
    CFtpSession& operator=(const CFtpSession&) = delete;

    void SetFirewall(int enabled, int style, int port, const std::string& host, const std::string& user,
                     const std::string& password);
    // The control socket once logged in, else kConnectFailed.
    int Connect();

    // Remote commands; the directory, delete and system-type commands return ReplyClass(replyCode).
    // ChangeDirectory enters exactly `name`; EnterLink enters the target of what a UNIX listing
    // shows as a symbolic link, "name -> target" (any other name as it is). Only an entry the
    // listing marks as a link may be entered so: a directory may well be named "a -> ..".
    int ChangeDirectory(const std::string& name);
    int EnterLink(const std::string& listedName);
    int ChangeToRoot();
    // PWD: the server's full name of the current directory in `path`, kCompletion when it gave one.
    int CurrentDirectory(std::string& path);
    int MakeDirectory(const std::string& name);
    int RemoveDirectory(const std::string& name);
    int DeleteFile(const std::string& name);
    // kCompletion when renamed; otherwise the result of the step that stopped it (an RNFR that is
    // not answered with 350 counts as refused).
    int RenameFile(const std::string& oldName, const std::string& newName);
    int SetPermissions(const std::string& mode, const std::string& name);
    int Quit();
    // Quit for a program that is ending: the reply is waited for at most the settings' exitQuitMilliseconds
    // (3 s), whatever the time-out.
    int QuitAtExit();
    int QuerySystemType();

    // Transfers. The window-thread halves return the worker's outcome (kCompletion,
    // kPermanentNegative when it failed, kInterrupted, the final reply's class, or
    // kTransferNotStarted), or kTransferCancelled when the user cancelled. `start` as the
    // remote-session interface says: Resume asks SIZE, then REST (an upload APPE when REST is
    // refused).
    // When the settings keep times, a stored file gets the local file's time by MFMT or SITE UTIME,
    // whichever the server offers; a server with neither is said so in the log once per login
    // (`toldTimesNotSet`, shared by the sessions of one copy).
    int StoreFile(const std::string& remoteName, const std::string& localPath,
                  TransferStart start = TransferStart::Fresh);
    int SendFile();
    // The front end decides `localPath`: the engine writes what it was asked about. `listed.size`
    // is the progress's total until the server announces one; unlike an announced size it is not
    // held against the file, which may have changed since. When the settings keep times, the file
    // gets `listed.modified`, or with `listed.askTime` what MDTM says.
    int RetrieveFile(const std::string& remoteName, const std::string& localPath, const ListedFile& listed = {},
                     TransferStart start = TransferStart::Fresh);
    int ReceiveFile();
    // Runs the download half for a listing on the calling thread: raw bytes into `path`.
    int ReceiveToFile(const std::string& command, const std::string& path);
    void AbortTransfer();
    const EngineSettings& Settings() const;

    // Cancel: ends whatever the session waits for, from any thread. The signal stays raised until
    // ClearCancel, which the owner calls once no engine operation runs any more.
    void Cancel();
    void ClearCancel();
    // The control connection broke or timed out, or the server closes it (421): a directory copy
    // stops at once instead of waiting out the time-out once per entry.
    bool ConnectionLost() const;
    // Why the connection was given up (a time-out, a break, the server closing it); empty after a
    // cancel or while it lasts.
    const std::string& LostReason() const;
    // The connection was given up because the server did not answer within the time-out.
    bool TimedOut() const;

    std::atomic<int> commandDepth{0};  // engine operations in progress; a counter, not a lock
    int replyCode = 0;                 // code of the last complete reply, 421 after a break
    std::string replyBuffer;           // the reply line last read

    int firewallEnabled = 0;
    int firewallStyle = kFirewallProxySite;
    int firewallPort = 0;  // 0: the FTP service port
    std::string firewallHost;
    std::string firewallUser;
    std::string firewallPassword;

    int encryption = kTlsIfAvailable;  // AskPlainLogin's "always" makes it kPlainOnly
    std::atomic<int> encrypted{0};     // the control connection is TLS
    std::string hostName;              // may end in ":PORT"
    std::string userName;
    std::string password;
    char transferMode = 'I';

    std::atomic<int> interrupted{0};
    std::atomic<int> connected{0};
    std::string refusal;  // why the last Connect stopped, for the user to read; empty: the log tells
    // What kind of failure stopped the last Connect; the log has the details.
    ConnectFailure connectFailure = ConnectFailure::None;
    std::string connectError;  // with NotReached: the system's words, "Connection refused"
    int localFileError = 0;    // errno of the last transfer's failure on its local file; 0: none
    // The last transfer's data connection broke or ended before every byte came.
    bool transferCutShort = false;
    int systemType = 0;
    ServerFeatures features;  // what FEAT listed after the login
    std::shared_ptr<std::atomic<bool>> toldTimesNotSet = std::make_shared<std::atomic<bool>>(false);

    // The next transfer's local file and type, as the front ends read them; `transfer` holds the
    // same with the rest of the transfer.
    std::string transferLocalPath;
    char transferType = 'I';  // 'A', 'I', 'F' (sent as I) or 'L' (TYPE L 8)
    // Set by a failed or cancelled transfer: a directory upload or download stops after the
    // current entry.
    std::atomic<int> transferAborted{0};
    // The background operations of this session: its worker, the front end that waits for it
    // (`operations.host`) and the progress counters, under the session lock.
    OperationRunner operations;

    int listColumnCount = 0;      // words in the second line of the last counted listing
    bool listedWithMlsd = false;  // the last listing fetched is MLSD's form, not LIST's
    std::string listingFile;      // where every listing of the current directory is received

    // The collaborators, declared in the order they depend on each other.
    const std::unique_ptr<SessionContext> context;
    const std::unique_ptr<ControlConnection> control;
    const std::unique_ptr<DataConnection> data;
    std::shared_ptr<FileTransfer> transfer;  // the worker's; a worker takes over a new one as it starts
};
