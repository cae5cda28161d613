// SPDX-License-Identifier: GPL-3.0-or-later
// The scripted server's files from memory: what it answers itself once told to serve them, and
// the data faults of its transfers.

#include "support/scripted_ftp_server.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

const char kUnlistable[] = "425 Can't open data connection.\r\n";
const char kDataFailed[] = "426 Connection closed; transfer aborted.\r\n";

// `name` in `directory`; "/" is the top.
std::string PathIn(const std::string& directory, const std::string& name)
{
    return directory == "/" ? "/" + name : directory + "/" + name;
}

// "h1,h2,h3,h4,p1,p2" of a 227 reply.
std::string PasvNumbers(std::string address, int port)
{
    std::replace(address.begin(), address.end(), '.', ',');
    return address + ',' + std::to_string(port / 256) + ',' + std::to_string(port % 256);
}

}  // namespace

// --- What the tests serve ------------------------------------------------------------------------

void ScriptedFtpServer::ServeFiles()
{
    std::lock_guard guard(mutex);
    servingFiles = true;
}

void ScriptedFtpServer::ServeFile(const std::string& name, std::string bytes, std::string preliminary)
{
    std::lock_guard guard(mutex);
    files[name] = {std::move(bytes), std::move(preliminary)};
}

void ScriptedFtpServer::ServeListing(std::string listing)
{
    std::lock_guard guard(mutex);
    everyListing = std::move(listing);
}

void ScriptedFtpServer::ServeDirectory(const std::string& path, std::string listing)
{
    std::lock_guard guard(mutex);
    directories[path] = std::move(listing);
}

void ScriptedFtpServer::ServeUnlistableDirectory(const std::string& path)
{
    std::lock_guard guard(mutex);
    directories[path] = std::nullopt;
}

void ScriptedFtpServer::AnnouncePassiveAddress(std::string address)
{
    std::lock_guard guard(mutex);
    passiveAddress = std::move(address);
}

std::map<std::string, std::string> ScriptedFtpServer::Stored() const
{
    std::lock_guard guard(mutex);
    return stored;
}

// --- Answers -------------------------------------------------------------------------------------

bool ScriptedFtpServer::Control::AnswerFromFiles(const std::string& verb, const std::string& argument)
{
    {
        std::lock_guard guard(server.mutex);
        if (!server.servingFiles)
            return false;
    }
    if (verb == "PORT") {
        SendReply("200 PORT command successful\r\n");
    } else if (verb == "EPSV") {
        SendReply("229 Entering Extended Passive Mode (|||" + std::to_string(ListenForData()) + "|)\r\n");
    } else if (verb == "PASV") {
        const int port = ListenForData();
        std::string address;
        {
            std::lock_guard guard(server.mutex);
            address = server.passiveAddress;
        }
        SendReply("227 Entering Passive Mode (" + PasvNumbers(address, port) + ")\r\n");
    } else if (verb == "CWD") {
        ChangeDirectory(argument);
    } else if (verb == "MKD") {
        MakeDirectory(argument);
    } else if (verb == "RETR") {
        SendFile(argument);
    } else if (verb == "LIST" || verb == "MLSD") {
        SendListing();
    } else if (verb == "STOR" || verb == "APPE") {
        ReceiveFile(argument, verb == "APPE");
    } else if (verb == "REST") {
        restartAt = std::strtoull(argument.c_str(), nullptr, 10);
        SendReply("350 Restarting at " + std::to_string(restartAt) + ".\r\n");
    } else if (verb == "SIZE") {
        const std::optional<std::string> bytes = FileBytes(argument, true);
        SendReply(bytes ? "213 " + std::to_string(bytes->size()) + "\r\n" : "550 No such file\r\n");
    } else if (verb == "PWD") {
        SendReply("257 \"" + directory + "\" is the current directory\r\n");
    } else {
        return false;
    }
    return true;
}

