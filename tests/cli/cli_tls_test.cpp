// SPDX-License-Identifier: GPL-3.0-or-later
// tessaline-ftp and server certificates: what it accepts, what it refuses and what it tells, and
// what crosses the wire, against TLS servers on loopback with certificates the test makes.

#include "support/cli_runner.h"
#include "support/real_ftp_servers.h"
#include "support/recording_relay.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// "SHA256:AB:CD:..." as a user might type it: without colons, in lower case.
std::string Typed(const std::string& fingerprint)
{
    std::string hex = fingerprint.substr(7);
    std::erase(hex, ':');
    std::transform(hex.begin(), hex.end(), hex.begin(), [](unsigned char c) { return std::tolower(c); });
    return "sha256:" + hex;
}

class TlsCliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        selfSigned = certificates.SelfSigned("self-signed");
        ASSERT_FALSE(selfSigned.fingerprint.empty()) << certificates.Failures();
    }

    // pyftpdlib with TLS required, user "u" with `password`, serving a file "hello".
    std::unique_ptr<PyftpdlibServer> StartServer(const CertificateFiles& files, bool refuseProtP = false,
                                                 const std::string& password = "p")
    {
        std::ofstream(fs::path(root.path) / "hello") << "hello\n";
        PyftpdlibOptions options;
        options.tls = {files.certificate, files.key};
        options.refuseProtP = refuseProtP;
        auto server = std::make_unique<PyftpdlibServer>(root.path, "u", password, options);
        EXPECT_TRUE(server->Started()) << server->ServerLog();
        return server;
    }

    CliRun Run(const std::string& host, std::vector<std::string> args, const std::vector<std::string>& environment = {})
    {
        std::vector<std::string> full = {"--host", host, "--user", "u", "--password", "p"};
        full.insert(full.end(), args.begin(), args.end());
        return RunCli(full, home.path, environment);
    }

    void TrustInFile(const std::vector<std::string>& lines)
    {
        fs::create_directories(fs::path(home.path) / "Tessaline");
        std::ofstream file(fs::path(home.path) / "Tessaline" / "trusted-certificates");
        for (const std::string& line : lines)
            file << line << "\n";
    }

    TempDir root;
    TempDir home;
    TempDir certificateDirectory;
    TestCertificates certificates{certificateDirectory.path};
    CertificateFiles selfSigned;
};

