// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a connect hands to the session, decided the same way by the desktop program and by
// tessaline-ftp: the login of a site profile and the settings in force.

#include <optional>
#include <string>

class RemoteSession;
class CSettings;
struct CSiteProfile;

// The password the login sends: the profile's, or for "anonymous" without one the e-mail address
// of the settings; nothing when that address is needed and empty.
std::optional<std::string> LoginPassword(const CSiteProfile& profile, const CSettings& settings);

// Readies `session` for its next Connect: the host, encryption and user of `profile`, `password`,
// and the transfer mode and firewall of `settings`. Passive mode and the other engine settings
// the session reads from `settings.engine` itself while it runs.
void PrepareConnect(RemoteSession& session, const CSiteProfile& profile, const std::string& password,
                    const CSettings& settings);
