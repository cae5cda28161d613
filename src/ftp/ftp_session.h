// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CFtpSession: the one FTP session of the program, client side, over IPv4 or IPv6.
//
// The road of a connect: the caller copies host, user, password and the firewall values into the
// session (SetFirewall) and runs Connect on a worker thread. Connect opens the control connection
// (ConnectTcp: service, host and protocol look-ups), reads the greeting (ReadReply, which
// assembles a reply from ReadLine's lines), logs in directly or through the proxy firewall in one
// of its styles, each step one Command, and ends with SYST (QuerySystemType), which sets
// `systemType` for the listing parser. Every command goes through Command -> SendCommandLine ->
// SendAll and comes back through ReadReply; each sent line and each reply line is posted to the
// session log. Remote commands (CWD, MKD, RMD, DELE, RNFR/RNTO, SITE CHMOD, quit) are thin
// operations over Command.
//
// The road of a download: RetrieveFile (window thread) forms "RETR name", picks the type and
// starts the download worker (`operations`), which runs ReceiveFile: TYPE, the data connection
// (OpenDataConnection: in active mode a listener announced with PORT or EPRT, whose connection
// from the server is accepted after the data command, only from the server's own address; in
// passive mode EPSV or PASV and a connection to the server's address at the port it names), the
// data command, DownloadToFile (a temporary file renamed into place when complete) and the final
// reply. Uploads mirror it with StoreFile, SendFile and UploadFromFile; listings use
// ReceiveToFile. The "Passive Mode" setting picks the mode; automatic mode goes passive when this
// computer sits behind a router and the server does not, and switches when the server refuses
// the mode it tried.
//
// Encryption (`encryption`, per site): after the greeting AUTH TLS and on 234 the TLS handshake
// (StartControlTls), or the handshake at once for implicit TLS; login; then PBSZ 0 and PROT P, so
// every data connection is TLS too, resuming the control connection's TLS session. The server's
// certificate passes when the system's trust store verifies it, when the user trusts its
// fingerprint ("trusted-certificates", trusted_certificates.h), or when the front end's AskTrust
// says so. A server that has spoken TLS is remembered ("tls-hosts", tls_hosts.h); when one refuses
// AUTH TLS later, nothing more is sent unless the site says plain FTP only, and a server never
// seen speaking it gets the login in plain text only when the front end's AskPlainLogin agrees.
// Every read and write goes through TryReceive and TrySend, plain or TLS alike.
//
// Waiting: every socket wait watches the session's cancel signal and the "Retry" time-out of the
// engine settings (which bounds a whole reply from its first byte to its last), so Cancel() from
// another thread ends any blocking state at once; a cancel, a time-out or a broken connection
// sets `interrupted`, and replies then count as 421. A time-out or a break also closes the control
// connection (BreakConnection): no later command goes out on it.

#include "ftp/connection_modes.h"
#include "ftp/encryption.h"
#include "ftp/engine_settings.h"
#include "ftp/wait_bounds.h"
#include "remote/format_text.h"
#include "remote/operation_runner.h"
#include "remote/peer_certificate.h"
#include "remote/session_failure.h"

#include <netinet/in.h>
#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class TlsContext;
class TlsStream;


class CFtpSession final {
public:
    explicit CFtpSession(const EngineSettings& settings);
    ~CFtpSession();
    CFtpSession(const CFtpSession&) = delete;
    CFtpSession& operator=(const CFtpSession&) = delete;

    // Control connection
    int ConnectTcp(const std::string& host, const std::string& service, const std::string& protocol);
    // Sends every byte; stores kCompletion (all sent), kPermanentNegative (send failed) or
    // kInterrupted in `result`.
    long SendAll(int socket, const char* data, long length, int& result);
    // Reads one reply line into `replyBuffer` within the time-out; returns its code (421 once
    // interrupted).
    int ReadLine();
    // Closes `socket`; always returns -1, which callers store back.
    int CloseSocket(int socket);

    // Command and reply exchange
    int Command(std::string_view format, std::initializer_list<FormatArg> args = {});
    long SendCommandLine(const std::string& line);
    // Reads one whole reply: the time-out bounds all of it, and a reply of more than 10000 lines
    // interrupts the session.
    int ReadReply();
    // Appends "%sed %ld characters in %ld seconds (%ld bytes/sec)" to the session log: whole
    // seconds, the rate from the milliseconds the transfer took.
    static void LogRate(std::string_view verb, long long bytes, long long milliseconds);

