// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/scripted_ftp_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds kIoTimeout{10};
// A client that sends this much without a line end is broken; holding on would only eat memory.
constexpr std::size_t kMaxLine = std::size_t{1} << 20;

std::string VerbOf(const std::string& line)
{
    std::string verb = line.substr(0, line.find(' '));
    for (char& c : verb)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return verb;
}

// Reads away what the peer already sent before closing: closing with unread input makes the kernel
// send a reset, and a reset can destroy the last reply before the client has read it.
void CloseQuietly(int fd)
{
    char sink[4096];
    for (int i = 0; i < 256 && ::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0; ++i) {
    }
    ::close(fd);
}

bool ParseHostPort(std::string_view text, std::string& host, int& port)
{
    int fields[6];
    int count = 0;
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        const std::string_view field = text.substr(at, comma - at);
        const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
        if (count == 6 || field.empty() || field.size() > 3 || !std::all_of(field.begin(), field.end(), isDigit))
            return false;
        int value = 0;
        for (char c : field)
            value = value * 10 + (c - '0');
        if (value > 255)
            return false;
        fields[count++] = value;
        if (comma == text.size())
            break;
        at = comma + 1;
    }
    if (count != 6)
        return false;
    host = std::to_string(fields[0]) + '.' + std::to_string(fields[1]) + '.' + std::to_string(fields[2]) + '.'
        + std::to_string(fields[3]);
    port = fields[4] * 256 + fields[5];
    return true;
}

[[noreturn]] void ThrowErrno(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

// --- ScriptedFtpServer ---------------------------------------------------------------------------

ScriptedFtpServer::ScriptedFtpServer(std::string greeting) : greeting(std::move(greeting))
{
    try {
        wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd < 0)
            ThrowErrno("eventfd");
        listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (listenFd < 0)
            ThrowErrno("socket");
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            ThrowErrno("bind");
        if (::listen(listenFd, 16) != 0)
            ThrowErrno("listen");
        if (::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            ThrowErrno("getsockname");
        port = ntohs(address.sin_port);
        control.reset(new Control(*this));
        thread = std::thread([this] { Run(); });
    } catch (...) {
        if (listenFd >= 0)
            ::close(listenFd);
        if (wakeFd >= 0)
            ::close(wakeFd);
        throw;
    }
}

ScriptedFtpServer::~ScriptedFtpServer()
{
    stopping = true;
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(wakeFd, &one, sizeof one);
    thread.join();
    control.reset();  // closes the control and data connections
    ::close(listenFd);
    ::close(wakeFd);
}

int ScriptedFtpServer::Port() const
{
    return port;
}

void ScriptedFtpServer::Reply(const std::string& verb, std::string rawText)
{
    std::lock_guard guard(mutex);
    replies[VerbOf(verb)].push_back(std::move(rawText));
}

void ScriptedFtpServer::ReplyFromNowOn(const std::string& verb, std::string rawText)
{
    std::lock_guard guard(mutex);
    std::deque<std::string>& queue = replies[VerbOf(verb)];
    queue.clear();
    queue.push_back(std::move(rawText));
}

void ScriptedFtpServer::OnCommand(Handler handler)
{
    std::lock_guard guard(mutex);
    commandHandler = std::move(handler);
}

void ScriptedFtpServer::OnAccept(std::function<void(Control&)> handler)
{
    std::lock_guard guard(mutex);
    acceptHandler = std::move(handler);
}

void ScriptedFtpServer::SetFaults(Faults newFaults)
{
    std::lock_guard guard(mutex);
    faults = std::move(newFaults);
}

ScriptedFtpServer::Faults ScriptedFtpServer::FaultsFor(const std::string& line)
{
    std::lock_guard guard(mutex);
    if (!faults.command.empty() && faults.command != line)
        return Faults{};
    return faults.once ? std::exchange(faults, Faults{}) : faults;
}

std::vector<std::string> ScriptedFtpServer::Commands() const
{
    std::lock_guard guard(mutex);
    return commands;
}

bool ScriptedFtpServer::WaitForCommands(std::size_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(mutex);
    return commandArrived.wait_for(lock, timeout, [&] { return commands.size() >= n; });
}

int ScriptedFtpServer::Connections() const
{
    return connections;
}

void ScriptedFtpServer::Record(const std::string& line)
{
    {
        std::lock_guard guard(mutex);
        commands.push_back(line);
    }
    commandArrived.notify_all();
}

std::string ScriptedFtpServer::TakeQueuedReply(const std::string& verb, bool& found)
{
    std::lock_guard guard(mutex);
    const auto queue = replies.find(verb);
    found = queue != replies.end() && !queue->second.empty();
    if (!found)
        return {};
    std::string text = queue->second.front();
    if (queue->second.size() > 1)
        queue->second.pop_front();
    return text;
}

void ScriptedFtpServer::Run()
{
    while (!stopping) {
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {listenFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            std::perror("ScriptedFtpServer: poll");
            return;
        }
        if (fds[0].revents != 0)
            return;
        const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        // Every write goes out at once, so a reply sent in pieces reaches the client in pieces.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        control->Begin(fd);
        control->faults = FaultsFor("");
        ++connections;

        std::function<void(Control&)> handler;
        {
            std::lock_guard guard(mutex);
            handler = acceptHandler;
        }
        try {
            if (handler)
                handler(*control);
            else
                control->Send(greeting);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "ScriptedFtpServer: accept handler threw: %s\n", e.what());
            control->Close();
        }
        Serve();
        control->End();
    }
}

