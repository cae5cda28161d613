// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Certificates for the TLS servers the tests start, made by the openssl program in a directory of
// their own: a certificate authority of the test (point SSL_CERT_FILE at AuthorityFile() to make
// the client trust it), certificates it issues, and self-signed ones.

#include <string>
#include <vector>

struct CertificateFiles final {
    std::string certificate;  // PEM files; empty when openssl failed
    std::string key;
    std::string fingerprint;  // "SHA256:AB:CD:..." as the client shows it
};

class TestCertificates final {
public:
    // `directory` must exist; the files are made inside it.
    explicit TestCertificates(std::string directory);

    // For "localhost" and 127.0.0.1, signed by nobody but itself.
    CertificateFiles SelfSigned(const std::string& name);
    // Signed by the test's authority for the names in `subjectAltName` ("DNS:a,IP:127.0.0.1"; empty:
    // none, only the common name `name`).
    CertificateFiles Issued(const std::string& name, const std::string& subjectAltName);
    const std::string& AuthorityFile() const { return authority; }
    // What went wrong, when a file is missing.
    const std::string& Failures() const { return failures; }

private:
    bool Openssl(const std::string& step, const std::vector<std::string>& args);
    std::string Fingerprint(const std::string& certificate);

    std::string directory;
    std::string authority;
    std::string authorityKey;
    std::string serverKey;
    std::string failures;
};
