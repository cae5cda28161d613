// SPDX-License-Identifier: GPL-3.0-or-later
// The TCP connection, the SSH transport with ~/.ssh/config, and the server's host key.

#include "remote/operation_host.h"
#include "remote/remote_login.h"
#include "remote/session_log.h"
#include "sftp/sftp_steps.h"

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <libssh/libssh.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pwd.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr auto kLookInterval = std::chrono::milliseconds(50);  // how soon a cancel ends a wait here

// The user's home: $HOME as the rest of the program takes it, so that a scratch HOME holds the
// keys and known hosts (libssh itself would ask the password database).
std::string HomeDirectory()
{
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir ? entry->pw_dir : "";
}

// The front end's answer to the host key question, waited for while a cancel may come.
class KeyAnswer final : public TrustReply {
public:
    void Answer(TrustAnswer given) override
    {
        std::lock_guard guard(lock);
        answer = given;
        changed.notify_all();
    }
    bool Abandoned() const override { return abandoned; }

    TrustAnswer Await(const std::atomic<bool>& cancelled)
    {
        std::unique_lock hold(lock);
        while (!answer && !cancelled)
            changed.wait_for(hold, kLookInterval);
        abandoned = true;
        return answer && !cancelled ? *answer : TrustAnswer::Refuse;
    }

private:
    std::mutex lock;
    std::condition_variable changed;
    std::optional<TrustAnswer> answer;
    std::atomic<bool> abandoned{false};
};

std::string Fingerprint(ssh_key key)
{
    unsigned char* hash = nullptr;
    std::size_t length = 0;
    if (ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &length) != SSH_OK)
        return {};
    char* text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, length);
    ssh_clean_pubkey_hash(&hash);
    std::string fingerprint = text ? text : "";
    ssh_string_free_char(text);
    return fingerprint;
}

// The key that `file` holds for `server` (hashed names are not matched): its type and
// fingerprint, and its line counted from 1; line 0 when the file names none.
struct KnownKey {
    std::string text = "another key";
    int line = 0;
};
KnownKey FindKnownKey(const std::string& file, const std::string& server)
{
    std::ifstream lines(file);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        std::istringstream words(line);
        std::string hosts, type, base64;
        if (!(words >> hosts >> type >> base64) || hosts.starts_with('#'))
            continue;
        std::istringstream names(hosts);
        bool named = false;
        for (std::string name; std::getline(names, name, ',');)
            named = named || name == server;
        ssh_key key = nullptr;
        if (!named
            || ssh_pki_import_pubkey_base64(base64.c_str(), ssh_key_type_from_name(type.c_str()), &key) != SSH_OK)
            continue;
        KnownKey known{FormatText("%s %s", {type, Fingerprint(key)}), number};
        ssh_key_free(key);
        return known;
    }
    return {};
}

std::string KnownHostsName(const std::string& host, int port)
{
    return port == kSshPort ? host : FormatText("[%s]:%d", {host, port});
}

// The TCP connection to `host`, each of its addresses in turn; -1 when none answered
// (`failure` says why).
int ConnectTcp(SftpContext& context, const std::string& host, int port)
{
    SessionFailure& failure = context.failure;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* addresses = nullptr;
    if (const int error = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &addresses); error != 0) {
        failure.connectFailure = ConnectFailure::HostNotFound;
        failure.connectError = ::gai_strerror(error);
        LogMessage("I can't get \"%s\" host entry", {host});
        return -1;
    }
    int connected = -1;
    int lastError = ECONNREFUSED;
    for (const addrinfo* address = addresses; address && connected < 0 && !context.cancelRequested;
         address = address->ai_next) {
        const int fd = ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0)
            continue;
        int error = ::connect(fd, address->ai_addr, address->ai_addrlen) == 0 ? 0 : errno;
        const auto end = context.WaitEnd();
        while (error == EINPROGRESS && !context.cancelRequested) {
            pollfd wait{fd, POLLOUT, 0};
            if (::poll(&wait, 1, static_cast<int>(kLookInterval.count())) > 0) {
                socklen_t size = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
            } else if (end && std::chrono::steady_clock::now() >= *end) {
                error = ETIMEDOUT;
            }
        }
        if (error == 0 && !context.cancelRequested) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            // libssh writes whole packets. Held back behind one not yet acknowledged, a request
            // waited for the server's delayed acknowledgement: 40 ms, several times in a login.
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            connected = fd;
        } else {
            lastError = error;
            ::close(fd);
        }
    }
    ::freeaddrinfo(addresses);
    if (connected < 0 && !context.cancelRequested) {
        failure.connectFailure = ConnectFailure::NotReached;
        failure.connectError = LocalErrorText(lastError);
        LogMessage("Can't connect to %s port %d (%s).", {host, port, failure.connectError});
    }
    return connected;
}