// Handles command lines one by one until the connection ends; lines that a handler's waits took
// in while it ran are handled next, in order.
void ScriptedFtpServer::Serve()
{
    Control& c = *control;
    while (!stopping && c.Connected()) {
        if (!c.pending.empty()) {
            const std::string line = std::move(c.pending.front());
            c.pending.pop_front();
            Dispatch(line);
            continue;
        }
        if (c.peerClosed)
            return;
        pollfd fds[2] = {{wakeFd, POLLIN, 0}, {c.controlFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents != 0)
            return;
        if (fds[1].revents != 0)
            c.ReadControlInput();
    }
}

void ScriptedFtpServer::Dispatch(const std::string& line)
{
    control->NotePortCommand(line);
    control->faults = FaultsFor(line);
    Handler handler;
    {
        std::lock_guard guard(mutex);
        handler = commandHandler;
    }
    try {
        if (handler)
            handler(line, *control);
        else
            control->Answer(line);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ScriptedFtpServer: command handler threw: %s\n", e.what());
        control->Close();
    }
}

// --- ScriptedFtpServer::Control ------------------------------------------------------------------

ScriptedFtpServer::Control::Control(ScriptedFtpServer& server) : server(server) {}

ScriptedFtpServer::Control::~Control()
{
    End();
}

void ScriptedFtpServer::Control::Begin(int fd)
{
    controlFd = fd;
    peerClosed = false;
    lost = false;
    tlsFromClient = false;
    input.clear();
    pending.clear();
    dataHost.clear();
    dataPort = 0;
    directory = "/";
    restartAt = 0;
    StopListening();
}

void ScriptedFtpServer::Control::End()
{
    CloseData();
    StopListening();
    Close();
}

bool ScriptedFtpServer::Control::Connected() const
{
    return controlFd >= 0 && !lost;
}

void ScriptedFtpServer::Control::Send(std::string_view bytes)
{
    SendInPieces(bytes, 0, std::chrono::milliseconds(0));
}

void ScriptedFtpServer::Control::SendLine(std::string_view text)
{
    std::string line(text);
    line += "\r\n";
    Send(line);
}

void ScriptedFtpServer::Control::SendInPieces(std::string_view bytes, std::size_t pieceSize,
                                              std::chrono::milliseconds gap)
{
    std::string shaped(bytes);
    if (faults.lfOnly) {
        for (std::size_t crlf = shaped.find("\r\n"); crlf != std::string::npos; crlf = shaped.find("\r\n", crlf))
            shaped.erase(crlf, 1);
    }
    if (faults.bytePerSegment)
        pieceSize = 1;
    if (pieceSize == 0)
        pieceSize = shaped.size();
    const std::string_view rest(shaped);
    for (std::size_t at = 0; at < rest.size() && Connected() && !server.stopping;) {
        if (at > 0 && gap.count() > 0)
            Pause(gap);
        const std::size_t size = std::min(pieceSize, rest.size() - at);
        if (!SendAll(controlFd, rest.substr(at, size)))
            lost = true;
        if (faults.bytePerSegment)
            AwaitSent();
        at += size;
    }
}

// Waits until the kernel has sent everything written so far: what is written next then goes out
// in a segment of its own instead of joining bytes still queued.
void ScriptedFtpServer::Control::AwaitSent()
{
    const auto deadline = Clock::now() + kIoTimeout;
    int unsent = 0;
    while (Connected() && !peerClosed && !server.stopping && Clock::now() < deadline
           && ::ioctl(controlFd, SIOCOUTQNSD, &unsent) == 0 && unsent > 0)
        Await(-1, 0, Clock::now() + std::chrono::milliseconds(1));
}

void ScriptedFtpServer::Control::Answer(const std::string& command)
{
    const std::string verb = VerbOf(command);
    bool found = false;
    const std::string text = server.TakeQueuedReply(verb, found);
    const std::string argument = command.size() > verb.size() + 1 ? command.substr(verb.size() + 1) : "";
    if (found) {
        SendReply(text);
        return;
    }
    if (AnswerFromFiles(verb, argument))
        return;
    if (verb == "QUIT") {
        SendReply("221 Goodbye.\r\n");
        Close();
    } else {
        SendReply("502 Command not implemented.\r\n");
    }
}

void ScriptedFtpServer::Control::SendReply(std::string_view text)
{
    if (faults.pauseBeforeReply.count() > 0)
        Pause(faults.pauseBeforeReply);
    Send(text);
}

void ScriptedFtpServer::Control::Pause(std::chrono::milliseconds duration)
{
    Await(-1, 0, Clock::now() + duration);
}

void ScriptedFtpServer::Control::HandOverToTls()
{
    tlsFromClient = true;
    pending.clear();
    input.clear();
}

void ScriptedFtpServer::Control::Close()
{
    if (controlFd >= 0)
        CloseQuietly(controlFd);
    controlFd = -1;
    pending.clear();
    input.clear();
}

int ScriptedFtpServer::Control::ListenForData()
{
    StopListening();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 1) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return 0;
    }
    passiveFd = fd;
    return ntohs(address.sin_port);
}

