// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/profiles/connect_preparation.h"

#include "remote/remote_session.h"
#include "settings/settings.h"
#include "sites/profiles/site_profile.h"

std::optional<std::string> LoginPassword(const CSiteProfile& profile, const CSettings& settings)
{
    // SSH has no anonymous login: the user's keys come first, and the e-mail address is no password.
    if (profile.protocol == RemoteProtocol::Sftp || profile.userId != "anonymous" || !profile.password.empty())
        return profile.password;
    if (settings.email.empty())
        return std::nullopt;
    return settings.email;
}

void PrepareConnect(RemoteSession& session, const CSiteProfile& profile, const std::string& password,
                    const CSettings& settings)
{
    RemoteLogin login;
    login.protocol = profile.protocol;
    login.host = profile.host;
    login.encryption = profile.encryption;
    // Over SSH "anonymous" names no user: SSH takes the one ~/.ssh/config names, else the local one.
    const bool sshWithoutUser = profile.protocol == RemoteProtocol::Sftp && profile.userId == "anonymous";
    login.user = sshWithoutUser ? std::string() : profile.userId;
    login.password = password;
    login.transferMode = static_cast<char>(settings.engine.transferMode.load());
    login.firewall = {settings.fireWallOn, settings.fireMode,   settings.firePort,
                      settings.fireHost,   settings.fireUserId, settings.firePassword};
    session.SetLogin(login);
}
