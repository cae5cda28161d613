// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/profiles/keyring_entry.h"

#include "ftp/encryption.h"
#include "ftp/host_port.h"

namespace {

int OwnPort(const CSiteProfile& site)
{
    if (site.protocol == RemoteProtocol::Sftp)
        return kSshPort;
    return site.encryption == kTlsImplicit ? kImplicitTlsPort : kFtpPort;
}

}  // namespace

std::string SiteKeyringEntry(const CSiteProfile& site)
{
    const HostAndPort split = SplitHostPort(site.host);
    const bool ownPort = split.port == 0 || split.port == OwnPort(site);
    return "site " + site.group + "/" + site.name + " " + site.userId + "@" + (ownPort ? split.host : site.host);
}

std::string FirewallKeyringEntry(const std::string& user, const std::string& host)
{
    return "firewall " + user + "@" + host;
}

std::string SshKeyKeyringEntry(const std::string& keyFile)
{
    return "ssh key " + keyFile;
}

bool SavesPasswordInKeyring(const CSiteProfile& site)
{
    return site.savePassword && site.userId != "anonymous";
}

KeyringEntries WantedKeyringEntries(const SiteStore& store)
{
    KeyringEntries wanted;
    for (const SiteNodeId groupId : store.Children(kRootNode)) {
        const SiteNode& group = *store.Node(groupId);
        if (group.name == kQuickConnectGroup)
            continue;
        for (const SiteNodeId siteId : group.children) {
            if (store.KindOf(siteId) != kItemSite)
                continue;
            CSiteProfile site = store.Node(siteId)->profile;
            site.group = group.name;
            if (SavesPasswordInKeyring(site) && !site.password.empty())
                wanted[SiteKeyringEntry(site)] = site.password;
        }
    }
    return wanted;
}