    // Login
    void SetFirewall(int enabled, int style, int port, const std::string& host,
                     const std::string& user, const std::string& password);
    // The control socket once logged in, else kConnectFailed.
    int Connect();

    // Remote commands; the directory, delete and system-type commands return ReplyClass(replyCode).
    // ChangeDirectory enters exactly `name`; EnterLink enters the target of what a UNIX listing
    // shows as a symbolic link, "name -> target" (any other name as it is). Only an entry the
    // listing marks as a link may be entered so: a directory may well be named "a -> ..".
    int ChangeDirectory(const std::string& name);
    int EnterLink(const std::string& listedName);
    int ChangeToRoot();
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
    // Rewrites a directory name into VMS bracket form for the VMS system types, when the result
    // is shorter than `limit`; other types keep the name.
    void VmsDirectoryName(std::string& name, std::size_t limit) const;

    // Data connections and transfers. The window-thread halves return the worker's outcome
    // (kCompletion, kPermanentNegative when it failed, kInterrupted, the final reply's class, or
    // kTransferNotStarted), or kTransferCancelled when the user cancelled.
    int OpenListener();
    int StoreFile(const std::string& remoteName, const std::string& localPath);
    int SendFile();
    int UploadFromFile(const std::string& path);
    // The front end decides `localPath`: the engine writes what it was asked about. `listedSize`,
    // what a listing showed (0: nothing), is the progress's total until the server announces one;
    // unlike an announced size it is not held against the file, which may have changed since.
    int RetrieveFile(const std::string& remoteName, const std::string& localPath, long long listedSize = 0);
    int ReceiveFile();
    int DownloadToFile(const std::string& path);
    // Runs the download half for a listing on the calling thread: raw bytes into `path`.
    int ReceiveToFile(const std::string& command, const std::string& path);
    void AbortTransfer();
    // 'A', 'I' or 'L' for a name (".unk." for names without a dot) from "Extension.ftp".
    char LookUpTransferType(const std::string& fileName) const;
    const EngineSettings& Settings() const { return settings; }

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

    int controlSocket = -1;
    int dataSocket = -1;
    int listenSocket = -1;
    std::atomic<int> commandDepth{0};  // engine operations in progress; a counter, not a lock
    int replyCode = 0;                 // code of the last complete reply, 421 after a break
    std::string replyBuffer;           // the reply line last read
    std::string commandBuffer;         // the last command line sent, with CR LF

    sockaddr_storage serverAddress {};    // where the control connection goes
    sockaddr_storage dataPeerAddress {};  // the other end of the current data connection
    sockaddr_storage localAddress {};     // our end of the control connection, then of the listener

    int firewallEnabled = 0;
    int firewallDirect = 0;  // the style names the site without a proxy login of its own
    int firewallStyle = kFirewallProxySite;
    int firewallPort = 0;    // 0: the FTP service port
    std::string firewallHost;
    std::string firewallUser;
    std::string firewallPassword;

    int encryption = kTlsIfAvailable;  // AskPlainLogin's "always" makes it kPlainOnly
    std::atomic<int> encrypted{0};  // the control connection is TLS
    std::string hostName;  // may end in ":PORT"
    std::string userName;
    std::string password;
    char transferMode = 'I';

    std::atomic<int> interrupted{0};
    std::atomic<int> connected{0};
    std::string refusal;  // why the last Connect stopped, for the user to read; empty: the log tells
    // What kind of failure stopped the last Connect; the log has the details.
    ConnectFailure connectFailure = ConnectFailure::None;
    std::string connectError;  // with NotReached: the system's words, "Connection refused"
    // The connection was given up because the server did not answer within the time-out.
    bool TimedOut() const;
    int localFileError = 0;  // errno of the last transfer's failure on its local file; 0: none
    int systemType = 0;
    int crEndsLine = 0;  // a carriage return alone also ends a reply line

    std::string transferCommand;    // the data command of the next transfer
    std::string transferLocalPath;  // the local file of the next transfer
    char transferType = 'I';        // 'A', 'I', 'F' (sent as I) or 'L' (TYPE L 8)
    // Set by a failed or cancelled transfer: a directory upload or download stops after the
    // current entry.
    std::atomic<int> transferAborted{0};
    // The background operations of this session: its worker, the front end that waits for it
    // (`operations.host`) and the progress counters, under the session lock.
    OperationRunner operations;

