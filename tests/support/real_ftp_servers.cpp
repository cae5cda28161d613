// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/real_ftp_servers.h"

#include "support/network_namespaces.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pwd.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kStartWait = std::chrono::seconds(10);
constexpr auto kStopGrace = std::chrono::seconds(2);
constexpr int kPortAttempts = 5;
const char* const kVsftpd = TESSALINE_TEST_SERVERS "/vsftpd/usr/sbin/vsftpd";
const char* const kSshd = TESSALINE_TEST_SERVERS "/openssh-server/usr/sbin/sshd";
const char* const kPureFtpd = TESSALINE_TEST_SERVERS "/pure-ftpd/usr/sbin/pure-ftpd";
const char* const kPurePw = TESSALINE_TEST_SERVERS "/pure-ftpd/usr/bin/pure-pw";
const char* const kProftpd = TESSALINE_TEST_SERVERS "/proftpd-core/usr/sbin/proftpd";
const char* const kProftpdModules = TESSALINE_TEST_SERVERS "/proftpd-mod-crypto/usr/lib/proftpd";
// What vsftpd's helper process runs as between logins, in its empty secure_chroot_dir.
const char* const kVsftpdNoPrivilegeUser = "nobody";
const char* const kPython = "/usr/bin/python3";

// Runs inside the child; parameters arrive as argv so that no text of ours is ever parsed as code.
const char* const kPyftpdlibProgram = R"py(import os, sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer
root, user, password, address, port, banner, anonymous, certfile, keyfile, refuse_prot, cut_data, announce_size = sys.argv[1:]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm='elradfmwMT')
if anonymous:
    authorizer.add_anonymous(root, perm=anonymous)
class Handler(TLS_FTPHandler if certfile else FTPHandler):
    if refuse_prot:
        def ftp_PROT(self, line):
            self.respond("534 PROT refused by this server.")
    if announce_size:
        def push_dtp_data(self, data, isproducer=False, file=None, cmd=None):
            self.announced = os.fstat(file.fileno()).st_size if file else None
            super().push_dtp_data(data, isproducer, file, cmd)
        def respond(self, resp, *args, **kwargs):
            if resp[:3] in ("125", "150") and getattr(self, "announced", None) is not None:
                resp += " (%d bytes)" % self.announced
                self.announced = None
            super().respond(resp, *args, **kwargs)
if cut_data:
    class CutDTPHandler(TLS_DTPHandler):
        def send(self, data):
            return super().send(bytes(data)[:int(cut_data) - self.tot_bytes_sent])
        def initiate_send(self):
            if self.tot_bytes_sent >= int(cut_data):
                self._error = True  # close() then skips the TLS close
                self._resp = ("226 Transfer complete.", print)
                return self.close()
            super().initiate_send()
    Handler.dtp_handler = CutDTPHandler
if certfile:
    Handler.certfile = certfile
    Handler.keyfile = keyfile
    Handler.tls_control_required = True
    Handler.tls_data_required = not refuse_prot
Handler.authorizer = authorizer
Handler.banner = banner
Handler.auth_failed_timeout = 0
FTPServer((address, int(port)), Handler).serve_forever()
)py";

std::string ErrnoText(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// Servers run with a working directory of their own choosing, so they get absolute paths.
std::string AbsolutePath(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? std::string() : absolute.string();
}

bool UserExists(const char* name)
{
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(16384);
    return getpwnam_r(name, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr;
}

// The greeting proves the server on the port is ours and not another test's that took it first.
std::string UniqueBanner()
{
    std::random_device random;
    std::ostringstream banner;
    banner << "Tessaline test server " << std::hex << random() << random();
    return banner.str();
}

// A socket of `family` in the place's network namespace; -1 when none could be made there.
int SocketAt(const ServerPlace& place, int family)
{
    int fd = -1;
    const auto make = [&fd, family] { fd = socket(family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0); };
    if (place.netns.empty())
        make();
    else
        RunInNetworkNamespace(place.netns, make);
    return fd;
}

// The place's address with `port`; false when it is not a numeric IPv4 or IPv6 address.
bool PlaceAddress(const ServerPlace& place, int port, sockaddr_storage& address, socklen_t& length)
{
    address = {};
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
    if (inet_pton(AF_INET, place.address.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<uint16_t>(port));
        length = sizeof v4;
        return true;
    }
    if (inet_pton(AF_INET6, place.address.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<uint16_t>(port));
        length = sizeof v6;
        return true;
    }
    return false;
}

int ConnectTo(const ServerPlace& place, int port, int timeoutMs)
{
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!PlaceAddress(place, port, address, length))
        return -1;
    const int fd = SocketAt(place, address.ss_family);
    if (fd < 0)
        return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0) {
        pollfd waiting{fd, POLLOUT, 0};
        int error = 0;
        socklen_t size = sizeof error;
        if (errno != EINPROGRESS || poll(&waiting, 1, timeoutMs) != 1
            || getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            close(fd);
            return -1;
        }
    }
    return fd;
}

