// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/internal/tls_stream.h"

#include "remote/session_log.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>

namespace {

constexpr char kForwardSecretSuites[] = "ECDHE:DHE:!aNULL:!eNULL:!PSK:!SRP:!RC4:!3DES:!MD5";

// The key exchange groups a client offers by default, in OpenSSL's order. It sends a key share for
// the first only, so a data connection puts first the one its control connection agreed on.
constexpr int kOfferedGroups[] = {NID_X25519, NID_X9_62_prime256v1, NID_X448, NID_secp521r1, NID_secp384r1};

// The socket under a TLS stream. OpenSSL's own socket BIO sends without MSG_NOSIGNAL, so a server
// that hangs up during a send would end the whole program with SIGPIPE.
struct SocketBio final {
    int fd = -1;
    bool ended = false;  // recv() gave 0: the peer closed its end
};

SocketBio* StateOf(BIO* bio)
{
    return static_cast<SocketBio*>(BIO_get_data(bio));
}

int BioWrite(BIO* bio, const char* data, std::size_t length, std::size_t* written)
{
    BIO_clear_retry_flags(bio);
    const ssize_t sent = ::send(StateOf(bio)->fd, data, length, MSG_NOSIGNAL);
    if (sent >= 0) {
        *written = static_cast<std::size_t>(sent);
        return 1;
    }
    if (errno == EAGAIN || errno == EINTR)
        BIO_set_retry_write(bio);
    return 0;
}

int BioRead(BIO* bio, char* data, std::size_t length, std::size_t* got)
{
    BIO_clear_retry_flags(bio);
    SocketBio* state = StateOf(bio);
    const ssize_t received = ::recv(state->fd, data, length, 0);
    if (received > 0) {
        *got = static_cast<std::size_t>(received);
        return 1;
    }
    if (received == 0)
        state->ended = true;
    else if (errno == EAGAIN || errno == EINTR)
        BIO_set_retry_read(bio);
    return 0;
}

long BioControl(BIO* bio, int command, long, void*)
{
    switch (command) {
    case BIO_CTRL_FLUSH: return 1;
    case BIO_CTRL_EOF: return StateOf(bio)->ended ? 1 : 0;
    default: return 0;
    }
}

int BioDestroy(BIO* bio)
{
    delete StateOf(bio);
    BIO_set_data(bio, nullptr);
    return 1;
}

BIO_METHOD* SocketBioMethod()
{
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tessaline socket");
        BIO_meth_set_write_ex(made, BioWrite);
        BIO_meth_set_read_ex(made, BioRead);
        BIO_meth_set_ctrl(made, BioControl);
        BIO_meth_set_destroy(made, BioDestroy);
        return made;
    }();
    return method;
}

// The oldest entry of this thread's OpenSSL error queue as text; the queue is emptied.
std::string OpenSslError()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return "unknown TLS error";
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

bool IsNumericAddress(const std::string& host)
{
    unsigned char buffer[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), buffer) == 1 || ::inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string TextOf(BIO* memory)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(memory, &data);
    std::string text(data, static_cast<std::size_t>(size > 0 ? size : 0));
    BIO_free(memory);
    return text;
}

std::string NameText(const X509_NAME* name)
{
    BIO* memory = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(memory, name, 0, XN_FLAG_RFC2253);
    return TextOf(memory);
}

std::string TimeText(const ASN1_TIME* time)
{
    BIO* memory = BIO_new(BIO_s_mem());
    ASN1_TIME_print(memory, time);
    return TextOf(memory);
}

}  // namespace

