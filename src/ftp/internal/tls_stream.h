// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: TLS (OpenSSL 3) over the session's non-blocking sockets. A TlsContext lives as
// long as one control connection; it keeps the TLS sessions the server hands out so that every
// data connection resumes one (servers such as vsftpd refuse data connections that do not). A
// TlsStream never waits by itself except in Handshake and Shutdown: Read and Write make one
// attempt and say which readiness to poll for, so the session's own loops and waits (cancel,
// "Retry" time-out) work alike over plain and TLS sockets.

#include "ftp/internal/socket_wait.h"
#include "remote/peer_certificate.h"

#include <cstddef>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

struct ssl_ctx_st;
struct ssl_st;
struct ssl_session_st;

class TlsContext final {
public:
    // Nothing when OpenSSL could not make a context; `failure` says why.
    static std::unique_ptr<TlsContext> Create(std::string& failure);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

private:
    friend class TlsStream;
    explicit TlsContext(ssl_ctx_st* context);
    static int KeepSession(ssl_st* ssl, ssl_session_st* session);
    // The session a new data connection offers: the newest one not offered yet, or the last one
    // left (TLS 1.2 servers resume one session any number of times). Nothing before the first.
    ssl_session_st* SessionToResume();

    ssl_ctx_st* context;
    // The key exchange group the control connection's handshake agreed on (an OpenSSL NID; 0:
    // none yet). Data connections offer its key share first: a key share the server does not take
    // costs every data connection a round trip more.
    int agreedGroup = 0;
    // Resumable sessions, newest last. TLS 1.3 servers resume each ticket once, and send new
    // ones on every connection, the data connections included.
    std::vector<ssl_session_st*> sessions;
};

class TlsStream final {
public:
    // A client on `socket` (not owned). `host` is checked against the certificate's names (a
    // numeric address against its addresses); a data stream resumes the control stream's session.
    enum class Role { Control, Data };
    TlsStream(TlsContext& context, int socket, const std::string& host, Role role);
    ~TlsStream();
    TlsStream(const TlsStream&) = delete;
    TlsStream& operator=(const TlsStream&) = delete;

    // 0 when the handshake is done; the program's error number when cancelled or timed out;
    // kHandshakeFailed with `failure` set when TLS itself failed or the peer closed.
    static constexpr int kHandshakeFailed = -1;
    int Handshake(const CancelSignal& cancel, WaitDeadline deadline, std::string& failure);

    // One attempt, like recv()/send(): the byte count (0 from Read: the peer ended the stream),
    // or -1 with errno set; EAGAIN means poll for `waitFor` (POLLIN or POLLOUT) and try again.
    // A TLS failure is logged and reported as ECONNABORTED.
    ssize_t Read(char* data, std::size_t length, bool peek, short& waitFor);
    ssize_t Write(const char* data, std::size_t length, short& waitFor);
    // Decrypted bytes waiting inside TLS, which a poll on the socket cannot see.
    bool HasPending() const;

    // Sends the TLS close; with `waitForPeer` also reads until the peer's close or end of stream,
    // so no unread bytes make the kernel reset the connection under data the server still reads.
    void Shutdown(const CancelSignal& cancel, WaitDeadline deadline, bool waitForPeer);
    // The stream ended without the peer's TLS close (a cut connection looks the same).
    bool EndedWithoutClose() const { return endedWithoutClose; }

    PeerCertificate Certificate() const;
    // "TLS 1.3 connection established (TLS_AES_256_GCM_SHA384)"
    std::string Description() const;
    bool Resumed() const;

private:
    ssl_st* ssl = nullptr;
    int socket;
    bool endedWithoutClose = false;
};

// One attempt to receive or send on `socket`, through `tls` when it carries TLS, like recv() and
// send(): -1 with errno EAGAIN means wait for `waitFor` and try again.
ssize_t TryReceive(int socket, TlsStream* tls, char* data, std::size_t length, bool peek, short& waitFor);
ssize_t TrySend(int socket, TlsStream* tls, const char* data, std::size_t length, short& waitFor);
