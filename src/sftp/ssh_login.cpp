// SPDX-License-Identifier: GPL-3.0-or-later
// The login: the SSH agent, the user's key files, keyboard-interactive, then the password. Neither
// a password nor a passphrase ever reaches the log.

#include "remote/operation_host.h"
#include "remote/session_log.h"
#include "sftp/sftp_steps.h"

#include <array>
#include <cstdlib>
#include <libssh/libssh.h>
#include <sys/stat.h>

namespace {

// The key files OpenSSH's client tries when the config names none, in its order.
constexpr std::array kDefaultKeys = {"id_ed25519", "id_ecdsa", "id_rsa"};
// Wrong passphrases accepted before a key is given up, as ssh does.
constexpr int kPassphraseTries = 3;
// Rounds of keyboard-interactive questions before it is given up: a server that asks forever.
constexpr int kInteractiveRounds = 8;

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string MethodNames(int methods)
{
    std::string names;
    const auto add = [&names](const char* name) { names += names.empty() ? name : std::string(", ") + name; };
    if (methods & SSH_AUTH_METHOD_PUBLICKEY)
        add("publickey");
    if (methods & SSH_AUTH_METHOD_INTERACTIVE)
        add("keyboard-interactive");
    if (methods & SSH_AUTH_METHOD_PASSWORD)
        add("password");
    if (methods & SSH_AUTH_METHOD_HOSTBASED)
        add("hostbased");
    if (methods & SSH_AUTH_METHOD_GSSAPI_MIC)
        add("gssapi-with-mic");
    return names.empty() ? std::string("none") : names;
}

// The key files to try: the one ~/.ssh/config names for the host (libssh keeps the latest
// IdentityFile first), then OpenSSH's defaults.
std::vector<std::string> KeyFiles(ssh_session ssh, const std::string& sshDirectory)
{
    std::vector<std::string> files;
    char* configured = nullptr;
    if (ssh_options_get(ssh, SSH_OPTIONS_IDENTITY, &configured) == SSH_OK && configured) {
        std::string file = configured;
        ssh_string_free_char(configured);
        if (file.starts_with("%d/"))
            file = sshDirectory + file.substr(2);
        else if (file.starts_with("~/"))
            file = sshDirectory.substr(0, sshDirectory.rfind('/')) + file.substr(1);
        files.push_back(file);
    }
    for (const char* name : kDefaultKeys) {
        const std::string file = sshDirectory + "/" + name;
        if (files.empty() || files.front() != file)
            files.push_back(file);
    }
    return files;
}

// The private key of `file`, with its passphrase asked for when it has one; nullptr when it
// cannot be read or the user gave none.
ssh_key LoadKey(SftpContext& context, const std::string& file)
{
    ssh_key key = nullptr;
    if (ssh_pki_import_privkey_file(file.c_str(), nullptr, nullptr, nullptr, &key) == SSH_OK)
        return key;
    std::string known;
    {
        std::lock_guard guard(context.memo->lock);
        if (const auto found = context.memo->passphrases.find(file); found != context.memo->passphrases.end())
            known = found->second;
    }
    if (!known.empty() && ssh_pki_import_privkey_file(file.c_str(), known.c_str(), nullptr, nullptr, &key) == SSH_OK)
        return key;
    for (int attempt = 0; attempt < kPassphraseTries && !context.cancelRequested; ++attempt) {
        const std::optional<std::string> passphrase =
            context.operations.host ? context.operations.host->AskPassphrase(file) : std::nullopt;
        if (!passphrase)
            break;
        if (ssh_pki_import_privkey_file(file.c_str(), passphrase->c_str(), nullptr, nullptr, &key) == SSH_OK) {
            std::lock_guard guard(context.memo->lock);
            context.memo->passphrases[file] = *passphrase;
            return key;
        }
        LogMessage("The passphrase of %s is not right.", {file});
    }
    return nullptr;
}

bool TryKeyFile(SftpContext& context, const std::string& file)
{
    if (!Exists(file))
        return false;
    // The public half tells whether the server would take the key before a passphrase is asked.
    ssh_key publicKey = nullptr;
    if (ssh_pki_import_pubkey_file((file + ".pub").c_str(), &publicKey) == SSH_OK) {
        const int offered = ssh_userauth_try_publickey(context.ssh, nullptr, publicKey);
        ssh_key_free(publicKey);
        if (offered != SSH_AUTH_SUCCESS) {
            LogMessage("The server does not take the key %s", {file});
            return false;
        }
    }
    ssh_key key = LoadKey(context, file);
    if (!key) {
        LogMessage("Could not read the key %s", {file});
        return false;
    }
    LogMessage("Trying the key %s (%s)", {file, ssh_key_type_to_char(ssh_key_type(key))});
    const int result = ssh_userauth_publickey(context.ssh, nullptr, key);
    ssh_key_free(key);
    return result == SSH_AUTH_SUCCESS;
}

bool TryInteractive(SftpContext& context)
{
    LogMessage("Trying keyboard-interactive login");
    int result = ssh_userauth_kbdint(context.ssh, nullptr, nullptr);
    for (int round = 0; result == SSH_AUTH_INFO && round < kInteractiveRounds; ++round) {
        const int prompts = ssh_userauth_kbdint_getnprompts(context.ssh);
        for (int i = 0; i < prompts; ++i) {
            char echo = 0;
            const char* prompt = ssh_userauth_kbdint_getprompt(context.ssh, static_cast<unsigned>(i), &echo);
            // A question shown as typed asks for no secret: the user name is what servers ask so.
            const std::string& answer = echo ? context.login.user : context.login.password;
            LogMessage("Server asks: %s", {prompt ? prompt : ""});
            ssh_userauth_kbdint_setanswer(context.ssh, static_cast<unsigned>(i), answer.c_str());
        }
        result = ssh_userauth_kbdint(context.ssh, nullptr, nullptr);
    }
    return result == SSH_AUTH_SUCCESS;
}

}  // namespace

