// SPDX-License-Identifier: GPL-3.0-or-later
#include "ftp/engine_settings.h"
#include "ftp/ftp_remote_session.h"
#include "ftp/ftp_session.h"
#include "sites/profiles/quick_connect_entry.h"
#include "sites/profiles/site_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CSiteProfile SiteIn(const std::string& group, const std::string& name, const std::string& host = "h")
{
    CSiteProfile profile;
    profile.group = group;
    profile.name = name;
    profile.host = host;
    return profile;
}

std::vector<std::string> Names(const SiteStore& store, SiteNodeId parent)
{
    std::vector<std::string> names;
    for (const SiteNodeId child : store.Children(parent))
        names.push_back(store.Node(child)->name);
    return names;
}

// What an item model is told, one line an event, so that one comparison shows the order.
class RecordingObserver final : public SiteStoreObserver {
public:
    void BeginInsert(SiteNodeId parent, std::size_t row, std::size_t count) override
    {
        events.push_back("insert " + std::to_string(parent) + " " + std::to_string(row) + "+" + std::to_string(count));
    }
    void EndInsert() override { events.push_back("inserted"); }
    void BeginRemove(SiteNodeId parent, std::size_t row) override
    {
        events.push_back("remove " + std::to_string(parent) + " " + std::to_string(row));
    }
    void EndRemove() override { events.push_back("removed"); }
    void BeginReorder() override { events.push_back("reorder"); }
    void EndReorder() override { events.push_back("reordered"); }
    void Renamed(SiteNodeId id) override { events.push_back("renamed " + std::to_string(id)); }
    std::vector<std::string> events;
};

class SiteNodesTest : public ::testing::Test {
protected:
    SiteNodesTest()
    {
        work = store.AddGroup("Work");
        mirror = store.AddSite(SiteIn("Work", "mirror", "ftp.example.org"));
        store.SetProfilesChanged([this] { ++saves; });
    }
    SiteStore store;
    SiteNodeId work = kRootNode;
    SiteNodeId mirror = kRootNode;
    int saves = 0;
};

TEST_F(SiteNodesTest, DirectoryNodesAreMadeOnceAndGiveTheirPathBack)
{
    store.SetCurrent(mirror);
    store.DescendPath("/pub/x");
    EXPECT_EQ(store.Node(store.Current())->name, "x");
    store.SetCurrent(mirror);
    store.DescendPath("/pub/y");
    const SiteNodeId root = store.ChildNamed(mirror, "");
    EXPECT_EQ(Names(store, mirror), std::vector<std::string>{""});
    EXPECT_EQ(Names(store, store.ChildNamed(root, "pub")), (std::vector<std::string>{"x", "y"}));
    std::string path;
    EXPECT_EQ(store.SiteAndPath(store.Current(), &path), mirror);
    EXPECT_EQ(path, "/pub/y/");
    EXPECT_EQ(store.SiteAndPath(work, &path), kRootNode);

    // A listing adds what the node lacks, each name once, in one step; directories are not saved.
    RecordingObserver observer;
    store.SetObserver(&observer);
    store.AddDirectories(store.Current(), {"a", "b", "a"});
    store.AddDirectories(store.Current(), {"b", "c"});
    store.AddDirectories(kRootNode, {"not a group"});
    EXPECT_EQ(Names(store, store.Current()), (std::vector<std::string>{"a", "b", "c"}));
    const std::string at = std::to_string(store.Current());
    EXPECT_EQ(observer.events,
              (std::vector<std::string>{"insert " + at + " 0+2", "inserted", "insert " + at + " 2+1", "inserted"}));
    EXPECT_EQ(saves, 0);
    store.SetObserver(nullptr);
}

TEST_F(SiteNodesTest, RemovingABranchMovesTheUserToItsParentAndForgetsItsIds)
{
    store.SetCurrent(mirror);
    store.DescendPath("pub/x");
    const SiteNodeId pub = store.ParentOf(store.Current());
    store.Remove(pub);
    EXPECT_EQ(store.Current(), mirror);
    EXPECT_EQ(saves, 0);
    store.Remove(work);
    EXPECT_EQ(store.Current(), kRootNode);
    EXPECT_EQ(store.Node(mirror), nullptr);
    store.SetCurrent(mirror);
    EXPECT_EQ(store.Current(), kRootNode);
    EXPECT_EQ(saves, 1);
    // New nodes never take an id that was used.
    EXPECT_GT(store.AddGroup("Work"), pub);
}

TEST_F(SiteNodesTest, ANewSiteGoesIntoTheGroupWhereTheUserIs)
{
    store.SetCurrent(mirror);
    const SiteNodeId added = store.AddSiteAtCurrent(SiteIn("ignored", "backup"));
    EXPECT_EQ(store.Current(), added);
    EXPECT_EQ(store.ParentOf(added), work);
    EXPECT_EQ(Names(store, work), (std::vector<std::string>{"backup", "mirror"}));
    // Nowhere: the default group, made for it.
    store.SetCurrent(kRootNode);
    store.AddSiteAtCurrent(SiteIn("", "loose"));
    EXPECT_EQ(Names(store, kRootNode), (std::vector<std::string>{"User Defined", "Work"}));
    EXPECT_EQ(saves, 3);  // the site, the group, the site

    // A rename keeps the group's place until the groups are sorted, as the user left them.
    RecordingObserver observer;
    store.SetObserver(&observer);
    store.Rename(work, "Archive");
    EXPECT_EQ(Names(store, kRootNode), (std::vector<std::string>{"User Defined", "Archive"}));
    store.SortGroups();
    EXPECT_EQ(Names(store, kRootNode), (std::vector<std::string>{"Archive", "User Defined"}));
    EXPECT_EQ(observer.events, (std::vector<std::string>{"renamed " + std::to_string(work), "reorder", "reordered"}));
    store.SetObserver(nullptr);
}

TEST(QuickConnectEntryTest, AnAttemptWithoutAConnectionLeavesTheStoreAsItWas)
{
    EngineSettings settings;
    FtpRemoteSession session(settings);
    SiteStore store;
    CSiteProfile profile = SiteIn("", "", "ftp.example.org");
    profile.userId = "anonymous";
    {
        QuickConnectEntry failed(store, session, profile);
        EXPECT_EQ(store.Node(store.Current())->name, "ftp.example.org");
        EXPECT_EQ(Names(store, kRootNode), std::vector<std::string>{kQuickConnectGroup});
    }
    EXPECT_TRUE(store.Children(kRootNode).empty());

    session.Ftp().connected = 1;
    {
        QuickConnectEntry kept(store, session, profile);
    }
    const SiteNodeId group = store.FindGroup(kQuickConnectGroup);
    ASSERT_EQ(Names(store, group), std::vector<std::string>{"ftp.example.org"});

    // The same host and user again: the site is updated, and given back when the attempt fails.
    session.Ftp().connected = 0;
    profile.remoteDirectory = "/pub";
    {
        QuickConnectEntry again(store, session, profile);
        EXPECT_EQ(store.Node(store.Current())->profile.remoteDirectory, "/pub");
    }
    ASSERT_EQ(store.Children(group).size(), 1u);
    EXPECT_EQ(store.Node(store.Children(group)[0])->profile.remoteDirectory, "");
}

}  // namespace
