// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_host.h"

#include "cli/password_prompt.h"
#include "cli/progress_line.h"
#include "cli/terminal_text.h"
#include "remote/format_text.h"
#include "remote/operation_runner.h"

#include <chrono>
#include <cstdio>

namespace {

constexpr std::chrono::milliseconds kBusyCheck{500};
constexpr std::chrono::milliseconds kProgressInterval{250};  // a few updates a second, no more
constexpr long long kLongTransferBytes = 1 << 20;

}  // namespace

bool CliHost::WaitWhileBusy(WaitKind kind, const std::string&, OperationRunner& runner)
{
    const bool progress = showProgress && kind == WaitKind::FileTransfer;
    const auto started = std::chrono::steady_clock::now();
    const auto show = [&runner, started] {
        const OperationRunner::Progress progress = runner.TransferProgress();
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
        const std::string files = progress.filesTotal > 0
            ? FormatText("%u of %u files  ", {progress.filesDone, progress.filesTotal})
            : std::string();
        ShowProgress(files + ProgressText(progress.done, progress.total, elapsed, progress.resumedFrom));
    };
    bool shown = false;
    std::unique_lock guard(lock);
    while (runner.WorkerBusy()) {
        ended.wait_for(guard, progress ? kProgressInterval : kBusyCheck);
        if (progress && runner.WorkerBusy()) {
            show();
            shown = true;
        }
    }
    // The last state stays on its own line: what came through, and how fast. A large file that
    // came faster than the first update shows it too.
    if (progress && (shown || runner.TransferProgress().done >= kLongTransferBytes)) {
        show();
        EndProgress();
    }
    return true;
}

void CliHost::WorkerEnded()
{
    std::lock_guard guard(lock);
    ended.notify_all();
}

void CliHost::Inform(const std::string& text)
{
    if (!quiet)
        PrintErrorLine(text);
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

void CliHost::AskHostKey(const HostKeyQuestion& question, std::shared_ptr<TrustReply> reply)
{
    if (!trustedHostKey.empty() && trustedHostKey == question.fingerprint) {
        reply->Answer(TrustAnswer::Once);
        return;
    }
    std::fprintf(stderr,
                 "The host key of %s is not in your known hosts:\n"
                 "  %s %s\n"
                 "If you know it is the server's (ask its administrator, or run ssh-keygen -lf on its host key),\n"
                 "run again with --trust-host-key %s, or connect once with ssh to add it to ~/.ssh/known_hosts\n",
                 EscapedControls(question.server).c_str(), question.keyType.c_str(), question.fingerprint.c_str(),
                 question.fingerprint.c_str());
    reply->Answer(TrustAnswer::Refuse);
}

std::optional<std::string> CliHost::AskPassphrase(const std::string& keyFile)
{
    return AskPasswordOnTerminal("Passphrase for key " + EscapedControls(keyFile) + ": ");
}