void SetTimeOut(ssh_session ssh, const SessionSettings& settings)
{
    const long long milliseconds = WaitLimit(settings).count();
    if (milliseconds <= 0)
        return;
    constexpr long long kMillisecondsPerSecond = 1000;
    long seconds = static_cast<long>(milliseconds / kMillisecondsPerSecond);
    long microseconds = static_cast<long>(milliseconds % kMillisecondsPerSecond * kMillisecondsPerSecond);
    ssh_options_set(ssh, SSH_OPTIONS_TIMEOUT, &seconds);
    ssh_options_set(ssh, SSH_OPTIONS_TIMEOUT_USEC, &microseconds);
}

bool Refuse(SftpContext& context, const std::string& why)
{
    context.failure.refusal = why;
    context.failure.connectFailure = ConnectFailure::Other;
    LogMessage("%s", {why});
    context.Close();
    return false;
}

// Whether the server's host key may be trusted: known, trusted for this run, or accepted by the
// user now.
bool CheckHostKey(SftpContext& context, const std::string& host, int port, const std::string& sshDirectory)
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(context.ssh, &key) != SSH_OK)
        return Refuse(context, "The server showed no host key.");
    const std::string fingerprint = Fingerprint(key);
    const std::string type = ssh_key_type_to_char(ssh_key_type(key));
    ssh_key_free(key);
    const std::string server = KnownHostsName(host, port);
    const std::string knownHosts = sshDirectory + "/known_hosts";

    switch (ssh_session_is_known_server(context.ssh)) {
    case SSH_KNOWN_HOSTS_OK: LogMessage("Host key of %s: %s %s (known)", {server, type, fingerprint}); return true;
    case SSH_KNOWN_HOSTS_CHANGED:
    case SSH_KNOWN_HOSTS_OTHER: {
        const KnownKey known = FindKnownKey(knownHosts, server);
        const int line = known.line;
        const std::string where = line > 0 ? FormatText("line %d of %s", {line, knownHosts})
                                           : FormatText("the known hosts of %s", {knownHosts});
        return Refuse(context,
                      FormatText("WARNING: the host key of %s has changed. It was %s and is now %s %s. Someone may "
                                 "be listening in on the connection, or the server's key was replaced. The known "
                                 "key is in %s; only if you know that the server has a new key, remove it there "
                                 "(ssh-keygen -R \"%s\") and connect again.",
                                 {server, known.text, type, fingerprint, where, server}));
    }
    case SSH_KNOWN_HOSTS_UNKNOWN:
    case SSH_KNOWN_HOSTS_NOT_FOUND: break;
    default: return Refuse(context, FormatText("Could not read the known hosts: %s", {ssh_get_error(context.ssh)}));
    }

    {
        std::lock_guard guard(context.memo->lock);
        if (context.memo->trustedFingerprint == fingerprint) {
            LogMessage("Host key of %s: %s %s (trusted for this run)", {server, type, fingerprint});
            return true;
        }
    }
    LogMessage("Host key of %s: %s %s is not known", {server, type, fingerprint});
    auto reply = std::make_shared<KeyAnswer>();
    if (context.operations.host)
        context.operations.host->AskHostKey({server, type, fingerprint}, reply);
    else
        reply->Answer(TrustAnswer::Refuse);
    const TrustAnswer answer = reply->Await(context.cancelRequested);
    if (answer == TrustAnswer::Refuse) {
        if (context.cancelRequested)
            return Refuse(context, "Cancelled");
        return Refuse(context, FormatText("The host key of %s was not trusted.", {server}));
    }
    {
        std::lock_guard guard(context.memo->lock);
        context.memo->trustedFingerprint = fingerprint;
    }
    if (answer == TrustAnswer::Always) {
        if (ssh_session_update_known_hosts(context.ssh) == SSH_OK)
            LogMessage("Added the host key of %s to %s", {server, knownHosts});
        else
            LogMessage("Could not add the host key to %s: %s", {knownHosts, ssh_get_error(context.ssh)});
    }
    return true;
}

}  // namespace

