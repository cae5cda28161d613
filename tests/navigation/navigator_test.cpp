// SPDX-License-Identifier: GPL-3.0-or-later
// Where opening, entering and going up lead, against the scripted server, without a window.

#include "navigation/navigator.h"
#include "settings/settings.h"
#include "support/transfer_fixture.h"

namespace {

// Stands for the window: remembers what it was told and shown, answers questions as told.
class RecordingFront final : public NavigatorFront {
public:
    bool EditLogin(CSiteProfile&) override { return editAnswer; }
    void Inform(const std::string& text) override { informed.push_back(text); }
    bool Ask(const std::string& question, const std::string&) override
    {
        asked.push_back(question);
        return askAnswer;
    }
    void ShowSites() override { shown = {"(sites)"}; }
    void ShowEntries(std::vector<CDirEntry> entries) override
    {
        shown.clear();
        for (const CDirEntry& entry : entries)
            shown.push_back(entry.name);
    }
    void ClearEntries() override { shown.clear(); }
    void OpenFile(const std::string& name) override { opened.push_back(name); }
    void SetBusy(bool busy) override { busyDepth += busy ? 1 : -1; }

    bool editAnswer = true;
    bool askAnswer = false;
    std::vector<std::string> informed, asked, shown, opened;
    int busyDepth = 0;
};

const std::string kLine = "drwxr-xr-x   2 anna     staff    4096 Mar  5 12:30 ";
const std::string kFile = "-rw-r--r--   1 anna     staff       5 Mar  5 12:30 ";

class NavigatorTest : public TransferFixture {
protected:
    void SetUp() override
    {
        TransferFixture::SetUp();
        server.ServeDirectory("/pub", kLine + "deeper\r\n" + kFile + "readme.txt\r\n");
        server.ServeDirectory("/pub/deeper", kFile + "deep.txt\r\n");
        CSiteProfile profile;
        profile.group = "Work";
        profile.name = "Local";
        profile.host = "127.0.0.1:" + std::to_string(server.Port());
        profile.userId = "anna";
        profile.password = "secret";
        profile.prompt = 0;
        profile.encryption = kPlainOnly;
        profile.remoteDirectory = "pub";
        site = sites.AddSite(profile);
        group = sites.FindGroup("Work");
    }
    void TearDown() override { EXPECT_EQ(front.busyDepth, 0); }

    std::string CurrentName() const { return sites.Node(sites.Current())->name; }
    std::vector<std::string> Names(SiteNodeId parent) const
    {
        std::vector<std::string> names;
        for (const SiteNodeId child : sites.Children(parent))
            names.push_back(sites.Node(child)->name);
        return names;
    }
    long Listings() const
    {
        const std::vector<std::string> commands = server.Commands();
        return std::count_if(commands.begin(), commands.end(), [](const std::string& c) { return c == "LIST"; });
    }

