// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Real FTP servers from Debian (pyftpdlib, vsftpd) for integration tests, on 127.0.0.1 unless told
// otherwise (::1, or an address inside a network namespace). Each one runs as a child process on a
// free port, greets with a banner unique to it, and is stopped together with every process it
// started when the object goes. The server is also killed when the thread that
// constructed it ends, so that a crashed test leaves none behind: construct and destroy servers on
// the same long-lived thread (a test body is fine).

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

// A port on 127.0.0.1 that nothing listens on right now; -1 when none could be had.
int FreeTcpPort();

class RealServerProcess;

// Where a server listens.
struct ServerPlace final {
    std::string address = "127.0.0.1";  // "::1" for IPv6
    std::string netns;                  // an `ip netns` namespace (see network_namespaces.h); empty: ours
};

// The certificate and key files of a TLS server (test_certificates.h); none: plain FTP.
struct ServerTls final {
    std::string certificate;
    std::string key;
};

struct PyftpdlibOptions final {
    // pyftpdlib permission letters for "anonymous" (any password) in the same root; empty = no
    // anonymous login at all.
    std::string anonymousPermissions = "elr";
    ServerPlace place{};
    // TLS required on the control and data connections (TLS_FTPHandler).
    ServerTls tls{};
    bool refuseProtP = false;  // with tls: PROT is refused, and data connections stay plain
    // With tls: every data connection ends after this many bytes without the TLS close, and the
    // transfer is answered 226 as if complete.
    std::optional<std::size_t> cutTlsData{};
    bool announceSize = false;  // RETR's preliminary reply names the size: "150 ... (N bytes)"
};

// pyftpdlib (/usr/bin/python3) serving `root` to `user`/`password` with every permission
// (elradfmwMT: SITE CHMOD included) and to "anonymous" per `options`. `user` must not be
// "anonymous". Failed logins answer at once.
class PyftpdlibServer final {
public:
    PyftpdlibServer(const std::string& root, const std::string& user, const std::string& password,
                    const PyftpdlibOptions& options = {});
    ~PyftpdlibServer();
    PyftpdlibServer(const PyftpdlibServer&) = delete;
    PyftpdlibServer& operator=(const PyftpdlibServer&) = delete;

    bool Started() const;  // greeted us on Port() within about ten seconds
    int Port() const;
    pid_t Pid() const;              // the server process; -1 when there is none
    std::string ServerLog() const;  // what it printed, with our own notes on why it did not start

private:
    std::unique_ptr<RealServerProcess> process;
};

// The system user every vsftpd login acts as. The server is unpacked from its package, not
// installed, so the "ftp" user its installation would add is not there; vsftpd changes into the
// user's home directory at every login, which for "nobody" does not exist. Every Debian system has
// "daemon", whose home is /usr/sbin, and no file of its own.
inline constexpr char kVsftpdUser[] = "daemon";

struct VsftpdOptions final {
    // Also accept any login name that exists in the passwd database (other than "ftp" and
    // "anonymous"; kVsftpdChmodUser always does) with any password, as kVsftpdUser, in the same
    // root, with SITE CHMOD. vsftpd never allows SITE CHMOD to anonymous logins.
    bool chmodLogin = false;
    ServerPlace place{};
    // TLS required for logins and data of every user, data connections only in the control
    // connection's TLS session (require_ssl_reuse), uploads ended by the TLS close
    // (strict_ssl_read_eof); commands are logged (ProtocolLog).
    ServerTls tls{};
    bool implicitTls = false;  // with tls: TLS from the first byte
    int maxPerIp = 0;          // control connections from one address at once (max_per_ip); 0: any
    int maxRate = 0;           // bytes per second of each transfer (anon_max_rate); 0: no limit
};

inline constexpr char kVsftpdChmodUser[] = "nobody";

