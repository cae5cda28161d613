// SPDX-License-Identifier: GPL-3.0-or-later
// Connecting and logging in, directly or through a proxy firewall in one of its login styles.

#include "ftp/ftp_session.h"
#include "ftp/host_port.h"
#include "ftp/internal/protocol_rules.h"
#include "ftp/internal/socket_address.h"
#include "ftp/internal/tls_stream.h"
#include "ftp/socket_errors.h"
#include "ftp/trusted_certificates.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"

#include <cerrno>
#include <sys/socket.h>

namespace {

// These styles name the site to the proxy without logging in to the proxy first.
bool NamesSiteWithoutProxyLogin(int style)
{
    return style == kFirewallUserAtHost || style == kFirewallOpenHost;
}

}  // namespace

void CFtpSession::SetFirewall(int enabled, int style, int port, const std::string& host,
                              const std::string& user, const std::string& password)
{
    firewallEnabled = enabled;
    firewallStyle = style;
    firewallPort = port;
    firewallHost = host;
    firewallUser = user;
    firewallPassword = password;
}

int CFtpSession::Connect()
{
    if (connected) {
        LogMessage("Trying to connect when already connected.");
        return kConnectFailed;
    }
    interrupted = 0;
    lostReason.clear();
    refusal.clear();
    connectFailure = ConnectFailure::None;
    connectError.clear();
    if (cancelRequested)
        interrupted = 1;  // the user cancelled before the connect began
    const std::string remoteHost = hostName;
    std::string connectHost = hostName;
    if (firewallEnabled) {
        if (firewallHost.empty()) {
            LogMessage("FireWall Host must be entered in the FireWall dialog before connection can be established.");
            return kConnectFailed;
        }
        connectHost = firewallHost;
    }

    crEndsLine = 0;
    typeInForce = '\0';
    automaticPath = DataPath::Undecided;
    extendedPassiveRefused = false;
    ++commandDepth;
    protectData = false;
    // A new control connection has a TLS session of its own.
    tls.reset();
    controlSocket = ConnectTcp(connectHost, encryption == kTlsImplicit ? "ftps" : "ftp", "tcp");
    if (controlSocket == -1) {
        LogMessage("Connection to %s failed", {connectHost});
        --commandDepth;
        return FailConnect();
    }

    socklen_t size = sizeof localAddress;
    if (::getsockname(controlSocket, reinterpret_cast<sockaddr*>(&localAddress), &size) != 0) {
        LogSocketError("getsockname", SocketErrorNumber(errno));
        --commandDepth;
        return FailConnect();
    }
    LogMessage("[%u] from %s port %u", {controlSocket, AddressText(localAddress), PortOf(localAddress)});
    // TLS with the host the control connection reaches: the site, or the proxy firewall.
    const std::string tlsName = SplitHostPort(connectHost).host;
    if (encryption == kTlsImplicit && !StartControlTls(tlsName)) {
        --commandDepth;
        return FailConnect();
    }

    // 1xx greetings ("service ready in n minutes") are waited out. Servers that announce "(EXOS"
    // end their lines with a carriage return alone.
    int result = kNoValidCode;
    do {
        result = ReadReply();
        if (replyBuffer.find("(EXOS") != std::string::npos)
            crEndsLine = 1;
    } while (result == kPreliminary);
    if (result != kCompletion) {
        LogMessage("Unknown open msg \"%s\" %u", {replyBuffer, replyCode});
        --commandDepth;
        return FailConnect();
    }

    const int on = 1;
    if (::setsockopt(controlSocket, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on) != 0)
        LogSocketError("setsockopt", SocketErrorNumber(errno));
    --commandDepth;
    firewallDirect = NamesSiteWithoutProxyLogin(firewallStyle) ? 1 : 0;
    if ((encryption == kTlsIfAvailable || encryption == kTlsRequired) && !NegotiateTls(tlsName))
        return FailConnect();

    if (firewallEnabled && !firewallDirect) {
        result = Command("USER %s", {firewallUser});
        if (result == kIntermediate)  // 331: the proxy wants its password
            result = Command("PASS %s", {firewallPassword});
        if (result != kCompletion) {
            LogMessage("Failed to login to Firewall Host %s", {firewallHost});
            return FailLogin();
        }
        result = Command("site %s", {remoteHost});
        if (result == kPermanentNegative) {
            LogMessage("Could not connect to %s through FireWall", {remoteHost});
            return FailConnect();
        }
        connected = 1;
    }

    if (firewallEnabled) {
        switch (firewallStyle) {
        case kFirewallSiteCommand: result = Command("SITE %s", {remoteHost}); break;
        case kFirewallUserAtHost:
        case kFirewallProxyUserAtHost: result = Command("USER %s@%s", {userName, remoteHost}); break;
        case kFirewallOpenHost: result = Command("OPEN %s", {remoteHost}); break;
        default: break;  // kFirewallProxySite: the proxy's answer to "site" stands
        }
    } else {
        result = Command("USER %s", {userName});
    }
    if (result == kIntermediate)  // 331: password needed; a 230 to USER logs in without one
        result = Command("PASS %s", {password});
    if (result != kCompletion) {
        LogMessage("Logon to remote host failed: %s", {remoteHost});
        return FailLogin();
    }
    connected = 1;
    if (!ProtectDataConnections())
        return FailConnect();
    QuerySystemType();
    return controlSocket;
}

// AUTH TLS, then the handshake. False: the connection is to be closed, and nothing else is sent.
bool CFtpSession::NegotiateTls(const std::string& host)
{
    const int result = Command("AUTH TLS");
    if (result == kCompletion)  // 234: the server waits for our TLS handshake
        return StartControlTls(host);
    if (interrupted || replyCode == kServiceClosing)
        return false;
    if (encryption == kTlsIfAvailable)
        return PlainLoginAllowed(ServerKey(host, PortOf(serverAddress)));
    LogMessage("The server does not offer TLS, which this site requires; nothing more is sent.");
    return false;
}

int CFtpSession::FailLogin()
{
    // A server's answer to the login refused it; a broken or timed-out connection is no refusal.
    if (!interrupted)
        connectFailure = ConnectFailure::LoginRefused;
    return FailConnect();
}

int CFtpSession::FailConnect()
{
    if (connectFailure == ConnectFailure::None)
        connectFailure = ConnectFailure::Other;
    controlSocket = CloseSocket(controlSocket);
    connected = 0;
    return kConnectFailed;
}
