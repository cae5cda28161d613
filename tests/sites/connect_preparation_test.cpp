// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/profiles/connect_preparation.h"

#include "ftp/encryption.h"
#include "ftp/ftp_remote_session.h"
#include "ftp/ftp_session.h"
#include "settings/settings.h"
#include "sites/profiles/site_profile.h"

#include <gtest/gtest.h>

namespace {

CSiteProfile Profile(const std::string& user, const std::string& password)
{
    CSiteProfile profile;
    profile.host = "ftp.example.org:2121";
    profile.userId = user;
    profile.password = password;
    return profile;
}

}  // namespace

TEST(ConnectPreparationTest, AnonymousWithoutPasswordSendsTheEmailAddress)
{
    CSettings settings;
    settings.email = "me@example.org";
    EXPECT_EQ(LoginPassword(Profile("anonymous", ""), settings), "me@example.org");
    EXPECT_EQ(LoginPassword(Profile("anonymous", "guest"), settings), "guest");
    // Only the exact user name marks an anonymous login; others may have an empty password.
    EXPECT_EQ(LoginPassword(Profile("Anonymous", ""), settings), "");
    EXPECT_EQ(LoginPassword(Profile("alice", ""), settings), "");

    settings.email.clear();
    EXPECT_EQ(LoginPassword(Profile("anonymous", ""), settings), std::nullopt);
    EXPECT_EQ(LoginPassword(Profile("anonymous", "guest"), settings), "guest");
}

TEST(ConnectPreparationTest, CopiesTheProfileAndTheSettingsIntoTheSession)
{
    CSettings settings;
    settings.engine.transferMode = 'A';
    settings.engine.passiveMode = kPassiveMode;
    settings.defaultDownloadDirectory = "/home/me/in/";
    settings.fireWallOn = 1;
    settings.fireMode = kFirewallProxyUserAtHost;
    settings.firePort = 8021;
    settings.fireHost = "proxy";
    settings.fireUserId = "pu";
    settings.firePassword = "pp";
    CSiteProfile profile = Profile("alice", "ignored: the password argument wins");
    profile.encryption = kTlsImplicit;

    FtpRemoteSession remote(settings.engine);
    PrepareConnect(remote, profile, "secret", settings);
    const CFtpSession& session = remote.Ftp();
    EXPECT_EQ(session.hostName, "ftp.example.org:2121");
    EXPECT_EQ(session.encryption, kTlsImplicit);
    EXPECT_EQ(session.userName, "alice");
    EXPECT_EQ(session.password, "secret");
    EXPECT_EQ(session.transferMode, 'A');
    EXPECT_EQ(session.Settings().passiveMode, kPassiveMode);  // read by the session from the settings it was made with
    EXPECT_EQ(session.firewallEnabled, 1);
    EXPECT_EQ(session.firewallStyle, kFirewallProxyUserAtHost);
    EXPECT_EQ(session.firewallPort, 8021);
    EXPECT_EQ(session.firewallHost, "proxy");
    EXPECT_EQ(session.firewallUser, "pu");
    EXPECT_EQ(session.firewallPassword, "pp");
}