// A port at the place that nothing listens on right now; -1 when none could be had.
int FreePortAt(const ServerPlace& place)
{
    sockaddr_storage address{};
    socklen_t length = 0;
    if (!PlaceAddress(place, 0, address, length))
        return -1;
    const int fd = SocketAt(place, address.ss_family);
    if (fd < 0)
        return -1;
    int port = -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) == 0
        && getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                                   : reinterpret_cast<sockaddr_in&>(address).sin_port);
    close(fd);
    return port;
}

// First line the peer sends, without its line end; empty when nothing whole came in time.
std::string ReadLine(int fd, Clock::time_point deadline)
{
    std::string line;
    while (Clock::now() < deadline && line.size() < 4096) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd waiting{fd, POLLIN, 0};
        if (poll(&waiting, 1, static_cast<int>(left.count()) + 1) != 1)
            break;
        char byte = 0;
        if (recv(fd, &byte, 1, 0) != 1)
            break;
        if (byte == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return line;
        }
        line += byte;
    }
    return {};
}

// The first line after a TLS handshake, as a client that trusts anything: only the banner counts.
std::string ReadLineOverTls(int fd, Clock::time_point deadline)
{
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, fd);
    // One step of the handshake or one byte of the line; false when it is time to give up.
    const auto step = [&](auto operation) {
        for (;;) {
            const int result = operation();
            if (result > 0)
                return true;
            const int error = SSL_get_error(ssl, result);
            if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) || Clock::now() >= deadline)
                return false;
            pollfd waiting{fd, static_cast<short>(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
            poll(&waiting, 1, 100);
        }
    };
    std::string line;
    char byte = 0;
    if (step([&] { return SSL_connect(ssl); })) {
        while (line.size() < 4096 && step([&] { return SSL_read(ssl, &byte, 1); }) && byte != '\n')
            line += byte;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    SSL_free(ssl);
    SSL_CTX_free(context);
    return byte == '\n' ? line : std::string();
}

// "SHA256:..." of a public key file, as ssh-keygen -l shows it; empty when it cannot be read.
std::string KeyFingerprint(const std::string& publicKeyFile)
{
    std::string fingerprint;
    FILE* listing = popen(("ssh-keygen -lf " + publicKeyFile).c_str(), "r");
    char line[512] = {};
    if (listing && fgets(line, sizeof line, listing)) {
        std::istringstream words(line);
        std::string bits;
        words >> bits >> fingerprint;
    }
    if (listing)
        pclose(listing);
    return fingerprint;
}

// Plain reads: a /proc file of a process that exits while it is read fails with ESRCH, which a
// stream buffer iterator would throw out of the test as an exception.
std::string ReadWholeFile(const std::string& path)
{
    std::string content;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return content;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        content.append(buffer, static_cast<std::size_t>(got));
    ::close(fd);
    return content;
}

struct ProcessState final {
    char state = 0;  // 0: no such process
    pid_t parent = -1;
};

ProcessState StateOf(pid_t pid)
{
    const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    // "pid (command) state ppid ...": the command may itself hold spaces and parentheses.
    const auto close = stat.rfind(')');
    ProcessState result;
    if (close != std::string::npos)
        std::istringstream(stat.substr(close + 1)) >> result.state >> result.parent;
    return result;
}

