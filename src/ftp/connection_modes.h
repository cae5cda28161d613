// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a session reaches the server: the values of the settings "Fire Mode" and "Passive Mode",
// stored as these numbers.

// How the login goes through a proxy firewall.
enum FirewallStyle : int {
    kFirewallProxySite = 0,        // log in to the proxy, then "site remote_host"
    kFirewallUserAtHost = 1,       // USER remote_userid@remote_host, no proxy login
    kFirewallSiteCommand = 2,      // log in to the proxy, then SITE remote_host
    kFirewallProxyUserAtHost = 3,  // log in to the proxy, then USER remote_userid@remote_host
    kFirewallOpenHost = 4,         // OPEN remote_host, no proxy login
};
inline constexpr int kLastFirewallStyle = kFirewallOpenHost;

// Who opens the data connections.
enum DataConnectionMode : int {
    kActiveMode = 0,     // the server connects to our listener (PORT, EPRT)
    kPassiveMode = 1,    // we connect to the server (EPSV, PASV)
    kAutomaticMode = 2,  // passive behind a router, else active (so is any other stored value)
};
