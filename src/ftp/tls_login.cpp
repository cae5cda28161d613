// SPDX-License-Identifier: GPL-3.0-or-later
// The TLS steps of a login: the certificate check and the user's trust, the servers known to
// speak TLS and a login in plain text, and protection of the data connections.

#include "ftp/ftp_session.h"
#include "ftp/internal/control_connection.h"
#include "ftp/internal/data_connection.h"
#include "ftp/internal/session_context.h"
#include "ftp/internal/session_steps.h"
#include "ftp/internal/socket_address.h"
#include "ftp/internal/socket_wait.h"
#include "ftp/internal/tls_hosts.h"
#include "ftp/local_dirs.h"
#include "ftp/trusted_certificates.h"
#include "remote/exchange_result.h"
#include "remote/operation_host.h"
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

// Hands a reply to `ask` (which passes it to the front end) and waits for the answer, or for a
// cancel, which refuses.
TrustAnswer AwaitAnswer(const CancelSignal& cancel, const std::function<void(std::shared_ptr<TrustReply>)>& ask)
{
    auto slot = std::make_shared<AnswerSlot>();
    if (slot->fd < 0)
        return TrustAnswer::Refuse;
    ask(slot);
    // The user takes the time they need: no time-out, but a cancel ends the wait.
    const int waited = WaitForSocket(slot->fd, POLLIN, cancel, std::nullopt);
    slot->abandoned = true;
    return waited == 0 ? slot->answer.load() : TrustAnswer::Refuse;
}

// After a refused AUTH TLS, for a site that takes TLS if available: whether the login may go in
// plain text to `server`; false: the connection is to be closed (logged).
bool PlainLoginAllowed(CFtpSession& session, const std::string& server)
{
    const std::string directory = DataDirectory();
    if (!directory.empty() && SpokeTls(directory, server)) {
        session.refusal =
            FormatText("%s has spoken TLS before and now refuses it, so the login is not sent in plain text. "
                       "The server may have changed, or someone between is removing the encryption: check "
                       "with the server's administrator. If the server really dropped TLS, choose \"Only use "
                       "plain FTP\" for the site (tessaline-ftp: --tls off).",
                       {server});
        LogMessage("%s", {session.refusal});
        return false;
    }
    const auto ask = [&](std::shared_ptr<TrustReply> reply) {
        session.operations.host->AskPlainLogin(server, std::move(reply));
    };
    const TrustAnswer answer =
        session.operations.host ? AwaitAnswer(session.context->cancelSignal, ask) : TrustAnswer::Once;
    if (answer == TrustAnswer::Refuse) {
        LogMessage("The password is not sent in plain text to %s: the connect is cancelled.", {server});
        session.operations.SetConnectCancelled(true);
        return false;
    }
    if (answer == TrustAnswer::Always) {
        session.encryption = kPlainOnly;
        LogMessage("The site is set to plain FTP: %s is not asked for TLS any more.", {server});
    }
    LogMessage("The server does not offer TLS: the password is sent in plain text.");
    return true;
}

// Whether the connection may go on with the server's `certificate`, which may ask the front end's
// `host` (none: a certificate that is neither verified nor trusted is refused).
bool CertificateAccepted(OperationHost* host, const CancelSignal& cancel, const std::string& server,
                         const PeerCertificate& certificate)
{
    LogMessage("Certificate: %s, issued by %s, valid until %s",
               {certificate.subject, certificate.issuer, certificate.notAfter});
    if (certificate.verified) {
        LogMessage("The certificate of %s is verified.", {server});
        return true;
    }
    const std::string directory = DataDirectory();
    const std::optional<std::string> trusted = directory.empty() ? std::nullopt : TrustedFingerprint(directory, server);
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
    const TrustAnswer answer = host ? AwaitAnswer(cancel, ask) : TrustAnswer::Refuse;
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

}  // namespace

bool StartControlTls(CFtpSession& session, const std::string& host)
{
    const auto accept = [&session](const std::string& server, const PeerCertificate& certificate) {
        const bool accepted =
            CertificateAccepted(session.operations.host, session.context->cancelSignal, server, certificate);
        // The user's own No to the certificate is a cancel, not a failure to report.
        if (!accepted && session.operations.host)
            session.operations.SetConnectCancelled(true);
        return accepted;
    };
    if (!session.control->StartTls(host, accept))
        return false;
    const std::string server = ServerKey(host, PortOf(session.control->serverAddress));
    const std::string directory = DataDirectory();
    std::string failure = "no data directory";
    if (directory.empty() || !RememberTlsServer(directory, server, failure))
        LogMessage("Could not remember that %s speaks TLS: %s", {server, failure});
    return true;
}

bool NegotiateTls(CFtpSession& session, const std::string& host)
{
    const int result = session.control->Command("AUTH TLS");
    if (result == kCompletion)  // 234: the server waits for our TLS handshake
        return StartControlTls(session, host);
    if (session.interrupted || session.replyCode == kServiceClosing)
        return false;
    if (session.encryption == kTlsIfAvailable)
        return PlainLoginAllowed(session, ServerKey(host, PortOf(session.control->serverAddress)));
    LogMessage("The server does not offer TLS, which this site requires; nothing more is sent.");
    return false;
}

bool ProtectDataConnections(CFtpSession& session)
{
    bool& protect = session.data->protect;
    protect = false;
    if (!session.control->tls)
        return true;
    // PBSZ must come before PROT; TLS has no buffer size, so it is 0.
    session.control->Command("PBSZ 0");
    if (session.control->Command("PROT P") == kCompletion) {
        protect = true;
        return true;
    }
    if (session.interrupted)
        return false;
    if (session.encryption == kTlsIfAvailable) {
        LogMessage("The server refused PROT P: listings and files travel in plain text.");
        return true;
    }
    LogMessage("The server refused to protect data connections (PROT P), which this site requires.");
    return false;
}
