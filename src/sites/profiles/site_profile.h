// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// CSiteProfile: everything the user keeps about one FTP site. While the program runs each profile
// is the data of one item of the site tree; the profile file keeps them between runs.

#include "remote/remote_login.h"

#include <string>

// The number that opens the data of every site-tree item and every main-view item.
enum ItemKind : int {
    kItemRemoteFile = 1,
    kItemRemoteDirectory = 3,
    kItemSite = 5,
    kItemGroup = 6,
};

struct CSiteProfile {
    int kind = kItemSite;
    int savePassword = 0;
    int prompt = 1;       // show the "Session Profile" dialog before connecting
    int useFirewall = 0;  // kept for the user; connections follow the global firewall settings
    std::string name;
    std::string host;     // may end in ":PORT"
    std::string account;  // carried through the file unchanged
    std::string userId;   // "anonymous" marks an anonymous login
    std::string password;
    std::string icon;  // icon reference "%s ,%i", or the number of a program icon
    std::string group;
    std::string localDirectory;   // carried through the file unchanged
    std::string remoteDirectory;  // changed into after login
    std::string comment;
    int encryption = 0;  // "ENCRYPTION=": 0 TLS if available, 1 TLS required, 2 implicit TLS, 3 plain only
    // "PROTOCOL=SFTP" for SFTP; FTP sites write no such line, so their files read as before.
    RemoteProtocol protocol = RemoteProtocol::Ftp;
};

// Group names with a meaning of their own.
inline constexpr char kUserDefinedGroup[] = "User Defined";
inline constexpr char kGroupPlaceHolder[] = "Group Place Holder";
inline constexpr char kQuickConnectGroup[] = "Quick Connect";
