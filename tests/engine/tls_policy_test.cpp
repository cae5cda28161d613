// SPDX-License-Identifier: GPL-3.0-or-later
// What a TLS stream of the engine accepts from a server: a certificate that lists the host's name
// (not merely in its common name, not by a wildcard inside a label), no second handshake, and TLS
// 1.2 only with forward secrecy. The server is OpenSSL on the other end of a socket pair.

#include "ftp/internal/socket_wait.h"
#include "ftp/internal/tls_stream.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

constexpr std::chrono::seconds kSeconds{10};
constexpr char kHost[] = "www.example.org";
constexpr char kForwardSecret[] = "ECDHE-RSA-AES128-GCM-SHA256";

struct Case {
    const char* name;
    const char* subjectAltNames;  // of the server's certificate; empty: its common name alone
    const char* serverSuites;     // the TLS 1.2 suites the server takes
    bool renegotiate;             // the server asks for a second handshake
    bool handshakes;
    bool verified;
};

TEST(TlsPolicyTest, TheNamesSuitesAndHandshakesAStreamAccepts)
{
    TempDir directory;
    TestCertificates certificates(directory.path);
    ::setenv("SSL_CERT_FILE", certificates.AuthorityFile().c_str(), 1);
    ::signal(SIGPIPE, SIG_IGN);  // the server's alert to a client that has gone
    for (const Case& c :
         {Case{"a listed name", "DNS:www.example.org", kForwardSecret, false, true, true},
          Case{"a whole-label wildcard", "DNS:*.example.org", kForwardSecret, false, true, true},
          Case{"the common name alone", "", kForwardSecret, false, true, false},
          Case{"a wildcard inside a label", "DNS:w*.example.org", kForwardSecret, false, true, false},
          Case{"a static RSA key exchange", "DNS:www.example.org", "AES128-GCM-SHA256", false, false, false},
          Case{"a second handshake", "DNS:www.example.org", kForwardSecret, true, true, true}}) {
        SCOPED_TRACE(c.name);
        const CertificateFiles files = certificates.Issued(c.subjectAltNames[0] ? c.name : kHost, c.subjectAltNames);
        ASSERT_FALSE(files.fingerprint.empty()) << certificates.Failures();
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);  // the client's end, as the session's sockets are

        SSL_CTX* serverContext = SSL_CTX_new(TLS_server_method());
        SSL_CTX_set_max_proto_version(serverContext, TLS1_2_VERSION);  // TLS 1.3 knows neither
        SSL_CTX_use_certificate_file(serverContext, files.certificate.c_str(), SSL_FILETYPE_PEM);
        SSL_CTX_use_PrivateKey_file(serverContext, files.key.c_str(), SSL_FILETYPE_PEM);
        SSL_CTX_set_cipher_list(serverContext, c.serverSuites);
        SSL* server = SSL_new(serverContext);
        SSL_set_fd(server, ends[1]);
        bool refusedSecondHandshake = false;
        std::thread serverThread([&] {
            if (SSL_accept(server) != 1)
                return;
            if (c.renegotiate && SSL_renegotiate(server) == 1)
                SSL_do_handshake(server);
            SSL_write(server, "after", 5);
            char byte = 0;
            while (SSL_read(server, &byte, 1) > 0) {
            }
            refusedSecondHandshake = ERR_GET_REASON(ERR_peek_error()) == SSL_R_NO_RENEGOTIATION;
        });

        std::string failure;
        const std::unique_ptr<TlsContext> context = TlsContext::Create(failure);
        ASSERT_TRUE(context) << failure;
        {
            CancelSignal cancel;
            TlsStream stream(*context, ends[0], kHost, TlsStream::Role::Control);
            const bool handshaken = stream.Handshake(cancel, DeadlineAfter(kSeconds), failure) == 0;
            EXPECT_EQ(handshaken, c.handshakes) << failure;
            // Reading is where a client meets the server's request for a second handshake.
            char data[5];
            short waitFor = POLLIN;
            ssize_t got = -1;
            while (handshaken && (got = stream.Read(data, sizeof data, false, waitFor)) < 0 && errno == EAGAIN
                   && WaitForSocket(ends[0], waitFor, cancel, DeadlineAfter(kSeconds)) == 0) {
            }
            if (handshaken) {
                EXPECT_EQ(stream.Certificate().verified, c.verified) << stream.Certificate().problem;
                EXPECT_EQ(std::string(data, static_cast<std::size_t>(std::max<ssize_t>(got, 0))), "after");
            }
        }
        ::shutdown(ends[0], SHUT_RDWR);
        serverThread.join();
        EXPECT_EQ(refusedSecondHandshake, c.renegotiate);
        SSL_free(server);
        SSL_CTX_free(serverContext);
        ::close(ends[0]);
        ::close(ends[1]);
    }
    ::unsetenv("SSL_CERT_FILE");
}

}  // namespace

// A server that takes only P-256 answers a first ClientHello with an X25519 key share with a
// HelloRetryRequest: the control connection pays that round trip once, its data connections never.
TEST(TlsPolicyTest, DataConnectionsOfferTheKeyShareTheControlConnectionAgreedOn)
{
    TempDir directory;
    TestCertificates certificates(directory.path);
    const CertificateFiles files = certificates.SelfSigned("server");
    ASSERT_FALSE(files.fingerprint.empty()) << certificates.Failures();
    SSL_CTX* serverContext = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_file(serverContext, files.certificate.c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_use_PrivateKey_file(serverContext, files.key.c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_set1_groups_list(serverContext, "P-256");
    ::signal(SIGPIPE, SIG_IGN);  // the server's tickets to a client that has gone
    static std::atomic<int> clientHellos{0};
    SSL_CTX_set_client_hello_cb(
        serverContext, [](SSL*, int*, void*) { return ++clientHellos, SSL_CLIENT_HELLO_SUCCESS; }, nullptr);

    std::string failure;
    const std::unique_ptr<TlsContext> context = TlsContext::Create(failure);
    ASSERT_TRUE(context) << failure;
    // The ClientHellos one handshake of `role` took.
    const auto handshake = [&](TlsStream::Role role) {
        int ends[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        ::fcntl(ends[0], F_SETFL, O_NONBLOCK);
        SSL* server = SSL_new(serverContext);
        SSL_set_fd(server, ends[1]);
        clientHellos = 0;
        std::thread serverThread([server] { SSL_accept(server); });
        {
            CancelSignal cancel;
            TlsStream stream(*context, ends[0], "localhost", role);
            EXPECT_EQ(stream.Handshake(cancel, DeadlineAfter(kSeconds), failure), 0) << failure;
        }
        ::shutdown(ends[0], SHUT_RDWR);
        serverThread.join();
        SSL_free(server);
        ::close(ends[0]);
        ::close(ends[1]);
        return clientHellos.load();
    };
    EXPECT_EQ(handshake(TlsStream::Role::Control), 2);
    EXPECT_EQ(handshake(TlsStream::Role::Data), 1);
    EXPECT_EQ(handshake(TlsStream::Role::Data), 1);
    SSL_CTX_free(serverContext);
}