void ScriptedFtpServer::Control::StopListening()
{
    if (passiveFd >= 0)
        ::close(passiveFd);
    passiveFd = -1;
}

bool ScriptedFtpServer::Control::OpenData(const std::string& from)
{
    CloseData();
    if (passiveFd >= 0) {
        // One connection per passive command, as servers do.
        if (Await(passiveFd, POLLIN, Clock::now() + kIoTimeout) != Wait::Ready)
            return false;
        dataFd = ::accept4(passiveFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        StopListening();
        return dataFd >= 0;
    }
    if (dataHost.empty())
        return false;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    sockaddr_in remote{};
    remote.sin_family = AF_INET;
    remote.sin_port = htons(static_cast<std::uint16_t>(dataPort));
    if (::inet_pton(AF_INET, from.c_str(), &local.sin_addr) != 1
        || ::inet_pton(AF_INET, dataHost.c_str(), &remote.sin_addr) != 1)
        return false;

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    bool connected = ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0;
    if (connected && ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) != 0) {
        connected = errno == EINPROGRESS && Await(fd, POLLOUT, Clock::now() + kIoTimeout) == Wait::Ready;
        int error = 0;
        socklen_t length = sizeof error;
        connected = connected && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    if (!connected) {
        ::close(fd);
        return false;
    }
    dataFd = fd;
    return true;
}

bool ScriptedFtpServer::Control::DataSend(std::string_view bytes)
{
    return dataFd >= 0 && SendAll(dataFd, bytes);
}

std::string ScriptedFtpServer::Control::DataReceiveAll()
{
    return DataReceive(std::string::npos);
}

// Reads until the client closes its end or `limit` bytes have arrived; what arrived when that
// takes longer than 10 s.
std::string ScriptedFtpServer::Control::DataReceive(std::size_t limit)
{
    std::string received;
    if (dataFd < 0)
        return received;
    const auto deadline = Clock::now() + kIoTimeout;
    char buffer[65536];
    while (received.size() < limit) {
        const ssize_t n = ::recv(dataFd, buffer, std::min(sizeof buffer, limit - received.size()), MSG_DONTWAIT);
        if (n > 0) {
            received.append(buffer, static_cast<std::size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (Await(dataFd, POLLIN, deadline) != Wait::Ready)
                return received;
        } else {
            return received;  // end of data, or the connection failed
        }
    }
    return received;
}

void ScriptedFtpServer::Control::CloseData()
{
    if (dataFd >= 0)
        CloseQuietly(dataFd);
    dataFd = -1;
}

// Waits for `events` on `fd` (none when fd is -1: a plain pause) until `deadline` or the server
// stops. Meanwhile it keeps reading the control connection, so a client that sends commands while
// a reply or a transfer is under way never finds both sides blocked on full buffers.
ScriptedFtpServer::Control::Wait ScriptedFtpServer::Control::Await(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        if (server.stopping)
            return Wait::Stopped;
        if (fd < 0 && (controlFd < 0 || peerClosed))
            return Wait::Ready;  // a pause ends when there is no client left to wait for
        const auto now = Clock::now();
        if (now >= deadline)
            return Wait::TimedOut;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();

        pollfd fds[3] = {{server.wakeFd, POLLIN, 0}, {fd, events, 0}, {-1, 0, 0}};
        pollfd* controlEntry = nullptr;
        if (controlFd >= 0 && !peerClosed) {
            controlEntry = fd == controlFd ? &fds[1] : &fds[2];
            controlEntry->fd = controlFd;
            controlEntry->events |= POLLIN;
        }
        if (::poll(fds, 3, static_cast<int>(std::min<long long>(left, INT_MAX))) < 0) {
            if (errno == EINTR)
                continue;
            return Wait::TimedOut;
        }
        if (fds[0].revents != 0)
            return Wait::Stopped;
        if (controlEntry && (controlEntry->revents & (POLLIN | POLLHUP | POLLERR)) != 0)
            ReadControlInput();
        if (fd >= 0 && (fds[1].revents & (events | POLLHUP | POLLERR | POLLNVAL)) != 0)
            return Wait::Ready;
    }
}

void ScriptedFtpServer::Control::ReadControlInput()
{
    char buffer[65536];
    // Bounded, so that a client that never stops sending cannot keep a reply from going out.
    for (int reads = 0; reads < 16 && controlFd >= 0 && !peerClosed; ++reads) {
        const ssize_t n = ::recv(controlFd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        if (n <= 0) {
            peerClosed = true;  // an incomplete last line is not a command
            return;
        }
        if (tlsFromClient)
            continue;
        const std::size_t scanFrom = input.size();
        input.append(buffer, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t end = input.find('\n', scanFrom); end != std::string::npos; end = input.find('\n', start)) {
            std::string line = input.substr(start, end - start);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            server.Record(line);
            pending.push_back(std::move(line));
            start = end + 1;
        }
        input.erase(0, start);
        if (input.size() > kMaxLine) {
            peerClosed = true;
            lost = true;
            return;
        }
    }
}

bool ScriptedFtpServer::Control::SendAll(int fd, std::string_view bytes)
{
    // The time-out counts from the last progress: a slow reader is fine, a stalled one is not.
    auto deadline = Clock::now() + kIoTimeout;
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(n));
            deadline = Clock::now() + kIoTimeout;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (Await(fd, POLLOUT, deadline) != Wait::Ready)
                return false;
        } else {
            return false;
        }
    }
    return true;
}

void ScriptedFtpServer::Control::NotePortCommand(const std::string& line)
{
    if (VerbOf(line) != "PORT")
        return;
    StopListening();
    std::string_view argument(line);
    argument.remove_prefix(std::min(argument.size(), std::string_view("PORT").size()));
    while (!argument.empty() && argument.front() == ' ')
        argument.remove_prefix(1);
    while (!argument.empty() && argument.back() == ' ')
        argument.remove_suffix(1);
    if (!ParseHostPort(argument, dataHost, dataPort))
        dataHost.clear();
}
