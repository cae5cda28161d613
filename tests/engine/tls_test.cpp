// SPDX-License-Identifier: GPL-3.0-or-later
// The session and the front end's answer about a certificate the system does not trust: kept for
// good, asked again when it changed, and a connect cancelled while the question is open. Servers
// that have spoken TLS, and trusts written side by side.

#include "ftp/ftp_session.h"
#include "ftp/trusted_certificates.h"
#include "remote/exchange_result.h"
#include "support/real_ftp_servers.h"
#include "support/recording_relay.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"
#include "support/transfer_fixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <thread>

namespace {

class TlsSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        certificate = certificates.SelfSigned("server");
        ASSERT_FALSE(certificate.fingerprint.empty()) << certificates.Failures();
        if (const char* data = std::getenv("XDG_DATA_HOME"))
            savedDataHome = data;
        ::setenv("XDG_DATA_HOME", data.path.c_str(), 1);
        settings.retry = 20;
        session.operations.host = &host;
        session.encryption = kTlsRequired;
        session.userName = "anna";
        session.password = "secret";
        session.listingFile = data.path + "/listing";
        trustFile = data.path + "/Tessaline/trusted-certificates";
        Serve({});
    }

    // A new server over TLS with `options`, in place of the last one.
    void Serve(PyftpdlibOptions options)
    {
        options.tls = {certificate.certificate, certificate.key};
        server.reset();
        server = std::make_unique<PyftpdlibServer>(root.path, "anna", "secret", options);
        ASSERT_TRUE(server->Started()) << server->ServerLog();
        session.hostName = "127.0.0.1:" + std::to_string(server->Port());
        serverKey = session.hostName;
    }

    void TearDown() override
    {
        if (savedDataHome)
            ::setenv("XDG_DATA_HOME", savedDataHome->c_str(), 1);
        else
            ::unsetenv("XDG_DATA_HOME");
        TakeLog();
    }

    TempDir root;
    TempDir data;
    TempDir certificateDirectory;
    TestCertificates certificates{certificateDirectory.path};
    CertificateFiles certificate;
    std::unique_ptr<PyftpdlibServer> server;
    std::optional<std::string> savedDataHome;
    EngineSettings settings;
    TestHost host;
    CFtpSession session{settings};
    std::string serverKey;
    std::string trustFile;
};