    SiteStore sites;
    CSettings appSettings;
    RecordingFront front;
    Navigator navigator{sites, remote, appSettings, front};
    SiteNodeId site = kRootNode;
    SiteNodeId group = kRootNode;
};

TEST_F(NavigatorTest, AWalkDownAndBackUpFollowsTheServer)
{
    navigator.OpenNode(site);
    ASSERT_TRUE(remote.Connected());
    EXPECT_EQ(CurrentName(), "pub");
    EXPECT_EQ(front.shown, (std::vector<std::string>{"deeper", "readme.txt"}));
    const SiteNodeId pub = sites.Current();
    EXPECT_EQ(sites.ParentOf(pub), site);
    navigator.List(true);
    EXPECT_EQ(Names(pub), std::vector<std::string>{"deeper"});  // listed again, no node twice

    navigator.OpenRow(kRootNode, kItemRemoteDirectory, "deeper", false);
    EXPECT_EQ(CurrentName(), "deeper");
    EXPECT_EQ(front.shown, std::vector<std::string>{"deep.txt"});
    navigator.OpenRow(kRootNode, kItemRemoteFile, "deep.txt", false);
    EXPECT_EQ(front.opened, std::vector<std::string>{"deep.txt"});

    navigator.UpOneLevel();
    EXPECT_EQ(sites.Current(), pub);
    // A directory the server refuses: the user stays where the list is, and is told why.
    navigator.OpenRow(kRootNode, kItemRemoteDirectory, "gone", false);
    EXPECT_EQ(sites.Current(), pub);
    EXPECT_EQ(front.informed,
              std::vector<std::string>{"Could not change to the directory gone: 550 No such directory"});

    navigator.UpOneLevel();
    EXPECT_EQ(sites.Current(), site);
    // At the site's start directory, up asks before it disconnects.
    navigator.UpOneLevel();
    ASSERT_EQ(front.asked.size(), 1u);
    EXPECT_TRUE(front.asked[0].starts_with("You are at the root directory"));
    EXPECT_TRUE(remote.Connected());
    EXPECT_EQ(sites.Current(), site);
    front.askAnswer = true;
    navigator.UpOneLevel();
    EXPECT_FALSE(remote.Connected());
    EXPECT_EQ(sites.Current(), group);
    EXPECT_EQ(front.shown, std::vector<std::string>{"(sites)"});
}

// The node's path is below the directory the login starts in, not below the site's start
// directory: a connect to reach it does not enter the start directory first.
TEST_F(NavigatorTest, ADirectoryNodeOfASiteNotConnectedIsEnteredWithoutListingTheStart)
{
    navigator.OpenNode(site);
    navigator.OpenRow(kRootNode, kItemRemoteDirectory, "deeper", false);
    const SiteNodeId deeper = sites.Current();
    navigator.Disconnect(false);
    EXPECT_EQ(sites.Current(), group);
    const long before = Listings();
    navigator.OpenNode(deeper);
    ASSERT_TRUE(remote.Connected());
    EXPECT_EQ(sites.Current(), deeper);
    EXPECT_EQ(front.shown, std::vector<std::string>{"deep.txt"});
    EXPECT_EQ(Listings(), before + 1);
    EXPECT_EQ(server.Commands().back(), "LIST");
    EXPECT_TRUE(front.informed.empty());
}

TEST_F(NavigatorTest, ARefusedOrCancelledLoginLeavesTheUserAtTheGroup)
{
    // Cancelled in the login dialog: nothing is sent.
    CSiteProfile prompted = sites.Node(site)->profile;
    prompted.prompt = 1;
    sites.ReplaceProfile(site, prompted);
    front.editAnswer = false;
    const std::size_t sent = server.Commands().size();
    navigator.OpenNode(site);
    EXPECT_EQ(server.Commands().size(), sent);
    EXPECT_EQ(sites.Current(), group);
    EXPECT_TRUE(front.informed.empty());

    front.editAnswer = true;
    server.ReplyFromNowOn("PASS", "530 Login incorrect.\r\n");
    navigator.OpenNode(site);
    EXPECT_FALSE(remote.Connected());
    EXPECT_EQ(sites.Current(), group);
    ASSERT_EQ(front.informed.size(), 1u);
    EXPECT_EQ(front.informed[0], "The server refused the login: 530 Login incorrect.");
}

// A cancel while the server holds a reply back ends the session: the user is back at the sites and
// told what was cancelled, and the site connects again.
TEST_F(NavigatorTest, ACancelReturnsToTheSitesAndSaysSo)
{
    for (const auto& [held, told] : std::vector<std::pair<std::string, std::string>>{
             {"CWD deeper", "Changing the directory was cancelled, and the connection to "},
             {"LIST", "The listing of the directory was cancelled, and the connection to "}}) {
        navigator.OpenNode(site);
        ASSERT_TRUE(remote.Connected());
        front.informed.clear();
        ScriptedFtpServer::Faults slow;
        slow.command = held;
        slow.pauseBeforeReply = 10s;  // ends when the client closes the connection
        server.SetFaults(slow);
        const auto sent = [this, held = held] {
            const std::vector<std::string> commands = server.Commands();
            return std::count(commands.begin(), commands.end(), held);
        };
        host.cancelWhen = [sent, before = sent()](OperationRunner&) { return sent() > before; };
        navigator.OpenRow(kRootNode, kItemRemoteDirectory, "deeper", false);
        host.cancelWhen = nullptr;
        server.SetFaults({});
        EXPECT_FALSE(remote.Connected()) << held;
        EXPECT_EQ(sites.Current(), group) << held;
        EXPECT_EQ(front.shown, std::vector<std::string>{"(sites)"});
        ASSERT_EQ(front.informed.size(), 1u) << held;
        EXPECT_TRUE(front.informed[0].starts_with(told)) << front.informed[0];
    }
}

// A listing that fails leaves the list as it was and says why; one whose server went away
// returns to the sites, saying so.
TEST_F(NavigatorTest, AFailedListingSaysWhy)
{
    navigator.OpenNode(site);
    OnDataCommand("LIST", [](Control& control) { control.SendLine("425 Can't open data connection."); });
    navigator.List(true);
    EXPECT_EQ(front.shown, (std::vector<std::string>{"deeper", "readme.txt"}));
    EXPECT_EQ(front.informed,
              std::vector<std::string>{"The directory could not be listed: 425 Can't open data connection."});
    EXPECT_TRUE(remote.Connected());

    server.OnCommand([](const std::string& line, Control& control) {
        if (line == "LIST")
            control.Close();
        else
            control.Answer(line);
    });
    navigator.List(true);
    EXPECT_EQ(front.shown, std::vector<std::string>{"(sites)"});
    EXPECT_TRUE(front.informed.back().starts_with("The listing of the directory failed: the connection to 127.0.0.1:"))
        << front.informed.back();
    EXPECT_NE(front.informed.back().find("was lost (Connection closed by the server.)"), std::string::npos);
}

}  // namespace
