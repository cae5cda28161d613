// SPDX-License-Identifier: GPL-3.0-or-later
// FTP over TLS: the handshake on the control connection, the certificate check and the user's
// trust, the servers known to speak TLS and a login in plain text, protection of the data
// connections, and their TLS handshake and close.

#include "ftp/background.h"
#include "ftp/ftp_session.h"
#include "ftp/internal/socket_address.h"
#include "ftp/internal/tls_hosts.h"
#include "ftp/internal/tls_stream.h"
#include "ftp/local_dirs.h"
#include "ftp/socket_errors.h"
#include "ftp/trusted_certificates.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"

#include <atomic>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

// The front end's answer, waited for on a descriptor so that a cancel ends the wait as well.
class AnswerSlot final : public TrustReply {
public:
    AnswerSlot() : fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~AnswerSlot() override { ::close(fd); }
    AnswerSlot(const AnswerSlot&) = delete;
    AnswerSlot& operator=(const AnswerSlot&) = delete;

    void Answer(TrustAnswer given) override
    {
        answer = given;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(fd, &one, sizeof one);
    }
    bool Abandoned() const override { return abandoned; }

    const int fd;
    std::atomic<TrustAnswer> answer{TrustAnswer::Refuse};
    std::atomic<bool> abandoned{false};
};

}  // namespace

bool CFtpSession::StartControlTls(const std::string& host)
{
    std::string failure;
    if (!tls)
        tls = TlsContext::Create(failure);
    if (!tls) {
        LogMessage("TLS is not available: %s", {failure});
        return false;
    }
    tlsHost = host;
    controlTls = std::make_unique<TlsStream>(*tls, controlSocket, host, TlsStream::Role::Control);
    const int result = controlTls->Handshake(cancelSignal, RetryDeadline(), failure);
    if (result != 0) {
        if (result == TlsStream::kHandshakeFailed) {
            LogMessage("The TLS handshake failed: %s", {failure});
        } else {
            if (result == kErrorTimedOut)
                BreakConnection(SocketErrorText(result));
            LogSocketError("TLS handshake", result);
        }
        controlTls.reset();
        return false;
    }
    LogMessage("%s", {controlTls->Description()});
    const PeerCertificate certificate = controlTls->Certificate();
    const std::string server = ServerKey(host, PortOf(serverAddress));
    if (!CertificateAccepted(server, certificate)) {
        controlTls.reset();
        return false;
    }
    controlFingerprint = certificate.fingerprint;
    encrypted = 1;
    const std::string directory = DataDirectory();
    failure = "no data directory";
    if (directory.empty() || !RememberTlsServer(directory, server, failure))
        LogMessage("Could not remember that %s speaks TLS: %s", {server, failure});
    return true;
}

bool CFtpSession::PlainLoginAllowed(const std::string& server)
{
    const std::string directory = DataDirectory();
    if (!directory.empty() && SpokeTls(directory, server)) {
        refusal = FormatText("%s has spoken TLS before and now refuses it, so the login is not sent in plain text. "
                             "The server may have changed, or someone between is removing the encryption: check "
                             "with the server's administrator. If the server really dropped TLS, choose \"Only use "
                             "plain FTP\" for the site (tessaline-ftp: --tls off).",
                             {server});
        LogMessage("%s", {refusal});
        return false;
    }
    const auto ask = [&](std::shared_ptr<TrustReply> reply) { host->AskPlainLogin(server, std::move(reply)); };
    const TrustAnswer answer = host ? AwaitAnswer(ask) : TrustAnswer::Once;
    if (answer == TrustAnswer::Refuse) {
        LogMessage("The password is not sent in plain text to %s: the connect is cancelled.", {server});
        SetConnectCancelled(true);
        return false;
    }
    if (answer == TrustAnswer::Always) {
        encryption = kPlainOnly;
        LogMessage("The site is set to plain FTP: %s is not asked for TLS any more.", {server});
    }
    LogMessage("The server does not offer TLS: the password is sent in plain text.");
    return true;
}

