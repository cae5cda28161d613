#include "cli/cli_host.h"

#include "cli/terminal_text.h"
#include "ftp/background.h"
#include "ftp/ftp_session.h"

#include <chrono>
#include <cstdio>

bool CliHost::WaitWhileBusy(WaitKind, const std::string&, CFtpSession& session)
{
    std::unique_lock guard(lock);
    while (WorkerBusy(session))
        ended.wait_for(guard, std::chrono::milliseconds(500));
    return true;
}

void CliHost::WorkerEnded()
{
    std::lock_guard guard(lock);
    ended.notify_all();
}

void CliHost::Inform(const std::string& text)
{
    std::fprintf(stderr, "%s\n", text.c_str());
}

void CliHost::AskTrust(const CertificateQuestion& question, std::shared_ptr<TrustReply> reply)
{
    const PeerCertificate& certificate = question.certificate;
    if (!trustedFingerprint.empty() && trustedFingerprint == certificate.fingerprint) {
        reply->Answer(TrustAnswer::Once);
        return;
    }
    std::string hex = certificate.fingerprint.substr(certificate.fingerprint.find(':') + 1);
    std::erase(hex, ':');
    const std::string compact = "SHA256:" + hex;
    std::fprintf(stderr,
                 "The certificate of %s is not trusted%s: %s.\n"
                 "  subject %s, issued by %s, valid %s to %s\n"
                 "  fingerprint %s\n"
                 "If you know it is the server's, run again with --trust-certificate %s\n",
                 question.server.c_str(), question.changed ? " and differs from the one trusted before" : "",
                 certificate.problem.c_str(), EscapedControls(certificate.subject).c_str(),
                 EscapedControls(certificate.issuer).c_str(), certificate.notBefore.c_str(),
                 certificate.notAfter.c_str(), certificate.fingerprint.c_str(), compact.c_str());
    reply->Answer(TrustAnswer::Refuse);
}
