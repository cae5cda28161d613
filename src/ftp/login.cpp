// SPDX-License-Identifier: GPL-3.0-or-later
// Connecting and logging in, directly or through a proxy firewall in one of its login styles.

#include "ftp/ftp_session.h"
#include "ftp/host_port.h"
#include "ftp/internal/control_connection.h"
#include "ftp/internal/data_connection.h"
#include "ftp/internal/session_context.h"
#include "ftp/internal/session_steps.h"
#include "ftp/internal/socket_address.h"
#include "ftp/internal/tls_stream.h"
#include "ftp/socket_errors.h"
#include "remote/exchange_result.h"
#include "remote/session_log.h"

#include <cerrno>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace {

// A router or firewall between forgets a connection that stays silent for minutes, as the control
// connection does during a long transfer: probes after a minute of silence keep it known, and
// tell a peer that has gone within two minutes more.
constexpr int kKeepAliveIdleSeconds = 60;
constexpr int kKeepAliveIntervalSeconds = 30;
constexpr int kKeepAliveProbes = 4;

// A connection without keep-alive still works: failures are not worth a line in the log.
void KeepAlive(int socket)
{
    const int on = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepAliveIdleSeconds, sizeof kKeepAliveIdleSeconds);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepAliveIntervalSeconds, sizeof kKeepAliveIntervalSeconds);
    ::setsockopt(socket, IPPROTO_TCP, TCP_KEEPCNT, &kKeepAliveProbes, sizeof kKeepAliveProbes);
}

// These styles name the site to the proxy without logging in to the proxy first.
bool NamesSiteWithoutProxyLogin(int style)
{
    return style == kFirewallUserAtHost || style == kFirewallOpenHost;
}

int FailConnect(CFtpSession& session)
{
    if (session.connectFailure == ConnectFailure::None)
        session.connectFailure = ConnectFailure::Other;
    session.control->Close();
    session.connected = 0;
    return kConnectFailed;
}

// FailConnect after the server refused the login.
int FailLogin(CFtpSession& session)
{
    // A server's answer to the login refused it; a broken or timed-out connection is no refusal.
    if (!session.interrupted)
        session.connectFailure = ConnectFailure::LoginRefused;
    return FailConnect(session);
}

}  // namespace

void CFtpSession::SetFirewall(int enabled, int style, int port, const std::string& host, const std::string& user,
                              const std::string& password)
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
    ControlConnection& control = *this->control;
    control.lostReason.clear();
    refusal.clear();
    connectFailure = ConnectFailure::None;
    connectError.clear();
    if (context->cancelRequested)
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

    control.crEndsLine = 0;
    control.typeInForce = '\0';
    features = {};
    data->ForgetModes();
    ++commandDepth;
    data->protect = false;
    // A cancelled operation leaves its connection open but no longer logged in; the server's
    // session on it ends before a new one begins.
    control.Close();
    // A new control connection has a TLS session of its own.
    control.tlsContext.reset();
    control.socket = control.ConnectTcp(connectHost, encryption == kTlsImplicit ? "ftps" : "ftp", "tcp",
                                        firewallEnabled ? firewallPort : 0);
    if (control.socket == -1) {
        if (control.unreached == ControlConnection::Unreached::HostNotFound) {
            connectFailure = ConnectFailure::HostNotFound;
        } else if (control.unreached == ControlConnection::Unreached::NoAnswer) {
            connectFailure = ConnectFailure::NotReached;
            connectError = control.unreachedError;
        }
        LogMessage("Connection to %s failed", {connectHost});
        --commandDepth;
        return FailConnect(*this);
    }

    socklen_t size = sizeof control.localAddress;
    if (::getsockname(control.socket, reinterpret_cast<sockaddr*>(&control.localAddress), &size) != 0) {
        LogSocketError("getsockname", SocketErrorNumber(errno));
        --commandDepth;
        return FailConnect(*this);
    }
    LogMessage("[%u] from %s port %u",
               {control.socket, AddressText(control.localAddress), PortOf(control.localAddress)});
    // TLS with the host the control connection reaches: the site, or the proxy firewall.
    const std::string tlsName = SplitHostPort(connectHost).host;
    if (encryption == kTlsImplicit && !StartControlTls(*this, tlsName)) {
        --commandDepth;
        return FailConnect(*this);
    }

    // 1xx greetings ("service ready in n minutes") are waited out. Servers that announce "(EXOS"
    // end their lines with a carriage return alone.
    int result = kNoValidCode;
    do {
        result = control.ReadReply();
        if (replyBuffer.find("(EXOS") != std::string::npos)
            control.crEndsLine = 1;
    } while (result == kPreliminary);
    if (result != kCompletion) {
        LogMessage("Unknown open msg \"%s\" %u", {replyBuffer, replyCode});
        --commandDepth;
        return FailConnect(*this);
    }

    const int on = 1;
    if (::setsockopt(control.socket, SOL_SOCKET, SO_OOBINLINE, &on, sizeof on) != 0)
        LogSocketError("setsockopt", SocketErrorNumber(errno));
    KeepAlive(control.socket);
    --commandDepth;
    if ((encryption == kTlsIfAvailable || encryption == kTlsRequired) && !NegotiateTls(*this, tlsName))
        return FailConnect(*this);

    if (firewallEnabled && !NamesSiteWithoutProxyLogin(firewallStyle)) {
        result = control.Command("USER %s", {firewallUser});
        if (result == kIntermediate)  // 331: the proxy wants its password
            result = control.Command("PASS %s", {firewallPassword});
        if (result != kCompletion) {
            LogMessage("Failed to login to Firewall Host %s", {firewallHost});
            return FailLogin(*this);
        }
        result = control.Command("site %s", {remoteHost});
        if (result == kPermanentNegative) {
            LogMessage("Could not connect to %s through FireWall", {remoteHost});
            return FailConnect(*this);
        }
        connected = 1;
    }

    if (firewallEnabled) {
        switch (firewallStyle) {
        case kFirewallSiteCommand: result = control.Command("SITE %s", {remoteHost}); break;
        case kFirewallUserAtHost:
        case kFirewallProxyUserAtHost: result = control.Command("USER %s@%s", {userName, remoteHost}); break;
        case kFirewallOpenHost: result = control.Command("OPEN %s", {remoteHost}); break;
        default: break;  // kFirewallProxySite: the proxy's answer to "site" stands
        }
    } else {
        result = control.Command("USER %s", {userName});
    }
    if (result == kIntermediate)  // 331: password needed; a 230 to USER logs in without one
        result = control.Command("PASS %s", {password});
    if (result != kCompletion) {
        LogMessage("Logon to remote host failed: %s", {remoteHost});
        return FailLogin(*this);
    }
    connected = 1;
    if (!ProtectDataConnections(*this))
        return FailConnect(*this);
    QuerySystemType();
    AskFeatures(*this);
    return control.socket;
}
