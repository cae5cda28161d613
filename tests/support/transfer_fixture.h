// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A logged-in session on a scripted server that serves files from memory, with a front end that
// waits like the real ones and can cancel: the common ground of the transfer and fault tests.

#include "copies/directory_copies.h"
#include "ftp/ftp_remote_session.h"
#include "ftp/ftp_session.h"
#include "ftp/internal/control_connection.h"
#include "ftp/internal/data_connection.h"
#include "ftp/internal/listing_retrieval.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"
#include "support/scripted_ftp_server.h"
#include "support/temp_dir.h"
#include "support/test_files.h"
#include "support/transcript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <thread>

namespace fs = std::filesystem;
using Control = ScriptedFtpServer::Control;
using namespace std::chrono_literals;

inline const std::string kPortLine = "PORT 127,0,0,1,*";  // the session's PORT, as a transcript shows it

inline std::string RandomBytes(std::size_t size)
{
    std::mt19937 random(42);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// Waits for workers like a front end does, and cancels when `cancelWhen` says so; as with a
// dialog's Cancel button, a cancel wins over a worker that has just finished.
class TestHost final : public OperationHost {
public:
    bool WaitWhileBusy(WaitKind, const std::string& text, OperationRunner& runner) override
    {
        waits.push_back(text);
        for (;;) {
            if (cancelWhen && cancelWhen(runner))
                return false;
            if (!runner.WorkerBusy())
                return true;
            std::this_thread::sleep_for(2ms);
        }
    }
    void WorkerEnded() override {}
    void Inform(const std::string& text) override { informed.push_back(text); }
    // Answers at once with `trustAnswer`, or keeps the reply unanswered when told to.
    void AskTrust(const CertificateQuestion& question, std::shared_ptr<TrustReply> reply) override
    {
        questions.push_back(question);
        if (leaveTrustUnanswered)
            unanswered = std::move(reply);
        else
            reply->Answer(trustAnswer);
        ++asked;
    }

    std::function<bool(OperationRunner&)> cancelWhen;
    std::vector<CertificateQuestion> questions;  // read once `asked` says so: the worker writes them
    std::atomic<int> asked{0};
    TrustAnswer trustAnswer = TrustAnswer::Refuse;
    bool leaveTrustUnanswered = false;
    std::shared_ptr<TrustReply> unanswered;
    std::vector<std::string> waits;
    std::vector<std::string> informed;
};

class TransferFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.retry = 20;
        LogIn(session, host, server, local.path + "/listing");
        TakeLog();
    }

    // Logs `session` in to `server`, which serves files from memory from then on.
    static void LogIn(CFtpSession& session, TestHost& host, ScriptedFtpServer& server, const std::string& listingFile)
    {
        session.operations.host = &host;
        session.listingFile = listingFile;
        server.Reply("USER", "331 Password required\r\n");
        server.Reply("PASS", "230 Logged in\r\n");
        server.Reply("SYST", "215 UNIX Type: L8\r\n");
        server.Reply("TYPE", "200 Type set\r\n");
        server.ServeFiles();
        session.hostName = "127.0.0.1:" + std::to_string(server.Port());
        session.userName = "anna";
        session.password = "secret";
        session.encryption = kPlainOnly;  // the scripted server speaks plain FTP
        ASSERT_NE(session.Connect(), kConnectFailed);
    }

    // What the server got after the login (USER, PASS, SYST, FEAT).
    std::vector<std::string> TranscriptAfterLogin() const { return Transcript(server, 4); }

    // `body` answers the data command line `command` after its preliminary reply; every other
    // command is answered as before.
    void OnDataCommand(const std::string& command, std::function<void(Control&)> body)
    {
        server.OnCommand([command, body = std::move(body)](const std::string& line, Control& control) {
            if (line != command) {
                control.Answer(line);
                return;
            }
            control.Send(ScriptedFtpServer::kOpeningData);
            body(control);
        });
    }

    // A sparse local file "big" of `size` bytes, sent in 64 KiB chunks: far more than the socket
    // buffers hold, so an upload of it is still going when the server acts.
    fs::path BigLocalFile(std::uintmax_t size)
    {
        const fs::path big = fs::path(local.path) / "big";
        WriteFile(big, "");
        fs::resize_file(big, size);
        settings.sendBytes = 65536;
        return big;
    }

    bool SessionIdle()
    {
        return !session.operations.WorkerBusy() && session.commandDepth == 0 && session.data->socket == -1
            && session.data->listenSocket == -1;
    }

    EngineSettings settings;
    FtpRemoteSession remote{settings};  // what the directory copies use
    CFtpSession& session = remote.Ftp();
    TestHost host;
    TempDir local;
    ScriptedFtpServer server;
};