bool LogIn(SftpContext& context)
{
    ssh_session ssh = context.ssh;
    char* user = nullptr;
    if (ssh_options_get(ssh, SSH_OPTIONS_USER, &user) == SSH_OK && user) {
        LogMessage("Logging in as %s", {user});
        ssh_string_free_char(user);
    }
    if (ssh_userauth_none(ssh, nullptr) == SSH_AUTH_SUCCESS)
        return true;
    const int methods = ssh_userauth_list(ssh, nullptr);
    bool done = false;
    if (methods & SSH_AUTH_METHOD_PUBLICKEY) {
        if (std::getenv("SSH_AUTH_SOCK")) {
            LogMessage("Trying the keys of the SSH agent");
            done = ssh_userauth_agent(ssh, nullptr) == SSH_AUTH_SUCCESS;
        }
        for (const std::string& file : KeyFiles(ssh, context.sshDirectory)) {
            if (done || context.cancelRequested)
                break;
            done = TryKeyFile(context, file);
        }
    }
    if (!done && !context.cancelRequested && (methods & SSH_AUTH_METHOD_INTERACTIVE) && !context.login.password.empty())
        done = TryInteractive(context);
    if (!done && !context.cancelRequested && (methods & SSH_AUTH_METHOD_PASSWORD) && !context.login.password.empty()) {
        LogMessage("Trying password login");
        done = ssh_userauth_password(ssh, nullptr, context.login.password.c_str()) == SSH_AUTH_SUCCESS;
    }
    if (done) {
        LogMessage("Logged in");
        return true;
    }
    if (context.cancelRequested) {
        context.Close();
        return false;
    }
    context.failure.connectFailure = ConnectFailure::LoginRefused;
    // What the server offers stands where an FTP server's refusal stands, for the command line's
    // one line on a refused login.
    context.failure.reply = FormatText(
        "it offers: %s%s",
        {MethodNames(methods),
         context.login.password.empty() && (methods & (SSH_AUTH_METHOD_PASSWORD | SSH_AUTH_METHOD_INTERACTIVE))
             ? " (no password was given)"
             : ""});
    context.failure.refusal = "The server refused the login; " + context.failure.reply;
    LogMessage("%s", {context.failure.refusal});
    context.Close();
    return false;
}