// SIGSTOP only asks: a process still running could yet fork or reap a child (freeing its pid for
// reuse), so wait until it has really stopped.
void Freeze(pid_t pid)
{
    kill(pid, SIGSTOP);
    const auto deadline = Clock::now() + std::chrono::seconds(1);
    for (;;) {
        const char state = StateOf(pid).state;
        if (state == 0 || state == 'T' || state == 't' || state == 'Z' || state == 'X' || Clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// vsftpd serves each login in processes of their own session, which outlive the listener: freeze the
// whole tree first so that nothing new can start, then end it from the leaves up.
void StopProcessTree(pid_t root)
{
    Freeze(root);
    std::vector<pid_t> frozen{root};
    for (bool grew = true; grew;) {
        grew = false;
        DIR* proc = opendir("/proc");
        if (!proc)
            break;
        while (const dirent* entry = readdir(proc)) {
            char* end = nullptr;
            const long number = std::strtol(entry->d_name, &end, 10);
            const auto pid = static_cast<pid_t>(number);
            if (*end != '\0' || number <= 0 || std::find(frozen.begin(), frozen.end(), pid) != frozen.end())
                continue;
            const pid_t parent = StateOf(pid).parent;
            if (std::find(frozen.begin(), frozen.end(), parent) != frozen.end()) {
                Freeze(pid);
                frozen.push_back(pid);
                grew = true;
            }
        }
        closedir(proc);
    }
    for (auto pid = frozen.rbegin(); pid + 1 != frozen.rend(); ++pid)
        kill(*pid, SIGKILL);

    kill(root, SIGTERM);
    kill(root, SIGCONT);
    const auto deadline = Clock::now() + kStopGrace;
    for (;;) {
        const pid_t done = waitpid(root, nullptr, WNOHANG);
        if (done == root || (done < 0 && errno != EINTR))
            return;
        if (Clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(root, SIGKILL);
    while (waitpid(root, nullptr, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace

int FreeTcpPort()
{
    return FreePortAt(ServerPlace{});
}

// One server child: its private directory (log, configuration), its start on a free port and its end.
class RealServerProcess final {
public:
    RealServerProcess(const std::string& name, const ServerPlace& place) : place(place)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / ("tessaline-" + name + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()))
            directory = pattern;
        else
            Note(ErrnoText("mkdtemp " + pattern));
    }

    ~RealServerProcess()
    {
        if (pid > 0)
            StopProcessTree(pid);
        if (!directory.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(directory, ignored);
        }
    }

    RealServerProcess(const RealServerProcess&) = delete;
    RealServerProcess& operator=(const RealServerProcess&) = delete;

    // Asks `argvForPort` for the command line for a fresh port (empty: give up) until a server greets
    // with `banner`. A server that ends saying `bindFailure` lost its port to someone else: try anew.
    void Start(const std::function<std::vector<std::string>(int port)>& argvForPort, const std::string& banner,
               const std::string& bindFailure, bool greetsInTls = false)
    {
        tlsGreeting = greetsInTls;
        if (directory.empty())
            return;
        const auto deadline = Clock::now() + kStartWait;
        for (int attempt = 0; attempt < kPortAttempts && Clock::now() < deadline; ++attempt) {
            port = FreePortAt(place);
            if (port < 0) {
                Note(ErrnoText("no free port"));
                return;
            }
            const std::vector<std::string> argv = argvForPort(port);
            if (argv.empty() || !Spawn(argv))
                return;
            if (AwaitGreeting(banner, deadline)) {
                started = true;
                return;
            }
            if (pid > 0) {
                Note("no greeting within " + std::to_string(kStartWait.count()) + " s");
                return;
            }
            if (ServerLog().find(bindFailure) == std::string::npos)
                return;
        }
        Note("gave up looking for a free port");
    }

    void Note(const std::string& text) { notes += "[real_ftp_servers] " + text + "\n"; }

    std::string File(const std::string& name) const { return directory + "/" + name; }
    std::string ServerLog() const { return ReadWholeFile(File("server.log")) + notes; }

    const ServerPlace place;
    std::string directory;
    std::string notes;
    pid_t pid = -1;
    int port = -1;
    bool started = false;
    bool tlsGreeting = false;  // implicit TLS: the greeting comes after the handshake
    bool sshGreeting = false;  // an SSH server: its version line ends in the banner

private:
    bool Spawn(const std::vector<std::string>& argv)
    {
        // Everything the child needs is made here: after fork it may only make plain system calls.
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        char path[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
        char locale[] = "LC_ALL=C.UTF-8";
        char* environment[] = {path, locale, nullptr};

        // vsftpd reports fatal errors on descriptor 0, so all three go to the log.
        const int log = open(File("server.log").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (log < 0) {
            Note(ErrnoText("open server.log"));
            return false;
        }
        int netns = -1;
        if (!place.netns.empty() && (netns = open(("/run/netns/" + place.netns).c_str(), O_RDONLY | O_CLOEXEC)) < 0) {
            Note(ErrnoText("open network namespace " + place.netns));
            close(log);
            return false;
        }
        const pid_t parent = getpid();
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent || (netns >= 0 && setns(netns, CLONE_NEWNET) != 0))
                _exit(127);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            struct sigaction byDefault {};
            byDefault.sa_handler = SIG_DFL;
            for (int number = 1; number < NSIG; ++number)
                sigaction(number, &byDefault, nullptr);
            dup2(log, 0);
            dup2(log, 1);
            dup2(log, 2);
            close_range(3, ~0U, 0);
            execve(args[0], args.data(), environment);
            const char failed[] = "[real_ftp_servers] exec failed\n";
            [[maybe_unused]] const auto written = write(2, failed, sizeof failed - 1);
            _exit(127);
        }
        close(log);
        if (netns >= 0)
            close(netns);
        if (pid < 0) {
            Note(ErrnoText("fork"));
            return false;
        }
        return true;
    }

    // True once the server on `port` greets with our banner; false when time ran out or the child
    // ended (then pid is -1).
    bool AwaitGreeting(const std::string& banner, Clock::time_point deadline)
    {
        while (Clock::now() < deadline) {
            int status = 0;
            const pid_t ended = waitpid(pid, &status, WNOHANG);
            if (ended == pid || (ended < 0 && errno == ECHILD)) {
                pid = -1;
                const std::string onPort = "server on port " + std::to_string(port);
                if (ended < 0)
                    Note(onPort + " ended");
                else if (WIFEXITED(status))
                    Note(onPort + " exited with status " + std::to_string(WEXITSTATUS(status)));
                else
                    Note(onPort + " killed by signal " + std::to_string(WTERMSIG(status)));
                return false;
            }
            const int fd = ConnectTo(place, port, 500);
            if (fd >= 0) {
                const auto lineDeadline = std::min(deadline, Clock::now() + std::chrono::seconds(2));
                // The banner may be any line of a greeting of several ("220-...", then "220 ...").
                bool greeted = false;
                if (sshGreeting) {
                    const std::string line = ReadLine(fd, lineDeadline);
                    greeted = line.starts_with("SSH-2.0-") && line.ends_with(" " + banner);
                }
                for (std::string line = sshGreeting ? "" : "220-"; line.starts_with("220-") && !greeted;) {
                    line = tlsGreeting ? ReadLineOverTls(fd, lineDeadline) : ReadLine(fd, lineDeadline);
                    greeted = line.size() == 4 + banner.size() && line.starts_with("220") && line.ends_with(banner);
                }
                close(fd);
                if (greeted)
                    return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }
};

PyftpdlibServer::PyftpdlibServer(const std::string& root, const std::string& user, const std::string& password,
                                 const PyftpdlibOptions& options)
    : process(std::make_unique<RealServerProcess>("pyftpdlib", options.place))
{
    const std::string banner = UniqueBanner();
    const std::string absoluteRoot = AbsolutePath(root);
    if (absoluteRoot.empty()) {
        process->Note("no usable root: \"" + root + "\"");
        return;
    }
    process->Start(
        [&](int port) {
            return std::vector<std::string>{kPython,
                                            "-I",
                                            "-u",
                                            "-c",
                                            kPyftpdlibProgram,
                                            absoluteRoot,
                                            user,
                                            password,
                                            options.place.address,
                                            std::to_string(port),
                                            banner,
                                            options.anonymousPermissions,
                                            options.tls.certificate,
                                            options.tls.key,
                                            options.refuseProtP ? "1" : "",
                                            options.cutTlsData ? std::to_string(*options.cutTlsData) : "",
                                            options.announceSize ? "1" : ""};
        },
        banner, "Address already in use");
}

PyftpdlibServer::~PyftpdlibServer() = default;

bool PyftpdlibServer::Started() const
{
    return process->started;
}
int PyftpdlibServer::Port() const
{
    return process->port;
}
pid_t PyftpdlibServer::Pid() const
{
    return process->pid;
}
std::string PyftpdlibServer::ServerLog() const
{
    return process->ServerLog();
}

bool VsftpdServer::Available(const VsftpdOptions& options)
{
    if (geteuid() != 0)
        return false;
    // The extra login is checked by PAM's "runuser" service, which lets any password through for a
    // root process; the name itself must exist.
    return !options.chmodLogin || (access("/etc/pam.d/runuser", R_OK) == 0 && UserExists(kVsftpdChmodUser));
}

VsftpdServer::VsftpdServer(const std::string& root, const VsftpdOptions& options)
    : process(std::make_unique<RealServerProcess>("vsftpd", options.place))
{
    if (process->directory.empty())
        return;
    if (!Available(options)) {
        process->Note(std::string("vsftpd cannot run here (needs root")
                      + (options.chmodLogin ? ", /etc/pam.d/runuser and the user \"nobody\")" : ")"));
        return;
    }
    if (access(kVsftpd, X_OK) != 0) {
        process->Note(ErrnoText(std::string(kVsftpd) + " (tools/unpack-servers puts it there)"));
        return;
    }
    const std::string absoluteRoot = AbsolutePath(root);
    // One setting a line: a line break in the path would smuggle in settings of its own.
    if (absoluteRoot.empty() || absoluteRoot.find_first_of("\r\n") != std::string::npos) {
        process->Note("no usable root (empty, or a line break in its path): \"" + root + "\"");
        return;
    }
    // vsftpd's unprivileged helper chroots here: empty, owned by root, not writable by anyone else.
    const std::string empty = process->File("empty");
    if (mkdir(empty.c_str(), 0755) != 0) {
        process->Note(ErrnoText("mkdir " + empty));
        return;
    }
    const std::string banner = UniqueBanner();
    const std::string config = process->File("vsftpd.conf");
    process->Start(
        [&](int port) -> std::vector<std::string> {
            std::ofstream out(config, std::ios::trunc);
            if (options.place.address.find(':') == std::string::npos)
                out << "listen=YES\nlisten_ipv6=NO\nlisten_address=" << options.place.address;
            else
                out << "listen=NO\nlisten_ipv6=YES\nlisten_address6=" << options.place.address;
            out << "\nlisten_port=" << port << "\nbackground=NO\nftpd_banner=" << banner
                << "\nanonymous_enable=YES\nftp_username=" << kVsftpdUser << "\nnopriv_user=" << kVsftpdNoPrivilegeUser
                << "\nanon_root=" << absoluteRoot
                << "\nwrite_enable=YES\nanon_upload_enable=YES\nanon_mkdir_write_enable=YES"
                   "\nanon_other_write_enable=YES\nanon_umask=022\nallow_writeable_chroot=YES"
                   "\nsecure_chroot_dir="
                << empty
                << "\nport_enable=YES\nconnect_from_port_20=NO\nseccomp_sandbox=NO\nisolate=NO\nisolate_network=NO"
                   "\nsyslog_enable=NO\ndelay_failed_login=0\n";
            if (options.tls.certificate.empty())
                out << "xferlog_enable=NO\n";
            if (options.maxPerIp > 0)
                out << "max_per_ip=" << options.maxPerIp << "\n";
            if (options.maxRate > 0)
                out << "anon_max_rate=" << options.maxRate << "\n";
            if (!options.tls.certificate.empty()) {
                // Everything in TLS, and data connections only in the control connection's TLS
                // session, as most hosting servers demand; an upload counts only when it ends with
                // the TLS close. Commands are logged, so tests can see what the server received.
                out << "ssl_enable=YES\nrsa_cert_file=" << options.tls.certificate
                    << "\nrsa_private_key_file=" << options.tls.key
                    << "\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\nforce_anon_data_ssl=YES"
                       "\nforce_local_logins_ssl=YES\nforce_local_data_ssl=YES\nrequire_ssl_reuse=YES"
                       "\nstrict_ssl_read_eof=YES"
                       "\nxferlog_enable=YES\nlog_ftp_protocol=YES\nvsftpd_log_file="
                    << process->File("protocol.log") << "\n";
                if (options.implicitTls)
                    out << "implicit_ssl=YES\n";
            }
            if (options.chmodLogin)
                out << "local_enable=YES\nguest_enable=YES\nguest_username=" << kVsftpdUser
                    << "\nvirtual_use_local_privs=YES\nchroot_local_user=YES\nlocal_root=" << absoluteRoot
                    << "\npam_service_name=runuser\nchmod_enable=YES\nlocal_umask=022\n";
            else
                out << "local_enable=NO\n";
            out.close();
            if (!out) {
                process->Note("could not write " + config);
                return {};
            }
            return {kVsftpd, config};
        },
        banner, "could not bind listening", options.implicitTls);
}

VsftpdServer::~VsftpdServer() = default;

PureFtpdServer::PureFtpdServer(const std::string& root, const std::string& user, const std::string& password,
                               int maxPerAddress, const std::string& timeZone)
    : process(std::make_unique<RealServerProcess>("pure-ftpd", ServerPlace{}))
{
    if (process->directory.empty())
        return;
    if (geteuid() != 0 || access(kPureFtpd, X_OK) != 0) {
        process->Note(ErrnoText(std::string(kPureFtpd) + " (runs as root; tools/unpack-servers puts it there)"));
        return;
    }
    // The banner is the one "fortune" the greeting shows. The user goes into a database of the
    // server's own, made by the shell that then becomes the server.
    const std::string banner = UniqueBanner();
    const std::string fortunes = process->File("banner");
    std::ofstream(fortunes) << banner << "\n";
    const std::string database = process->File("users.pdb");
    // A SHA-512 crypt hash: the argon2 that pure-pw makes costs every login four seconds here.
    const std::string script = "printf '%s:%s:%s:%s::%s/./::::::::::::\\n' \"$1\" \"$(openssl passwd -6 \"$2\")\" "
                               "\"$(id -u \"$3\")\" \"$(id -g \"$3\")\" \"$4\" > \"$5\" && "
                               "\"$7\" mkdb \"$6\" -f \"$5\" && shift 7 && exec \"$0\" \"$@\"";
    process->Start(
        [&](int port) -> std::vector<std::string> {
            std::vector<std::string> argv = {"/bin/sh",
                                             "-c",
                                             script,
                                             kPureFtpd,
                                             user,
                                             password,
                                             kVsftpdUser,
                                             AbsolutePath(root),
                                             process->File("users"),
                                             database,
                                             kPurePw,
                                             "-S",
                                             "127.0.0.1," + std::to_string(port),
                                             "-E",
                                             "-H",
                                             "-u",
                                             "1",
                                             "-l",
                                             "puredb:" + database,
                                             "-F",
                                             fortunes};
            if (maxPerAddress > 0)
                argv.insert(argv.end(), {"-C", std::to_string(maxPerAddress)});
            if (!timeZone.empty())
                argv.insert(argv.begin(), {"/usr/bin/env", "TZ=" + timeZone});
            return argv;
        },
        banner, "Address already in use");
}

PureFtpdServer::~PureFtpdServer() = default;

bool PureFtpdServer::Started() const
{
    return process->started;
}

int PureFtpdServer::Port() const
{
    return process->port;
}

std::string PureFtpdServer::ServerLog() const
{
    return process->ServerLog();
}

std::string VsftpdServer::ProtocolLog() const
{
    return ReadWholeFile(process->File("protocol.log"));
}

bool VsftpdServer::Started() const
{
    return process->started;
}
int VsftpdServer::Port() const
{
    return process->port;
}
pid_t VsftpdServer::Pid() const
{
    return process->pid;
}
std::string VsftpdServer::ServerLog() const
{
    return process->ServerLog();
}

SshdServer::SshdServer(const std::string& root, const std::string& authorizedKeys)
    : process(std::make_unique<RealServerProcess>("sshd", ServerPlace{}))
{
    if (process->directory.empty())
        return;
    if (access(kSshd, X_OK) != 0) {
        process->Note(ErrnoText(std::string(kSshd) + " (tools/unpack-servers puts it there)"));
        return;
    }
    const bool root_ = getuid() == 0;
    const passwd* account = root_ ? getpwnam("nobody") : getpwuid(getuid());
    if (!account) {
        process->Note("no account to log in as");
        return;
    }
    user = account->pw_name;
    const uid_t uid = account->pw_uid;
    const gid_t gid = account->pw_gid;
    const std::string absoluteRoot = AbsolutePath(root);
    const std::string hostKey = process->File("host_key");
    const std::string keys = process->File("authorized_keys");
    std::ofstream(keys) << authorizedKeys;
    if (std::system(("ssh-keygen -q -t ed25519 -N '' -C test-host -f " + hostKey).c_str()) != 0) {
        process->Note("ssh-keygen could not make the host key");
        return;
    }
    fingerprint = KeyFingerprint(hostKey + ".pub");
    hostKeyLine = ReadWholeFile(hostKey + ".pub");
    // The server reads its files, and the login writes into `root`, as the account it runs as.
    for (const std::string& path : {process->directory, hostKey, hostKey + ".pub", keys})
        [[maybe_unused]] const int owned = chown(path.c_str(), uid, gid);
    [[maybe_unused]] const int rootOwned = chown(absoluteRoot.c_str(), uid, gid);
    const std::string banner = UniqueBanner().substr(std::string("Tessaline test server ").size());
    const std::string config = process->File("sshd_config");
    process->sshGreeting = true;
    process->Start(
        [&](int port) -> std::vector<std::string> {
            std::ofstream(config, std::ios::trunc)
                << "Port " << port << "\nListenAddress 127.0.0.1\nHostKey " << hostKey << "\nPidFile "
                << process->File("sshd.pid") << "\nAuthorizedKeysFile " << keys
                << "\nUsePAM yes\nStrictModes no\nKbdInteractiveAuthentication no\nVersionAddendum " << banner
                << "\nSubsystem sftp internal-sftp -d " << absoluteRoot << "\n";
            std::vector<std::string> argv;
            // sshd as root wants a privilege-separation user that an unpacked server lacks;
            // unprivileged it logs in only the account it runs as.
            if (root_)
                argv = {"/usr/bin/setpriv", "--reuid=" + std::to_string(uid), "--regid=" + std::to_string(gid),
                        "--clear-groups"};
            argv.insert(argv.end(), {kSshd, "-D", "-e", "-f", config});
            return argv;
        },
        banner, "Address already in use");
}

SshdServer::~SshdServer() = default;

bool SshdServer::Started() const
{
    return process->started;
}
int SshdServer::Port() const
{
    return process->port;
}
std::string SshdServer::ServerLog() const
{
    return process->ServerLog();
}

ProftpdSftpServer::ProftpdSftpServer(const std::string& root, const std::string& user, const std::string& password,
                                     const std::string& method)
    : process(std::make_unique<RealServerProcess>("proftpd", ServerPlace{}))
{
    if (process->directory.empty())
        return;
    const std::string sftpModule = std::string(kProftpdModules) + "/mod_sftp.so";
    if (geteuid() != 0 || access(kProftpd, X_OK) != 0 || access(sftpModule.c_str(), R_OK) != 0) {
        process->Note(ErrnoText(std::string(kProftpd) + " with " + sftpModule
                                + " (runs as root; tools/unpack-servers puts them there)"));
        return;
    }
    const passwd* account = getpwnam(kVsftpdUser);
    if (!account) {
        process->Note(std::string("no account ") + kVsftpdUser);
        return;
    }
    const std::string absoluteRoot = AbsolutePath(root);
    [[maybe_unused]] const int rootOwned = chown(absoluteRoot.c_str(), account->pw_uid, account->pw_gid);
    const std::string hostKey = process->File("host_key");
    if (std::system(("ssh-keygen -q -t rsa -b 2048 -m PEM -N '' -C test-host -f " + hostKey).c_str()) != 0) {
        process->Note("ssh-keygen could not make the host key");
        return;
    }
    fingerprint = KeyFingerprint(hostKey + ".pub");
    // PAM's keyboard-interactive login: the password's prompt goes to the client, and a script
    // compares the answer with the password's file.
    const std::string pamDirectory = process->File("pam.d");
    const std::string check = process->File("check-password");
    mkdir(pamDirectory.c_str(), 0755);
    std::ofstream(check + ".password") << password;
    std::ofstream(check) << "#!/bin/sh\n[ \"$(tr -d '\\000')\" = \"$(cat \"$0.password\")\" ]\n";
    chmod(check.c_str(), 0700);
    std::ofstream(pamDirectory + "/tessaline-test") << "auth required pam_exec.so expose_authtok quiet " << check
                                                    << "\nauth optional pam_permit.so\naccount required pam_permit.so"
                                                       "\nsession required pam_permit.so\n";
    const std::string users = process->File("users");
    const std::string groups = process->File("groups");
    std::ofstream(groups) << "tessaline:x:" << account->pw_gid << ":\n";
    // The user file takes a crypt hash, which the shell makes before it becomes the server.
    const std::string script =
        "umask 077 && printf '%s:%s:%s:%s::%s:/bin/false\\n' \"$1\" \"$(openssl passwd -6 \"$2\")\" "
        "\"$3\" \"$4\" \"$5\" > \"$6\" && mount --bind \"$7\" /etc/pam.d && shift 7 && exec \"$0\" \"$@\"";
    const std::string banner = UniqueBanner().substr(std::string("Tessaline test server ").size());
    const std::string config = process->File("proftpd.conf");
    process->sshGreeting = true;
    process->Start(
        [&](int port) -> std::vector<std::string> {
            // PAM must be on for mod_sftp_pam to offer keyboard-interactive; AuthOrder keeps it
            // away from password logins.
            std::ofstream(config, std::ios::trunc)
                << "ServerType standalone\nDefaultAddress 127.0.0.1\nSocketBindTight on\nUseIPv6 off\nPort " << port
                << "\nUser " << kVsftpdNoPrivilegeUser << "\nGroup nogroup\nPidFile " << process->File("proftpd.pid")
                << "\nScoreboardFile " << process->File("scoreboard")
                << "\nDelayTable none\nWtmpLog off\nTransferLog none\nServerIdent on \"mod_sftp " << banner
                << "\"\nAuthPAM on\nAuthOrder mod_auth_file.c\nAuthUserFile " << users << "\nAuthGroupFile " << groups
                << "\nRequireValidShell off\nModulePath " << kProftpdModules
                << "\nLoadModule mod_sftp.c\nLoadModule mod_sftp_pam.c\nSFTPEngine on\nSFTPHostKey " << hostKey
                << "\nSFTPAuthMethods " << method << "\nSFTPPAMServiceName tessaline-test\n";
            return {"/usr/bin/unshare",
                    "--mount",
                    "--propagation",
                    "private",
                    "/bin/sh",
                    "-c",
                    script,
                    kProftpd,
                    user,
                    password,
                    std::to_string(account->pw_uid),
                    std::to_string(account->pw_gid),
                    absoluteRoot,
                    users,
                    pamDirectory,
                    "-n",
                    "-c",
                    config};
        },
        banner, "Address already in use");
}

ProftpdSftpServer::~ProftpdSftpServer() = default;

bool ProftpdSftpServer::Started() const
{
    return process->started;
}
int ProftpdSftpServer::Port() const
{
    return process->port;
}
std::string ProftpdSftpServer::ServerLog() const
{
    return process->ServerLog();
}