TEST_F(TlsCliTest, AnUntrustedCertificateIsRefusedWithItsFingerprintAndAcceptedWithIt)
{
    if (!VsftpdServer::Available())
        GTEST_SKIP() << "vsftpd runs only as root";
    TempDir served;
    fs::permissions(served.path, fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    VsftpdOptions options;
    options.tls = {selfSigned.certificate, selfSigned.key};
    VsftpdServer server(served.path, options);
    ASSERT_TRUE(server.Started()) << server.ServerLog();
    const std::string host = "127.0.0.1:" + std::to_string(server.Port());
    const std::vector<std::string> anonymous = {"--host", host, "--password", "me@example.org", "--tls", "require"};
    auto run = [&](std::vector<std::string> more) {
        std::vector<std::string> args = anonymous;
        args.insert(args.end(), more.begin(), more.end());
        return RunCli(args, home.path);
    };

    const CliRun refused = run({"ls"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Has(refused.err, "The certificate of " + host + " is not trusted: self-signed certificate."))
        << refused.err;
    EXPECT_TRUE(Has(refused.err, "fingerprint " + selfSigned.fingerprint)) << refused.err;
    std::string compact = selfSigned.fingerprint.substr(7);
    std::erase(compact, ':');
    EXPECT_TRUE(Has(refused.err, "--trust-certificate SHA256:" + compact)) << refused.err;
    // The server saw AUTH and the handshake, and nothing after it.
    const std::string log = server.ProtocolLog();
    EXPECT_TRUE(Has(log, "\"AUTH TLS\"")) << log;
    EXPECT_FALSE(Has(log, "USER")) << log;

    // The fingerprint as the message gives it, and as someone might type it.
    for (const std::string& given : {"SHA256:" + compact, Typed(selfSigned.fingerprint), selfSigned.fingerprint}) {
        const CliRun accepted = run({"--trust-certificate", given, "ls"});
        EXPECT_EQ(accepted.status, 0) << given << "\n" << accepted.err;
    }
    EXPECT_TRUE(Has(server.ProtocolLog(), "\"USER anonymous\"")) << "the log shows logins once they happen";
    const CliRun other = run({"--trust-certificate", "SHA256:" + std::string(64, 'A'), "ls"});
    EXPECT_EQ(other.status, 1) << other.err;
    const CliRun malformed = run({"--trust-certificate", compact.substr(2), "ls"});
    EXPECT_EQ(malformed.status, 2) << malformed.err;
}

TEST_F(TlsCliTest, ThePasswordNeverCrossesTheWireInPlainText)
{
    const std::string secret = "very-secret-password";
    const auto server = StartServer(selfSigned, false, secret);
    RecordingRelay relay(server->Port());
    const std::string host = "127.0.0.1:" + std::to_string(relay.Port());
    const CliRun run = RunCli({"--host", host, "--user", "u", "--password", secret, "--trust-certificate",
                               selfSigned.fingerprint, "get", "hello", (fs::path(home.path) / "hello").string()},
                              home.path);
    EXPECT_EQ(run.status, 0) << run.err;
    const std::string wire = relay.ClientBytes();
    EXPECT_TRUE(wire.starts_with("AUTH TLS\r\n")) << wire.substr(0, 40);
    EXPECT_FALSE(Has(wire, secret));
    EXPECT_FALSE(Has(wire, "USER"));
    EXPECT_TRUE(Has(run.err, "Tessaline: PASS xxxxxx")) << run.err;
    EXPECT_FALSE(Has(run.err, secret)) << run.err;

    // The same relay sees a password sent in plain text: what it recorded above is the wire.
    TempDir plainRoot;
    PyftpdlibServer plain(plainRoot.path, "u", secret);
    ASSERT_TRUE(plain.Started()) << plain.ServerLog();

    // The first relay now strips TLS from a host that has spoken it: nothing after AUTH, and the
    // reason on standard error even with -q; "--tls off" is the way on for a server that dropped TLS.
    relay.RelayTo(plain.Port());
    const std::size_t sent = relay.ClientBytes().size();
    const CliRun refused = RunCli({"--host", host, "--user", "u", "--password", secret, "-q", "ls"}, home.path);
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Has(refused.err, host + " has spoken TLS before")) << refused.err;
    EXPECT_TRUE(Has(refused.err, "--tls off")) << refused.err;
    EXPECT_EQ(relay.ClientBytes().substr(sent), "AUTH TLS\r\n");
    EXPECT_EQ(RunCli({"--host", host, "--user", "u", "--password", secret, "--tls", "off", "ls"}, home.path).status, 0);

    RecordingRelay plainRelay(plain.Port());
    const CliRun fellBack =
        RunCli({"--host", "127.0.0.1:" + std::to_string(plainRelay.Port()), "--user", "u", "--password", secret, "ls"},
               home.path);
    EXPECT_EQ(fellBack.status, 0) << fellBack.err;
    EXPECT_TRUE(Has(fellBack.err, "The server does not offer TLS: the password is sent in plain text."));
    EXPECT_TRUE(Has(plainRelay.ClientBytes(), "PASS " + secret + "\r\n"));
}

TEST_F(TlsCliTest, AVerifiedCertificateNeedsNoTrustAndANameMismatchIsRefused)
{
    const CertificateFiles issued = certificates.Issued("issued", "DNS:localhost,IP:127.0.0.1");
    const CertificateFiles elsewhere = certificates.Issued("elsewhere", "DNS:elsewhere.example");
    ASSERT_FALSE(issued.fingerprint.empty() || elsewhere.fingerprint.empty()) << certificates.Failures();
    const std::vector<std::string> trustTheTestAuthority = {"SSL_CERT_FILE=" + certificates.AuthorityFile()};

    const auto server = StartServer(issued);
    const std::string host = "127.0.0.1:" + std::to_string(server->Port());
    const CliRun verified = Run(host, {"ls"}, trustTheTestAuthority);
    EXPECT_EQ(verified.status, 0) << verified.err;
    EXPECT_TRUE(Has(verified.err, "The certificate of " + host + " is verified.")) << verified.err;
    // Without the authority the same certificate is only a stranger's.
    EXPECT_EQ(Run(host, {"ls"}).status, 1);

    const auto impostor = StartServer(elsewhere);
    const std::string byName = "localhost:" + std::to_string(impostor->Port());
    const CliRun mismatch = Run(byName, {"ls"}, trustTheTestAuthority);
    EXPECT_EQ(mismatch.status, 1);
    EXPECT_TRUE(Has(mismatch.err, "is not trusted: hostname mismatch.")) << mismatch.err;
}

TEST_F(TlsCliTest, ATrustedCertificateIsAcceptedUntilItChanges)
{
    const auto server = StartServer(selfSigned);
    const std::string host = "127.0.0.1:" + std::to_string(server->Port());

    // Trusted in the desktop program: the file they share.
    TrustInFile({"example.org:21 SHA256:" + std::string(64, '0'), host + " " + Typed(selfSigned.fingerprint)});
    const CliRun trusted = Run(host, {"ls"});
    EXPECT_EQ(trusted.status, 0) << trusted.err;
    EXPECT_TRUE(Has(trusted.err, "it is trusted by the user: " + selfSigned.fingerprint)) << trusted.err;

    TrustInFile({host + " SHA256:" + std::string(64, 'B')});
    const CliRun changed = Run(host, {"ls"});
    EXPECT_EQ(changed.status, 1);
    EXPECT_TRUE(Has(changed.err, "The certificate of " + host + " has changed since it was trusted.")) << changed.err;
    EXPECT_TRUE(Has(changed.err, "is not trusted and differs from the one trusted before")) << changed.err;
}

TEST_F(TlsCliTest, ARefusedProtPFailsARequiredSiteAndLeavesDataInPlainTextOtherwise)
{
    const auto server = StartServer(selfSigned, true);
    const std::string host = "127.0.0.1:" + std::to_string(server->Port());
    const CliRun required = Run(host, {"--tls", "require", "--trust-certificate", selfSigned.fingerprint, "ls"});
    EXPECT_EQ(required.status, 1);
    EXPECT_TRUE(Has(required.err, "The server refused to protect data connections (PROT P), which this site requires."))
        << required.err;
    EXPECT_FALSE(Has(required.err, "Tessaline: SYST")) << required.err;

    const CliRun automatic = Run(host, {"--trust-certificate", selfSigned.fingerprint, "ls"});
    EXPECT_EQ(automatic.status, 0) << automatic.err;
    EXPECT_TRUE(Has(automatic.err, "The server refused PROT P: listings and files travel in plain text."));
    EXPECT_TRUE(Has(automatic.out, "hello")) << automatic.out;
    EXPECT_FALSE(Has(automatic.err, "TLS data connection")) << automatic.err;
}

}  // namespace