std::unique_ptr<TlsContext> TlsContext::Create(std::string& failure)
{
    SSL_CTX* made = SSL_CTX_new(TLS_client_method());
    if (!made) {
        failure = OpenSslError();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(made, TLS1_2_VERSION);
    // FTP never needs a second handshake, and a certificate it brought would not be checked again.
    SSL_CTX_set_options(made, SSL_OP_NO_RENEGOTIATION);
    // TLS 1.2 suites with forward secrecy only: with a static RSA key exchange, whoever gets the
    // server's key later reads every recorded session. TLS 1.3 suites all have it.
    if (SSL_CTX_set_cipher_list(made, kForwardSecretSuites) != 1) {
        failure = OpenSslError();
        SSL_CTX_free(made);
        return nullptr;
    }
    if (SSL_CTX_set_default_verify_paths(made) != 1)
        ERR_clear_error();  // no system store: every certificate then needs the user's trust
    // Verification runs and records its result, but the decision is ours: a certificate the
    // system does not trust may still be one the user trusts.
    SSL_CTX_set_verify(made, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_mode(made, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    SSL_CTX_set_session_cache_mode(made, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(made, &TlsContext::KeepSession);
    std::unique_ptr<TlsContext> context(new TlsContext(made));
    SSL_CTX_set_app_data(made, context.get());
    return context;
}

TlsContext::TlsContext(ssl_ctx_st* context) : context(context) {}

TlsContext::~TlsContext()
{
    for (SSL_SESSION* session : sessions)
        SSL_SESSION_free(session);
    SSL_CTX_free(context);
}

// TLS 1.3 sends its resumable sessions (tickets) after each handshake, and they arrive while we
// read from that connection: replies on the control connection, data, or the peer's TLS close.
int TlsContext::KeepSession(ssl_st* ssl, ssl_session_st* session)
{
    constexpr std::size_t kKept = 8;
    auto* self = static_cast<TlsContext*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    if (!self || SSL_SESSION_is_resumable(session) != 1)
        return 0;
    if (self->sessions.size() == kKept) {
        SSL_SESSION_free(self->sessions.front());
        self->sessions.erase(self->sessions.begin());
    }
    self->sessions.push_back(session);
    return 1;  // we keep the reference
}

ssl_session_st* TlsContext::SessionToResume()
{
    if (sessions.empty())
        return nullptr;
    if (sessions.size() == 1) {
        SSL_SESSION_up_ref(sessions.back());
        return sessions.back();
    }
    SSL_SESSION* newest = sessions.back();
    sessions.pop_back();
    return newest;
}

TlsStream::TlsStream(TlsContext& context, int socket, const std::string& host, Role role)
    : ssl(SSL_new(context.context))
    , socket(socket)
{
    BIO* bio = BIO_new(SocketBioMethod());
    BIO_set_data(bio, new SocketBio{socket});
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);
    X509_VERIFY_PARAM* check = SSL_get0_param(ssl);
    if (IsNumericAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(check, host.c_str());
    } else {
        SSL_set_tlsext_host_name(ssl, host.c_str());
        SSL_set1_host(ssl, host.c_str());
        // Only the names the certificate lists for the purpose count: not the subject's common
        // name, and no wildcard inside a label ("f*.example.org").
        X509_VERIFY_PARAM_set_hostflags(check,
                                        X509_CHECK_FLAG_NEVER_CHECK_SUBJECT | X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    }
    if (role == Role::Data) {
        if (SSL_SESSION* session = context.SessionToResume()) {
            SSL_set_session(ssl, session);
            SSL_SESSION_free(session);
        }
        if (context.agreedGroup != 0) {
            std::vector<int> groups{context.agreedGroup};
            for (const int group : kOfferedGroups) {
                if (group != context.agreedGroup)
                    groups.push_back(group);
            }
            SSL_set1_groups(ssl, groups.data(), groups.size());
        }
    }
}

TlsStream::~TlsStream()
{
    SSL_free(ssl);
}

int TlsStream::Handshake(const CancelSignal& cancel, WaitDeadline deadline, std::string& failure)
{
    for (;;) {
        ERR_clear_error();
        errno = 0;
        const int result = SSL_connect(ssl);
        if (result == 1) {
            auto* context = static_cast<TlsContext*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
            if (context && context->agreedGroup == 0)
                context->agreedGroup = SSL_get_negotiated_group(ssl);
            return 0;
        }
        const int error = SSL_get_error(ssl, result);
        short events = 0;
        if (error == SSL_ERROR_WANT_READ)
            events = POLLIN;
        else if (error == SSL_ERROR_WANT_WRITE)
            events = POLLOUT;
        if (events == 0) {
            if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0)
                failure = errno != 0 ? std::string(std::strerror(errno)) : "the server closed the connection";
            else
                failure = OpenSslError();
            return kHandshakeFailed;
        }
        if (const int waited = WaitForSocket(socket, events, cancel, deadline); waited != 0)
            return waited;
    }
}

ssize_t TlsStream::Read(char* data, std::size_t length, bool peek, short& waitFor)
{
    ERR_clear_error();
    errno = 0;
    std::size_t got = 0;
    const int result = peek ? SSL_peek_ex(ssl, data, length, &got) : SSL_read_ex(ssl, data, length, &got);
    if (result == 1)
        return static_cast<ssize_t>(got);
    const int error = SSL_get_error(ssl, result);
    switch (error) {
    case SSL_ERROR_ZERO_RETURN: return 0;
    case SSL_ERROR_WANT_READ:
        waitFor = POLLIN;
        errno = EAGAIN;
        return -1;
    case SSL_ERROR_WANT_WRITE:
        waitFor = POLLOUT;
        errno = EAGAIN;
        return -1;
    case SSL_ERROR_SYSCALL:
        if (ERR_peek_error() == 0 && errno == 0) {
            endedWithoutClose = true;
            return 0;
        }
        if (ERR_peek_error() == 0)
            return -1;  // errno tells
        break;
    case SSL_ERROR_SSL:
        if (ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
            ERR_clear_error();
            endedWithoutClose = true;
            return 0;
        }
        break;
    default: break;
    }
    LogMessage("TLS: %s", {OpenSslError()});
    errno = ECONNABORTED;
    return -1;
}

ssize_t TlsStream::Write(const char* data, std::size_t length, short& waitFor)
{
    ERR_clear_error();
    errno = 0;
    std::size_t written = 0;
    const int result = SSL_write_ex(ssl, data, length, &written);
    if (result == 1)
        return static_cast<ssize_t>(written);
    const int error = SSL_get_error(ssl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        waitFor = error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        errno = EAGAIN;
        return -1;
    }
    if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) {
        if (errno == 0)
            errno = EPIPE;  // the stream has ended: nothing more can be sent
        return -1;
    }
    LogMessage("TLS: %s", {OpenSslError()});
    errno = ECONNABORTED;
    return -1;
}

bool TlsStream::HasPending() const
{
    return SSL_pending(ssl) > 0;
}

void TlsStream::Shutdown(const CancelSignal& cancel, WaitDeadline deadline, bool waitForPeer)
{
    for (;;) {
        ERR_clear_error();
        const int result = SSL_shutdown(ssl);
        if (result == 1)
            return;
        if (result == 0)
            break;
        const int error = SSL_get_error(ssl, result);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            ERR_clear_error();
            return;
        }
        if (WaitForSocket(socket, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, cancel, deadline) != 0)
            return;
    }
    if (!waitForPeer)
        return;
    ::shutdown(socket, SHUT_WR);
    char scrap[4096];
    for (;;) {
        short waitFor = POLLIN;
        const ssize_t got = Read(scrap, sizeof scrap, false, waitFor);
        if (got > 0)
            continue;
        if (got == 0 || errno != EAGAIN)
            return;
        if (WaitForSocket(socket, waitFor, cancel, deadline) != 0)
            return;
    }
}

PeerCertificate TlsStream::Certificate() const
{
    PeerCertificate result;
    X509* certificate = SSL_get1_peer_certificate(ssl);
    if (!certificate) {
        result.problem = "the server sent no certificate";
        return result;
    }
    result.subject = NameText(X509_get_subject_name(certificate));
    result.issuer = NameText(X509_get_issuer_name(certificate));
    result.notBefore = TimeText(X509_get0_notBefore(certificate));
    result.notAfter = TimeText(X509_get0_notAfter(certificate));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &size) == 1) {
        static constexpr char kHex[] = "0123456789ABCDEF";
        result.fingerprint = "SHA256:";
        for (unsigned int i = 0; i < size; ++i) {
            if (i != 0)
                result.fingerprint += ':';
            result.fingerprint += kHex[digest[i] >> 4];
            result.fingerprint += kHex[digest[i] & 15];
        }
    }
    X509_free(certificate);
    const long verdict = SSL_get_verify_result(ssl);
    result.verified = verdict == X509_V_OK;
    if (!result.verified)
        result.problem = X509_verify_cert_error_string(verdict);
    return result;
}

std::string TlsStream::Description() const
{
    std::string version = SSL_get_version(ssl);
    if (version.starts_with("TLSv"))
        version = "TLS " + version.substr(4);
    return version + " connection established (" + SSL_get_cipher_name(ssl) + ")";
}

bool TlsStream::Resumed() const
{
    return SSL_session_reused(ssl) == 1;
}

ssize_t TryReceive(int socket, TlsStream* tls, char* data, std::size_t length, bool peek, short& waitFor)
{
    if (tls)
        return tls->Read(data, length, peek, waitFor);
    waitFor = POLLIN;
    return ::recv(socket, data, length, peek ? MSG_PEEK : 0);
}

ssize_t TrySend(int socket, TlsStream* tls, const char* data, std::size_t length, short& waitFor)
{
    if (tls)
        return tls->Write(data, length, waitFor);
    waitFor = POLLOUT;
    return ::send(socket, data, length, MSG_NOSIGNAL);
}
