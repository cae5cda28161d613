// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A server certificate as the user is shown it, and the question a front end answers when the
// system's trust store does not vouch for it.

#include <memory>
#include <string>

struct PeerCertificate final {
    std::string subject;
    std::string issuer;
    std::string notBefore;
    std::string notAfter;
    std::string fingerprint;  // "SHA256:" and 32 bytes as upper-case hex pairs joined by colons
    bool verified = false;    // the chain is trusted and the name matches the host
    std::string problem;      // why not, when not verified
};

struct CertificateQuestion final {
    std::string server;  // "host:port", the key in the trusted certificates
    PeerCertificate certificate;
    bool changed = false;  // another certificate was trusted for this server before
};

// Also the answer about a login in plain text (OperationHost::AskPlainLogin).
enum class TrustAnswer { Refuse, Once, Always };

// Where the answer goes. Any thread may answer, once; a question whose connect was cancelled
// meanwhile is abandoned and need not be shown.
class TrustReply {
public:
    virtual ~TrustReply() = default;
    virtual void Answer(TrustAnswer answer) = 0;
    virtual bool Abandoned() const = 0;
};