bool CFtpSession::CertificateAccepted(const std::string& server, const PeerCertificate& certificate)
{
    LogMessage("Certificate: %s, issued by %s, valid until %s", {certificate.subject, certificate.issuer,
                                                                 certificate.notAfter});
    if (certificate.verified) {
        LogMessage("The certificate of %s is verified.", {server});
        return true;
    }
    const std::string directory = DataDirectory();
    const std::optional<std::string> trusted =
        directory.empty() ? std::nullopt : TrustedFingerprint(directory, server);
    if (trusted && *trusted == certificate.fingerprint) {
        LogMessage("The certificate of %s is not verified (%s); it is trusted by the user: %s",
                   {server, certificate.problem, certificate.fingerprint});
        return true;
    }
    if (trusted)
        LogMessage("The certificate of %s has changed since it was trusted.", {server});
    LogMessage("The certificate of %s is not verified: %s", {server, certificate.problem});

    const auto ask = [&](std::shared_ptr<TrustReply> reply) {
        host->AskTrust({server, certificate, trusted.has_value()}, std::move(reply));
    };
    const TrustAnswer answer = host ? AwaitAnswer(ask) : TrustAnswer::Refuse;
    if (answer == TrustAnswer::Refuse) {
        LogMessage("The certificate was not accepted; nothing more is sent to %s.", {server});
        return false;
    }
    if (answer == TrustAnswer::Always) {
        std::string failure = "no data directory";
        if (directory.empty() || !TrustCertificate(directory, server, certificate.fingerprint, failure))
            LogMessage("Could not keep the trusted certificate: %s", {failure});
    }
    LogMessage("The certificate of %s is trusted by the user%s: %s",
               {server, answer == TrustAnswer::Always ? "" : " for this connection", certificate.fingerprint});
    return true;
}

TrustAnswer CFtpSession::AwaitAnswer(const std::function<void(std::shared_ptr<TrustReply>)>& ask)
{
    auto slot = std::make_shared<AnswerSlot>();
    if (slot->fd < 0)
        return TrustAnswer::Refuse;
    ask(slot);
    // The user takes the time they need: no time-out, but a cancel ends the wait.
    const int waited = WaitForSocket(slot->fd, POLLIN, cancelSignal, std::nullopt);
    slot->abandoned = true;
    return waited == 0 ? slot->answer.load() : TrustAnswer::Refuse;
}

bool CFtpSession::ProtectDataConnections()
{
    protectData = false;
    if (!controlTls)
        return true;
    // PBSZ must come before PROT; TLS has no buffer size, so it is 0.
    Command("PBSZ 0");
    if (Command("PROT P") == kCompletion) {
        protectData = true;
        return true;
    }
    if (interrupted)
        return false;
    if (encryption == kTlsIfAvailable) {
        LogMessage("The server refused PROT P: listings and files travel in plain text.");
        return true;
    }
    LogMessage("The server refused to protect data connections (PROT P), which this site requires.");
    return false;
}

bool CFtpSession::SecureDataConnection()
{
    if (!protectData)
        return true;
    dataTls = std::make_unique<TlsStream>(*tls, dataSocket, tlsHost, TlsStream::Role::Data);
    std::string failure;
    const int result = dataTls->Handshake(cancelSignal, RetryDeadline(), failure);
    if (result != 0) {
        if (result == TlsStream::kHandshakeFailed) {
            LogMessage("The TLS handshake on the data connection failed: %s", {failure});
        } else {
            if (result == kErrorTimedOut)
                BreakConnection(SocketErrorText(result));
            LogSocketError("TLS handshake", result);
        }
        return false;
    }
    // Someone who took over the data port must not pass for the server.
    if (dataTls->Certificate().fingerprint != controlFingerprint) {
        LogMessage("The data connection shows another certificate than the control connection.");
        return false;
    }
    LogMessage("[%u] TLS data connection%s", {dataSocket, dataTls->Resumed() ? " (session resumed)" : ""});
    return true;
}

void CFtpSession::EndDataTls(bool waitForPeer)
{
    // A stream the server has cut has no close left to send; the transfer has said so.
    if (!dataTls || dataTls->EndedWithoutClose())
        return;
    dataTls->Shutdown(cancelSignal, RetryDeadline(), waitForPeer);
    if (dataTls->EndedWithoutClose())
        LogMessage("The server ended the data connection without closing TLS.");
}
