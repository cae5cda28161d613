#pragma once
// A logged-in session on a scripted server that serves RETR, LIST and STOR from memory, with a
// front end that waits like the real ones and can cancel: the common ground of the transfer and
// fault tests.

#include "browse/listing_retrieval.h"
#include "ftp/background.h"
#include "ftp/exchange_result.h"
#include "ftp/ftp_session.h"
#include "ftp/session_log.h"
#include "support/scripted_ftp_server.h"
#include "support/temp_dir.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>

namespace fs = std::filesystem;
using Control = ScriptedFtpServer::Control;
using namespace std::chrono_literals;

inline std::string RandomBytes(std::size_t size)
{
    std::mt19937 random(42);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random());
    return bytes;
}

// Bytes this process has written through write-like calls (/proc/self/io "wchar"): sendfile
// counts there and send on a socket does not, which tells an upload that went straight from its
// file from one that was read and sent. -1 where the kernel keeps no such count.
inline long long BytesWrittenByProcess()
{
    std::ifstream io("/proc/self/io");
    std::string name;
    long long value = 0;
    while (io >> name >> value) {
        if (name == "wchar:")
            return value;
    }
    return -1;
}

// Waits for workers like a front end does, and cancels when `cancelWhen` says so; as with a
// dialog's Cancel button, a cancel wins over a worker that has just finished.
class TestHost final : public OperationHost {
public:
    bool WaitWhileBusy(WaitKind, const std::string& text, CFtpSession& session) override
    {
        waits.push_back(text);
        for (;;) {
            if (cancelWhen && cancelWhen(session))
                return false;
            if (!WorkerBusy(session))
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

    std::function<bool(CFtpSession&)> cancelWhen;
    std::vector<CertificateQuestion> questions;  // read once `asked` says so: the worker writes them
    std::atomic<int> asked{0};
    TrustAnswer trustAnswer = TrustAnswer::Refuse;
    bool leaveTrustUnanswered = false;
    std::shared_ptr<TrustReply> unanswered;
    std::vector<std::string> waits;
    std::vector<std::string> informed;
};

// Files on the scripted server: RETR and LIST send them over the data connection, STOR keeps what
// arrives; EPSV and PASV open a passive listener (unless `replies` refuses them), PORT makes the
// transfer active. Everything else is answered from the reply queues.
struct ServedFiles {
    std::mutex lock;
    std::map<std::string, std::string> files;     // by RETR name, and the LIST text under "LIST"
    std::map<std::string, std::string> stored;    // by STOR name
    std::string preliminary = "150 Opening data connection.\r\n";
    std::map<std::string, std::string> replies;   // fixed replies by verb, before the queues
    std::function<void(Control&)> instead;        // replaces sending the data when set
    std::string insteadOf;                        // the one data command `instead` answers; empty: all
    // A remote tree instead of one directory: the listing of each directory by its path ("" the
    // start, "/sub" below it), entered with CWD and left with "CWD ..". RETR then looks for the
    // file's path in `files` before its name. Directories in `unlistable` answer LIST with 425
    // after the 150, as a server that cannot open the data connection does.
    std::map<std::string, std::string> listings;
    std::set<std::string> unlistable;
    std::string cwd;
    std::string announcedAddress = "127.0.0.1";  // the address that 227 replies name
};

// "h1,h2,h3,h4,p1,p2" of a 227 reply.
inline std::string PasvNumbers(std::string address, int port)
{
    std::replace(address.begin(), address.end(), '.', ',');
    return address + ',' + std::to_string(port / 256) + ',' + std::to_string(port % 256);
}

// The answer of a server with a tree to CWD: into a directory it has, or back up.
inline std::string ChangeServedDirectory(ServedFiles& served, const std::string& name)
{
    std::lock_guard guard(served.lock);
    if (name == "..") {
        if (served.cwd.empty())
            return "550 Already at the top\r\n";
        served.cwd.erase(served.cwd.rfind('/'));
        return "250 Directory changed\r\n";
    }
    if (!served.listings.count(served.cwd + "/" + name))
        return "550 No such directory\r\n";
    served.cwd += "/" + name;
    return "250 Directory changed\r\n";
}

inline void ServeFiles(ScriptedFtpServer& server, ServedFiles& served)
{
    server.Reply("USER", "331 Password required\r\n");
    server.Reply("PASS", "230 Logged in\r\n");
    server.Reply("SYST", "215 UNIX Type: L8\r\n");
    server.Reply("TYPE", "200 Type set\r\n");
    server.Reply("CWD", "250 Directory changed\r\n");
    served.replies["PORT"] = "200 PORT command successful\r\n";
    served.replies["MKD"] = "257 Created\r\n";
    server.OnCommand([&served](const std::string& command, Control& control) {
        const std::string verb = command.substr(0, command.find(' '));
        const std::string name = command.size() > verb.size() + 1 ? command.substr(verb.size() + 1) : "";
        std::string fixed;
        std::function<void(Control&)> instead;
        bool tree = false;
        {
            std::lock_guard guard(served.lock);
            if (const auto reply = served.replies.find(verb); reply != served.replies.end())
                fixed = reply->second;
            if (served.insteadOf.empty() || served.insteadOf == command)
                instead = served.instead;
            tree = !served.listings.empty();
        }
        if (!fixed.empty()) {
            control.Send(fixed);
        } else if (verb == "EPSV") {
            control.SendLine("229 Entering Extended Passive Mode (|||" + std::to_string(control.ListenForData()) + "|)");
        } else if (verb == "PASV") {
            const int port = control.ListenForData();
            std::lock_guard guard(served.lock);
            control.SendLine("227 Entering Passive Mode (" + PasvNumbers(served.announcedAddress, port) + ")");
        } else if (tree && verb == "CWD") {
            control.Send(ChangeServedDirectory(served, name));
        } else if (verb == "RETR" || verb == "LIST") {
            std::string data;
            {
                std::lock_guard guard(served.lock);
                if (tree && verb == "LIST" && served.unlistable.count(served.cwd)) {
                    control.Send(served.preliminary);
                    control.SendLine("425 Can't open data connection.");
                    return;
                }
                const auto Find = [](const std::map<std::string, std::string>& in, const std::string& key) {
                    const auto found = in.find(key);
                    return found == in.end() ? nullptr : &found->second;
                };
                const std::string* text = nullptr;
                if (verb == "LIST") {
                    text = tree ? Find(served.listings, served.cwd) : Find(served.files, "LIST");
                } else {
                    if (tree)
                        text = Find(served.files, served.cwd + "/" + name);
                    if (!text)
                        text = Find(served.files, name);
                }
                if (!text) {
                    control.SendLine("550 No such file");
                    return;
                }
                data = *text;
            }
            control.Send(served.preliminary);
            if (instead) {
                instead(control);
                return;
            }
            if (!control.OpenData())
                return;
            control.DataSend(data);
            control.CloseData();
            control.SendLine("226 Transfer complete");
        } else if (verb == "STOR") {
            control.SendLine("150 Ok to send data");
            if (instead) {
                instead(control);
                return;
            }
            if (!control.OpenData())
                return;
            const std::string data = control.DataReceiveAll();
            control.CloseData();
            {
                std::lock_guard guard(served.lock);
                served.stored[name] = data;
            }
            control.SendLine("226 Transfer complete");
        } else {
            control.Answer(command);
        }
    });
}

class TransferFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        settings.retry = 20;
        session.host = &host;
        session.listingFile = local.path + "/listing";
        ServeFiles(server, served);
        session.hostName = "127.0.0.1:" + std::to_string(server.Port());
        session.userName = "anna";
        session.password = "secret";
        session.encryption = kPlainOnly;  // the scripted server speaks plain FTP
        ASSERT_NE(session.Connect(), -1);
        TakeLog();
    }

    // What the server got after the login.
    std::vector<std::string> Commands() const
    {
        std::vector<std::string> commands = server.Commands();
        commands.erase(commands.begin(), commands.begin() + 3);
        return commands;
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
        return !WorkerBusy(session) && session.commandDepth == 0
            && session.dataSocket == -1 && session.listenSocket == -1;
    }

    EngineSettings settings;
    CFtpSession session{settings};
    TestHost host;
    TempDir local;
    ServedFiles served;
    ScriptedFtpServer server;
};