TEST_F(TlsSessionTest, TrustAlwaysIsKeptAndAChangedCertificateIsAskedAboutAgain)
{
    host.trustAnswer = TrustAnswer::Always;
    ASSERT_NE(session.Connect(), kConnectFailed);
    EXPECT_TRUE(session.encrypted);
    ASSERT_EQ(host.questions.size(), 1u);
    const CertificateQuestion& asked = host.questions[0];
    EXPECT_EQ(asked.server, serverKey);
    EXPECT_FALSE(asked.changed);
    EXPECT_EQ(asked.certificate.fingerprint, certificate.fingerprint);
    EXPECT_EQ(asked.certificate.subject, "CN=localhost");
    EXPECT_EQ(asked.certificate.issuer, "CN=localhost");
    EXPECT_EQ(asked.certificate.problem, "self-signed certificate");
    EXPECT_FALSE(asked.certificate.notAfter.empty());
    EXPECT_EQ(ReadFile(trustFile), serverKey + " " + certificate.fingerprint + "\n");
    struct stat st {};
    ASSERT_EQ(::stat(trustFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    session.Quit();
    EXPECT_FALSE(session.encrypted);

    // Known now: nobody is asked.
    ASSERT_NE(session.Connect(), kConnectFailed);
    EXPECT_EQ(host.questions.size(), 1u);
    session.Quit();

    // Another certificate was trusted for this server: the question says it changed, and a trust
    // for this connection only leaves the file as it was.
    WriteFile(trustFile,
              "elsewhere.example:21 " + certificate.fingerprint + "\n" + serverKey + " SHA256:" + std::string(64, '0')
                  + "\n");
    const std::string before = ReadFile(trustFile);
    host.trustAnswer = TrustAnswer::Once;
    ASSERT_NE(session.Connect(), kConnectFailed);
    ASSERT_EQ(host.questions.size(), 2u);
    EXPECT_TRUE(host.questions[1].changed);
    EXPECT_EQ(ReadFile(trustFile), before);
    session.Quit();

    // Trusting it always replaces that server's line and keeps the others.
    host.trustAnswer = TrustAnswer::Always;
    ASSERT_NE(session.Connect(), kConnectFailed);
    EXPECT_EQ(ReadFile(trustFile),
              "elsewhere.example:21 " + certificate.fingerprint + "\n" + serverKey + " " + certificate.fingerprint
                  + "\n");
    session.Quit();

    // Refused: no login.
    WriteFile(trustFile, "");
    host.trustAnswer = TrustAnswer::Refuse;
    EXPECT_EQ(session.Connect(), kConnectFailed);
    EXPECT_FALSE(session.connected);
    EXPECT_EQ(session.control->socket, -1);
}

// Once a server has spoken TLS, a refused AUTH TLS gets nothing more, whatever the login, unless
// the site says plain FTP only: a relay in between may be stripping TLS.
TEST_F(TlsSessionTest, AServerThatSpokeTlsGetsNoLoginInPlainText)
{
    ScriptedFtpServer stripped;  // answers AUTH TLS with 502
    stripped.Reply("USER", "331 Password required\r\n");
    stripped.Reply("PASS", "230 Logged in\r\n");
    RecordingRelay relay(server->Port());
    const std::string relayKey = "127.0.0.1:" + std::to_string(relay.Port());
    session.hostName = relayKey;
    session.encryption = kTlsIfAvailable;
    host.trustAnswer = TrustAnswer::Once;
    ASSERT_NE(session.Connect(), kConnectFailed);
    session.Quit();
    EXPECT_EQ(ReadFile(data.path + "/Tessaline/tls-hosts"), relayKey + "\n");

    relay.RelayTo(stripped.Port());
    struct Case {
        int encryption;
        std::string user;
        std::vector<std::string> commands;
    };
    for (const Case& c : {Case{kTlsIfAvailable, "anna", {"AUTH TLS"}}, Case{kTlsIfAvailable, "anonymous", {"AUTH TLS"}},
                          Case{kPlainOnly, "anna", {"USER anna", "PASS secret", "SYST", "FEAT"}}}) {
        session.encryption = c.encryption;
        session.userName = c.user;
        const std::size_t before = stripped.Commands().size();
        session.Connect();
        EXPECT_EQ(Transcript(stripped, before), c.commands) << c.user;
        EXPECT_EQ(session.refusal.starts_with(relayKey + " has spoken TLS before"), !session.connected);
        session.Quit();
    }
}

// Two writers adding entries side by side, each with descriptors of its own as two programs have:
// every save succeeds (neither takes the other's temporary file for a leftover) and none is lost.
TEST(TrustFilesTest, WritersSideBySideLoseNoEntry)
{
    constexpr int kEachAdds = 60;
    TempDir data;
    const std::string directory = data.path + "/";
    const auto writer = [&directory](int w) {
        for (int i = 0; i < kEachAdds; ++i) {
            std::string failure;
            EXPECT_TRUE(TrustCertificate(directory, ServerKey("writer" + std::to_string(w), i), "SHA256:00", failure))
                << failure;
        }
    };
    std::thread first(writer, 0);
    std::thread second(writer, 1);
    first.join();
    second.join();
    const std::string content = ReadFile(directory + "trusted-certificates");
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 2 * kEachAdds);
}

TEST_F(TlsSessionTest, ACancelEndsTheWaitForTheAnswer)
{
    host.leaveTrustUnanswered = true;
    auto connect = std::async(std::launch::async, [this] { return session.Connect(); });
    while (host.asked == 0 && connect.wait_for(std::chrono::milliseconds(5)) == std::future_status::timeout) {
    }
    ASSERT_EQ(host.asked, 1);
    session.Cancel();
    ASSERT_EQ(connect.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(connect.get(), kConnectFailed);
    // An answer that comes too late changes nothing, and the front end can tell not to ask.
    ASSERT_TRUE(host.unanswered);
    EXPECT_TRUE(host.unanswered->Abandoned());
    host.unanswered->Answer(TrustAnswer::Always);
    EXPECT_FALSE(std::filesystem::exists(trustFile));
    session.ClearCancel();
}

// Only the TLS close tells a whole transfer from one cut on the way: a data connection that ends
// without it is not used, unless the preliminary reply announced a size and all of it came.
TEST_F(TlsSessionTest, ADataConnectionEndedWithoutTheTlsCloseIsNotTakenAsWhole)
{
    constexpr std::size_t kSize = 300000;
    WriteFile(root.path + "/big.bin", RandomBytes(kSize));
    for (int i = 0; i < 200; ++i)
        WriteFile(root.path + "/entry-" + std::to_string(i), "");
    host.trustAnswer = TrustAnswer::Once;
    struct Case {
        const char* name;
        std::size_t cutAfter;
        bool announceSize;
        bool kept;
    };
    // The listing is far shorter than the file: only the first two cut it.
    for (const Case& c :
         {Case{"cut, no size announced", 4000, false, false}, Case{"cut, size announced", 4000, true, false},
          Case{"every byte, no size announced", kSize, false, false},
          Case{"every byte of the announced size", kSize, true, true}}) {
        SCOPED_TRACE(c.name);
        Serve({.cutTlsData = c.cutAfter, .announceSize = c.announceSize});
        ASSERT_NE(session.Connect(), kConnectFailed);
        const std::string target = data.path + "/big.bin";
        EXPECT_EQ(session.RetrieveFile("big.bin", target), c.kept ? kCompletion : kPermanentNegative);
        EXPECT_EQ(fs::exists(target), c.kept);
        for (const auto& left : fs::directory_iterator(data.path))
            EXPECT_FALSE(left.path().filename().string().starts_with(".tessaline-")) << left.path();

        // A listing cut short would read as a directory with fewer entries, the last a cut name.
        CListingReader reader(session);
        CDirEntry entry;
        int entries = 0;
        for (ListingStep step = reader.OpenListing(entry); step == ListingStep::Entry;
             step = reader.NextListingEntry(entry))
            ++entries;
        EXPECT_EQ(entries, c.cutAfter < kSize ? 0 : 201);
        session.Quit();
        fs::remove(target);
    }
}

}  // namespace