SshAddress SplitSshHost(const std::string& text)
{
    SshAddress address{text, 0};
    std::string port;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string::npos)
            return address;
        address.host = text.substr(1, close - 1);
        if (text.size() > close + 1 && text[close + 1] == ':')
            port = text.substr(close + 2);
    } else if (const std::size_t colon = text.find(':'); colon != std::string::npos && text.rfind(':') == colon) {
        address.host = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    if (!port.empty() && port.find_first_not_of("0123456789") == std::string::npos && port.size() <= 5)
        address.port = std::stoi(port);
    return address;
}

bool OpenSsh(SftpContext& context)
{
    const SshAddress address = SplitSshHost(context.login.host);
    context.ssh = ssh_new();
    if (!context.ssh)
        return Refuse(context, "Could not start an SSH session.");
    context.sshDirectory = HomeDirectory() + "/.ssh";
    const std::string& sshDirectory = context.sshDirectory;
    ssh_options_set(context.ssh, SSH_OPTIONS_HOST, address.host.c_str());
    ssh_options_set(context.ssh, SSH_OPTIONS_SSH_DIR, sshDirectory.c_str());
    // The user's config may rename the host, pick its port, user and keys; what the site names wins.
    if (ssh_options_parse_config(context.ssh, nullptr) != SSH_OK)
        LogMessage("Could not read ~/.ssh/config: %s", {ssh_get_error(context.ssh)});
    if (address.port > 0)
        ssh_options_set(context.ssh, SSH_OPTIONS_PORT, &address.port);
    if (!context.login.user.empty())
        ssh_options_set(context.ssh, SSH_OPTIONS_USER, context.login.user.c_str());
    SetTimeOut(context.ssh, context.settings);

    char* configured = nullptr;
    std::string host = address.host;
    if (ssh_options_get(context.ssh, SSH_OPTIONS_HOST, &configured) == SSH_OK && configured) {
        host = configured;
        ssh_string_free_char(configured);
    }
    unsigned int port = kSshPort;
    ssh_options_get_port(context.ssh, &port);
    const int portNumber = static_cast<int>(port);

    char* proxy = nullptr;
    const bool proxied = ssh_options_get(context.ssh, SSH_OPTIONS_PROXYCOMMAND, &proxy) == SSH_OK && proxy && *proxy;
    if (proxied) {
        LogMessage("Connecting to %s port %d through the ProxyCommand of ~/.ssh/config: %s", {host, portNumber, proxy});
    } else {
        const int fd = ConnectTcp(context, host, portNumber);
        if (fd < 0) {
            context.Close();
            return false;
        }
        LogMessage("Connected to %s port %d", {host, portNumber});
        ssh_options_set(context.ssh, SSH_OPTIONS_FD, &fd);
        context.SetSocket(fd);
    }
    ssh_string_free_char(proxy);
    if (ssh_connect(context.ssh) != SSH_OK) {
        const std::string error = ssh_get_error(context.ssh);
        if (context.cancelRequested)
            return Refuse(context, "Cancelled");
        context.failure.connectFailure = proxied ? ConnectFailure::NotReached : ConnectFailure::Other;
        context.failure.connectError = error;
        LogMessage("SSH connection failed: %s", {error});
        context.Close();
        return false;
    }
    if (proxied)
        context.SetSocket(ssh_get_fd(context.ssh));
    if (const char* banner = ssh_get_serverbanner(context.ssh))
        LogMessage("Server: %s", {banner});
    return CheckHostKey(context, host, portNumber, sshDirectory);
}
