// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/test_certificates.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace {

constexpr char kOpenssl[] = "/usr/bin/openssl";

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TestCertificates::TestCertificates(std::string directory)
    : directory(std::move(directory))
    , authority(this->directory + "/authority.pem")
    , authorityKey(this->directory + "/authority.key")
    , serverKey(this->directory + "/server.key")
{
    Openssl("authority",
            {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=Tessaline Test Authority",
             "-keyout", authorityKey, "-out", authority});
    // One key for every server certificate: making an RSA key takes most of a certificate's time.
    Openssl("server key", {"genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out", serverKey});
}

CertificateFiles TestCertificates::SelfSigned(const std::string& name)
{
    CertificateFiles files{directory + "/" + name + ".pem", serverKey, {}};
    if (Openssl(name,
                {"req", "-x509", "-key", serverKey, "-days", "2", "-subj", "/CN=localhost", "-addext",
                 "subjectAltName=DNS:localhost,IP:127.0.0.1", "-out", files.certificate}))
        files.fingerprint = Fingerprint(files.certificate);
    return files;
}

CertificateFiles TestCertificates::Issued(const std::string& name, const std::string& subjectAltName)
{
    CertificateFiles files{directory + "/" + name + ".pem", serverKey, {}};
    const std::string request = directory + "/" + name + ".csr";
    const std::string extensions = directory + "/" + name + ".ext";
    std::ofstream(extensions) << (subjectAltName.empty() ? "" : "subjectAltName=" + subjectAltName + "\n")
                              << "basicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n";
    if (Openssl(name, {"req", "-new", "-key", serverKey, "-subj", "/CN=" + name, "-out", request})
        && Openssl(name,
                   {"x509", "-req", "-in", request, "-CA", authority, "-CAkey", authorityKey, "-CAcreateserial",
                    "-days", "2", "-extfile", extensions, "-out", files.certificate}))
        files.fingerprint = Fingerprint(files.certificate);
    return files;
}

bool TestCertificates::Openssl(const std::string& step, const std::vector<std::string>& args)
{
    const std::string output = directory + "/openssl.out";
    std::vector<char*> argv{const_cast<char*>(kOpenssl)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::execv(kOpenssl, argv.data());
        ::_exit(127);
    }
    ::close(out);
    int status = -1;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0) {
    }
    if (pid > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return true;
    failures += "openssl (" + step + ") failed: " + ReadText(output) + "\n";
    return false;
}

std::string TestCertificates::Fingerprint(const std::string& certificate)
{
    if (!Openssl("fingerprint", {"x509", "-in", certificate, "-noout", "-fingerprint", "-sha256"}))
        return {};
    // "sha256 Fingerprint=AB:CD:..."
    std::string text = ReadText(directory + "/openssl.out");
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos)
        return {};
    text = text.substr(equals + 1);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return "SHA256:" + text;
}