    int listColumnCount = 0;     // words in the second line of the last counted listing
    std::string listingFile;     // where every listing of the current directory is received

private:
    // The "Retry" time-out from now, cut short by `waitBound`.
    WaitDeadline RetryDeadline() const;
    int ReadLine(WaitDeadline deadline);
    static constexpr int kServerAnswered = -1;
    // Readies the data connection of the next transfer in the mode of this session: a listener in
    // `listenSocket`, or in passive mode the connection itself in `dataSocket`. False: none.
    bool OpenDataConnection();
    void CloseDataConnection();  // the listener or the data connection, whichever is open
    bool PassiveChosen();
    // 0 when connected, kServerRefused when the server refused both EPSV and PASV, else -1.
    static constexpr int kServerRefused = -2;
    int ConnectPassive();
    int AcceptDataConnection();
    void SetRepresentationType(char type);
    // Waits for a transfer's worker under `text`; a cancel marks the transfer aborted:
    // kTransferCancelled.
    int AwaitTransfer(std::thread& worker, const std::string& text);
    // Puts a received file in place once the final reply is 2 (or, when no reply came, once every
    // byte the 150 reply announced did), or deletes it; the final result.
    int KeepDownload(int result);
    int DirectoryCommand(const char* command, const char* fallback, const std::string& name,
                         std::size_t vmsLimit);
    int FailConnect();
    int FailLogin();  // FailConnect after the server refused the login
    // A time-out or a broken connection ends the session: `interrupted`, and unless the user
    // cancelled, the control connection is closed so that no later command is sent on it.
    void BreakConnection(std::string_view why);

    // One attempt to receive or send on `socket` through TLS when it carries TLS, like recv() and
    // send(): -1 with errno EAGAIN means wait for `waitFor` and try again.
    ssize_t TryReceive(int socket, char* data, std::size_t length, bool peek, short& waitFor);
    ssize_t TrySend(int socket, const char* data, std::size_t length, short& waitFor);
    // After a send attempt on `socket` failed with errno: true when it may be tried again (the
    // call was interrupted, or the socket became writable within the time-out); otherwise the
    // failure is logged, `result` is kPermanentNegative or kInterrupted, and false.
    bool SendMayGoOn(int socket, short waitFor, int& result);
    // The TLS handshake on the control connection to `host` (what it is reached by) and the
    // certificate check; false: the connection is to be closed (logged).
    bool StartControlTls(const std::string& host);
    bool NegotiateTls(const std::string& host);
    // After a refused AUTH TLS, for a site that takes TLS if available: whether the login may go
    // in plain text to `server`; false: the connection is to be closed (logged).
    bool PlainLoginAllowed(const std::string& server);
    bool CertificateAccepted(const std::string& server, const PeerCertificate& certificate);
    // Hands a reply to `ask` (which passes it to the front end) and waits for the answer, or for a
    // cancel, which refuses.
    TrustAnswer AwaitAnswer(const std::function<void(std::shared_ptr<TrustReply>)>& ask);
    // PBSZ 0 and PROT P after login; false when the site requires TLS and the server refused.
    bool ProtectDataConnections();
    // The TLS handshake on the data connection once the server has answered the data command.
    bool SecureDataConnection();
    // The TLS close on the data connection before it is closed, unless the transfer was stopped.
    void EndDataTls(bool waitForPeer);

    const EngineSettings& settings;
    // Declared before the streams, which use it, so it goes after them.
    std::unique_ptr<TlsContext> tls;
    std::unique_ptr<TlsStream> controlTls;
    std::unique_ptr<TlsStream> dataTls;
    bool protectData = false;        // PROT P is in force: data connections are TLS
    std::string tlsHost;             // the name the certificate is checked against
    std::string controlFingerprint;  // data connections must show the control connection's certificate
    CancelSignal cancelSignal;
    std::atomic<bool> cancelRequested{false};  // Cancel was called and ClearCancel not yet
    WaitDeadline waitBound;                    // no wait of the operation in progress goes past this
    bool convertLineEnds = false;  // this transfer turns CR LF into LF or back (ASCII files)
    char typeInForce = '\0';       // the TYPE the server confirmed on this connection; none yet
    enum class DataPath { Undecided, Active, Passive };
    DataPath automaticPath = DataPath::Undecided;  // what automatic mode chose on this connection
    bool extendedPassiveRefused = false;            // EPSV was refused: PASV from now on
    bool addressRefused = false;  // the server refused the PORT or EPRT of the last listener
    std::string receivedFile;      // a complete download waiting for the server's final reply
    long long uploadSize = -1;     // the local file's size when STOR was sent; -1: not known
    long long receivedBytes = 0;
    long long announcedBytes = 0;  // the size the download's preliminary reply named; 0: none
    std::string lostReason;        // why the connection was given up; see LostReason
    std::vector<char> chunk;
};