// pure-ftpd (runs only as root) serving `root` to the virtual user `user`/`password` alone, who
// acts as kVsftpdUser (so `root` must be writable by it for uploads), taking at most
// `maxPerAddress` control connections from one address at once (-C; 0: any), its clock in the zone
// `timeZone` (TZ; empty: the tests' own).
class PureFtpdServer final {
public:
    PureFtpdServer(const std::string& root, const std::string& user, const std::string& password, int maxPerAddress,
                   const std::string& timeZone = {});
    ~PureFtpdServer();
    PureFtpdServer(const PureFtpdServer&) = delete;
    PureFtpdServer& operator=(const PureFtpdServer&) = delete;

    bool Started() const;
    int Port() const;
    std::string ServerLog() const;

private:
    std::unique_ptr<RealServerProcess> process;
};

// vsftpd (runs only as root) serving `root` to "anonymous" with any password: the program that
// tools/unpack-servers unpacks into test-servers/ (a missing one fails the start, saying so). Logins
// act as kVsftpdUser, so `root` must be readable and searchable by it (mkdtemp's 0700 is not). They
// may write wherever kVsftpdUser may; what they upload belongs to it, mode 0644. vsftpd refuses
// anonymous logins outright ("500 OOPS: vsftpd: refusing to run with writable root inside chroot()")
// when `root` itself is writable by kVsftpdUser: anonymous uploads go into subdirectories made
// writable by it. The chmodLogin login has no such limit.
class VsftpdServer final {
public:
    explicit VsftpdServer(const std::string& root, const VsftpdOptions& options = {});
    ~VsftpdServer();
    VsftpdServer(const VsftpdServer&) = delete;
    VsftpdServer& operator=(const VsftpdServer&) = delete;

    // Whether a server with these options can run on this machine at all (tests skip when not).
    static bool Available(const VsftpdOptions& options = {});

    bool Started() const;
    int Port() const;
    pid_t Pid() const;
    std::string ServerLog() const;
    // With tls: every command and reply as the server saw it, decrypted.
    std::string ProtocolLog() const;

private:
    std::unique_ptr<RealServerProcess> process;
};

// OpenSSH's sshd (tools/unpack-servers puts it into test-servers/) serving SFTP in-process with
// `root` as the start directory, taking the keys of `authorizedKeys` (an authorized_keys file's
// text). As root it runs as "nobody" (sshd as root needs a privilege-separation user that an
// unpacked server lacks), else as the user the tests run as; User() is the login either way, and
// `root` is made theirs. Its host key is a new ed25519 key.
class SshdServer final {
public:
    SshdServer(const std::string& root, const std::string& authorizedKeys);
    ~SshdServer();
    SshdServer(const SshdServer&) = delete;
    SshdServer& operator=(const SshdServer&) = delete;

    bool Started() const;
    int Port() const;
    std::string ServerLog() const;
    const std::string& User() const { return user; }
    const std::string& HostKeyFingerprint() const { return fingerprint; }  // "SHA256:..." as ssh-keygen -l shows it
    const std::string& HostKeyLine() const { return hostKeyLine; }         // "ssh-ed25519 AAAA... test-host"

private:
    std::unique_ptr<RealServerProcess> process;
    std::string user;
    std::string fingerprint;
    std::string hostKeyLine;
};

// proftpd's mod_sftp (runs only as root; tools/unpack-servers puts it into test-servers/) serving
// `root` over SFTP to the virtual user `user`/`password` alone, with no system account: logins act
// as kVsftpdUser, who is given `root`. `method` is the one login method offered: "password"
// (checked against a user file of the server's own) or "keyboard-interactive" (PAM asks for the
// password; the server runs in a mount namespace of its own in which /etc/pam.d is the server's
// directory, so nothing of the system's PAM is read or changed). Its host key is a new RSA key.
class ProftpdSftpServer final {
public:
    ProftpdSftpServer(const std::string& root, const std::string& user, const std::string& password,
                      const std::string& method);
    ~ProftpdSftpServer();
    ProftpdSftpServer(const ProftpdSftpServer&) = delete;
    ProftpdSftpServer& operator=(const ProftpdSftpServer&) = delete;

    bool Started() const;
    int Port() const;
    std::string ServerLog() const;
    const std::string& HostKeyFingerprint() const { return fingerprint; }

private:
    std::unique_ptr<RealServerProcess> process;
    std::string fingerprint;
};