void ScriptedFtpServer::Control::ChangeDirectory(const std::string& name)
{
    if (name == "..") {
        if (directory == "/") {
            SendReply("550 Already at the top\r\n");
            return;
        }
        directory.erase(std::max<std::size_t>(directory.rfind('/'), 1));
        SendReply("250 Directory changed\r\n");
        return;
    }
    const std::string path = name.starts_with("/") ? name : PathIn(directory, name);
    bool exists = path == "/";
    {
        std::lock_guard guard(server.mutex);
        exists = exists || server.directories.count(path) != 0 || server.everyListing.has_value();
    }
    if (!exists) {
        SendReply("550 No such directory\r\n");
        return;
    }
    directory = path;
    SendReply("250 Directory changed\r\n");
}

void ScriptedFtpServer::Control::MakeDirectory(const std::string& name)
{
    const std::string path = PathIn(directory, name);
    {
        std::lock_guard guard(server.mutex);
        server.directories.try_emplace(path, std::string());
    }
    SendReply("257 \"" + path + "\" created\r\n");
}

// What STOR kept as `name` when `stored`, else the served file and its preliminary reply; nothing
// when neither.
std::optional<std::string> ScriptedFtpServer::Control::FileBytes(const std::string& name, bool stored,
                                                                 std::string* preliminary)
{
    std::lock_guard guard(server.mutex);
    if (const auto kept = server.stored.find(PathIn(directory, name)); stored && kept != server.stored.end())
        return kept->second;
    auto found = server.files.find(PathIn(directory, name));
    if (found == server.files.end())
        found = server.files.find(name);
    if (found == server.files.end())
        return std::nullopt;
    if (preliminary)
        *preliminary = found->second.preliminary;
    return found->second.bytes;
}

void ScriptedFtpServer::Control::SendFile(const std::string& name)
{
    std::string preliminary = kOpeningData;
    const std::optional<std::string> bytes = FileBytes(name, false, &preliminary);
    const std::size_t start = std::exchange(restartAt, 0);
    if (!bytes) {
        SendReply("550 No such file\r\n");
        return;
    }
    SendData(preliminary, std::string_view(*bytes).substr(std::min(start, bytes->size())));
}

void ScriptedFtpServer::Control::SendListing()
{
    std::optional<std::string> listing;
    bool unlistable = false;
    {
        std::lock_guard guard(server.mutex);
        if (const auto found = server.directories.find(directory); found != server.directories.end()) {
            listing = found->second;
            unlistable = !listing;
        } else {
            listing = server.everyListing;
        }
    }
    if (unlistable) {
        Send(kOpeningData);
        SendReply(kUnlistable);
    } else if (!listing) {
        SendReply("550 No such directory\r\n");
    } else {
        SendData(kOpeningData, *listing);
    }
}

void ScriptedFtpServer::Control::ReceiveFile(const std::string& name, bool append)
{
    const std::size_t start = std::exchange(restartAt, 0);
    Send(kOpeningData);
    if (!OpenData())
        return;
    const std::size_t end = faults.failDataAfter.value_or(std::string::npos);
    std::string data;
    if (faults.dataPause.count() > 0 && faults.dataPauseAfter <= end) {
        data = DataReceive(faults.dataPauseAfter);
        if (data.size() == faults.dataPauseAfter)
            Pause(faults.dataPause);
    }
    data += DataReceive(end - data.size());
    CloseData();
    {
        std::lock_guard guard(server.mutex);
        std::string& kept = server.stored[PathIn(directory, name)];
        kept = (append ? kept : kept.substr(0, std::min(start, kept.size()))) + data;
    }
    SendReply(data.size() == end ? kDataFailed : "226 Transfer complete\r\n");
}

// Sends `data` after `preliminary` over the data connection, with the data faults in force. When
// the data connection cannot be made, the client has gone: nothing more is sent.
void ScriptedFtpServer::Control::SendData(const std::string& preliminary, std::string_view data)
{
    Send(preliminary);
    if (!OpenData())
        return;
    const std::size_t end = std::min(faults.failDataAfter.value_or(data.size()), data.size());
    const bool pauses = faults.dataPause.count() > 0 && faults.dataPauseAfter <= end;
    const std::size_t pauseAt = pauses ? faults.dataPauseAfter : end;
    DataSend(data.substr(0, pauseAt));
    if (pauses)
        Pause(faults.dataPause);
    DataSend(data.substr(pauseAt, end - pauseAt));
    CloseData();
    SendReply(end < data.size() ? kDataFailed : "226 Transfer complete\r\n");
}
