// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/connect_preparation.h"

#include "ftp/ftp_session.h"
#include "settings/settings.h"
#include "sites/site_profile.h"

std::optional<std::string> LoginPassword(const CSiteProfile& profile, const CSettings& settings)
{
    if (profile.userId != "anonymous" || !profile.password.empty())
        return profile.password;
    if (settings.email.empty())
        return std::nullopt;
    return settings.email;
}

void PrepareConnect(CFtpSession& session, const CSiteProfile& profile, const std::string& password,
                    const CSettings& settings)
{
    session.hostName = profile.host;
    session.encryption = profile.encryption;
    session.userName = profile.userId;
    session.password = password;
    session.transferMode = static_cast<char>(settings.engine.transferMode.load());
    session.SetFirewall(settings.fireWallOn, settings.fireMode, settings.firePort, settings.fireHost,
                        settings.fireUserId, settings.firePassword);
}
