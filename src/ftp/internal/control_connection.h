// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: the control connection of a session. It connects (service, host and protocol
// look-ups), sends every command line (SendCommandLine -> SendAll) and reads every reply
// (ReadReply, which assembles a reply from ReadLine's lines into the session's `replyBuffer` and
// `replyCode`), speaks TLS once StartTls has made the handshake, and is given up by Break.

#include "ftp/internal/session_context.h"
#include "remote/format_text.h"
#include "remote/peer_certificate.h"

#include <netinet/in.h>
#include <sys/types.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TlsContext;
class TlsStream;

class ControlConnection final {
public:
    ControlConnection(SessionContext& context, std::string& replyBuffer, int& replyCode, std::atomic<int>& encrypted);
    ~ControlConnection();
    ControlConnection(const ControlConnection&) = delete;
    ControlConnection& operator=(const ControlConnection&) = delete;

    // The connected socket, or -1 (logged). `proxyPort`, when not 0, is the port of a host named
    // without one; otherwise the service's port. Why no server was found is left in `unreached`.
    int ConnectTcp(const std::string& host, const std::string& service, const std::string& protocol, int proxyPort = 0);
    enum class Unreached { No, HostNotFound, NoAnswer };
    Unreached unreached = Unreached::No;
    std::string unreachedError;  // with NoAnswer: the system's words, "Connection refused"

    // The TLS handshake with `host` (what the connection reaches) and the certificate check by
    // `accept`, which gets the server's "host:port"; false: the connection is to be closed
    // (logged).
    using CertificateCheck = std::function<bool(const std::string& server, const PeerCertificate&)>;
    bool StartTls(const std::string& host, const CertificateCheck& accept);

    // The command and reply exchange: refuses a line with a line break or too long for the
    // command buffer (kNotSent), logs it (a password as xxxxxx), sends it and reads the reply.
    int Command(std::string_view format, std::initializer_list<FormatArg> args = {});
    long SendCommandLine(const std::string& line);
    // Sends every byte on `socket` (through `tls` when not null); stores kCompletion (all sent),
    // kPermanentNegative (send failed) or kInterrupted in `result`.
    long SendAll(int socket, TlsStream* tls, const char* data, long length, int& result);
    // Reads one whole reply: the time-out bounds all of it, and a reply of more than 10000 lines
    // interrupts the session.
    int ReadReply();
    // Reads one reply line into `replyBuffer` within the time-out; returns its code (421 once
    // interrupted).
    int ReadLine();
    int ReadLine(WaitDeadline deadline);
    // Asks for the representation type unless the server confirmed it on this connection.
    void SetRepresentationType(char type);

    // A time-out or a broken connection ends the session: `interrupted`, and unless the user
    // cancelled, the control connection is closed so that no later command is sent on it.
    void Break(std::string_view why);
    // Logs why a TLS handshake (`what`: on this connection or one of its data connections) did
    // not finish: TLS itself failed (`failure`), or `result`, a cancel or a time-out, which breaks
    // the session.
    void HandshakeFailed(std::string_view what, int result, const std::string& failure);
    // The connection broke or timed out, or the server closes it (421).
    bool Lost() const;
    // Closes the socket, its TLS with it (logged).
    void Close();

    int socket = -1;
    // While set, every line of each reply read is added to it as well: a reply whose lines each
    // say something (FEAT).
    std::vector<std::string>* keptReplyLines = nullptr;
    sockaddr_storage serverAddress{};  // where the control connection goes
    sockaddr_storage localAddress{};   // our end of the control connection, then of the listener
    int crEndsLine = 0;                // a carriage return alone also ends a reply line
    char typeInForce = '\0';           // the TYPE the server confirmed on this connection; none yet
    std::string commandBuffer;         // the last command line sent, with CR LF
    std::string lostReason;            // why the connection was given up; empty after a cancel
    // Declared before the stream, which uses it, so it goes after it; data connections resume
    // its TLS sessions.
    std::unique_ptr<TlsContext> tlsContext;
    std::unique_ptr<TlsStream> tls;
    std::string tlsHost;      // the name the certificate is checked against
    std::string fingerprint;  // of the server's certificate: data connections must show the same

    SessionContext& context;
    std::string& replyBuffer;  // the session's: the reply line last read
    int& replyCode;            // the session's: code of the last complete reply, 421 after a break

private:
    // After a send attempt on `socket` failed with errno: true when it may be tried again (the
    // call was interrupted, or the socket became writable within the time-out); otherwise the
    // failure is logged, `result` is kPermanentNegative or kInterrupted, and false.
    bool SendMayGoOn(int socket, short waitFor, int& result);

    std::atomic<int>& encrypted;  // the session's: this connection is TLS
};
