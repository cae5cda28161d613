// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/profiles/profile_store.h"

#include "ftp/encryption.h"

#include "support/temp_dir.h"
#include "support/test_data.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

std::vector<std::string> Entries(const std::string& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

CSiteProfile Site(const std::string& name, const std::string& host = "")
{
    CSiteProfile profile;
    profile.name = name;
    profile.host = host;
    return profile;
}

// Every group and every field of every site, one line a site, so one comparison shows all.
// The sites of the group at `row`, in tree order.
std::vector<CSiteProfile> SitesOf(const SiteStore& tree, std::size_t row)
{
    std::vector<CSiteProfile> sites;
    for (const SiteNodeId site : tree.Children(tree.Children(kRootNode).at(row)))
        sites.push_back(tree.Node(site)->profile);
    return sites;
}

std::string Describe(const SiteStore& tree)
{
    std::string text;
    for (const SiteNodeId group : tree.Children(kRootNode)) {
        text += "[" + tree.Node(group)->name + "]\n";
        for (const CSiteProfile& p : SitesOf(tree, tree.RowOf(group))) {
            text += p.name + "|" + p.host + "|" + p.account + "|" + p.userId + "|" + p.password + "|"
                + std::to_string(p.savePassword) + std::to_string(p.prompt) + std::to_string(p.useFirewall) + "|"
                + p.icon + "|" + p.group + "|" + p.localDirectory + "|" + p.remoteDirectory + "|" + p.comment + "\n";
        }
    }
    return text;
}

class ProfileStoreTest : public ::testing::Test {
protected:
    TempDir temp;
    const std::string dir = temp.path + "/";
};

TEST_F(ProfileStoreTest, SaveAndLoadKeepEverythingTheFormatCanHold)
{
    SiteStore tree;
    for (const char* group : {"work", "Empty", "Work", kQuickConnectGroup})
        tree.AddGroup(group);
    tree.AddSite({kItemSite, 1, 0, 1, "Mirror", "ftp.example.org:2121", "acct", "me", "secret", "Tessaline.exe ,33",
                  "Work", "/home/me", "/pub", "one line"});
    // Not kept: a password without save password, trailing blanks, what follows "]".
    tree.AddSite({kItemSite, 0, 1, 0, "a]b", "host  ", "", " lead", "not kept", "", "work", "", "", "first\r\nsecond"});
    tree.AddSite(
        {kItemSite, 1, 1, 0, "Opened once", "quick.example.org", "", "u", "quick", "", kQuickConnectGroup, "", "", ""});
    ASSERT_TRUE(SaveSiteProfiles(tree, dir));

    const std::string file = ReadFile(dir + "Tessaline.site");
    EXPECT_TRUE(file.starts_with("[Group Place Holder]\r\nHOST=\r\nACCOUNT=\r\nUID=\r\nPASSWORD=\r\n"
                                 "SAVPWD=FALSE\r\nICON=\r\nGROUP=Empty\r\nLOCALDIR=\r\nREMOTEDIR=\r\n"
                                 "PROMPT?=TRUE\r\nFIREWALL?=FALSE\r\nCOMMENT=\r\nENCRYPTION=0\r\n\r\n"
                                 "[Mirror]\r\nHOST=ftp.example.org:2121\r\n"))
        << file;
    EXPECT_EQ(file.find("not kept"), std::string::npos);
    EXPECT_EQ(file.find("Quick"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat((dir + "Tessaline.site").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    SiteStore loaded;
    ASSERT_TRUE(LoadSiteProfiles(loaded, dir, true));
    EXPECT_EQ(Describe(loaded),
              "[Empty]\n"
              "[Work]\n"
              "Mirror|ftp.example.org:2121|acct|me|secret|101|Tessaline.exe ,33|Work|/home/me|"
              "/pub|one line\n"
              "[work]\n"
              "a|host|| lead||010||work|||first\r\nsecond\n");
}

TEST_F(ProfileStoreTest, EncryptionIsKeptAfterTheOtherKeysAndOlderFilesGetTheDefault)
{
    SiteStore tree;
    for (int choice = 0; choice <= 3; ++choice) {
        CSiteProfile site = Site("Site " + std::to_string(choice), "ftp.example.org");
        site.group = "Work";
        site.encryption = choice;
        tree.AddSite(site);
    }
    ASSERT_TRUE(SaveSiteProfiles(tree, dir));
    const std::string file = ReadFile(dir + "Tessaline.site");
    EXPECT_NE(file.find("\r\nCOMMENT=\r\nENCRYPTION=2\r\n\r\n[Site 3]"), std::string::npos) << file;
    SiteStore loaded;
    ASSERT_TRUE(LoadSiteProfiles(loaded, dir, true));
    ASSERT_EQ(loaded.Children(kRootNode).size(), 1u);
    for (int choice = 0; choice <= 3; ++choice)
        EXPECT_EQ(SitesOf(loaded, 0)[static_cast<std::size_t>(choice)].encryption, choice);

    // A file of an older version has no such key; a value this version does not know is the default.
    WriteFile(dir + "Tessaline.site",
              "[Old]\r\nHOST=old.example.org\r\nGROUP=Work\r\n\r\n"
              "[Odd]\r\nHOST=odd.example.org\r\nGROUP=Work\r\nENCRYPTION=7\r\n\r\n"
              "[Word]\r\nHOST=word.example.org\r\nGROUP=Work\r\nENCRYPTION=1x\r\n");
    SiteStore older;
    ASSERT_TRUE(LoadSiteProfiles(older, dir, true));
    ASSERT_EQ(older.Children(kRootNode).size(), 1u);
    for (const CSiteProfile& site : SitesOf(older, 0))
        EXPECT_EQ(site.encryption, kTlsIfAvailable) << site.name;
}

// An SFTP site is marked after its other keys; an FTP site, and every older file, has no such line.
TEST_F(ProfileStoreTest, OnlySftpSitesCarryAProtocolLine)
{
    SiteStore tree;
    CSiteProfile ssh = Site("Over SSH", "ssh.example.org");
    ssh.protocol = RemoteProtocol::Sftp;
    tree.AddSite(ssh);
    tree.AddSite(Site("Plain", "ftp.example.org"));
    ASSERT_TRUE(SaveSiteProfiles(tree, dir));
    const std::string file = ReadFile(dir + "Tessaline.site");
    EXPECT_NE(file.find("ENCRYPTION=0\r\nPROTOCOL=SFTP\r\n\r\n[Plain]"), std::string::npos) << file;
    EXPECT_EQ(file.find("PROTOCOL", file.find("[Plain]")), std::string::npos) << file;

    WriteFile(dir + "Tessaline.site", file + "[Odd]\r\nHOST=odd.example.org\r\nPROTOCOL=sftp\r\n");
    SiteStore loaded;
    ASSERT_TRUE(LoadSiteProfiles(loaded, dir, true));
    std::vector<RemoteProtocol> protocols;
    for (const CSiteProfile& site : SitesOf(loaded, 0))
        protocols.push_back(site.protocol);
    EXPECT_EQ(protocols, (std::vector<RemoteProtocol>{RemoteProtocol::Ftp, RemoteProtocol::Sftp, RemoteProtocol::Ftp}));
}

TEST_F(ProfileStoreTest, LineBreaksAndBackslashesComeBackAsTypedWhileOlderFilesReadAsBefore)
{
    SiteStore tree;
    CSiteProfile noted = Site("Noted", "ftp.example.org");
    noted.group = "Work";
    noted.comment = "Line one\n[2024-05-01] moved to new host\nGROUP=Elsewhere\nHOST=evil.example\n";
    noted.localDirectory = "C:\\new\\files\\";
    noted.remoteDirectory = "\\n is no line break";
    tree.AddSite(noted);
    CSiteProfile plain = Site("Plain", "plain.example.org");
    plain.group = "Work";
    tree.AddSite(plain);
    ASSERT_TRUE(SaveSiteProfiles(tree, dir));

    const std::string file = ReadFile(dir + "Tessaline.site");
    EXPECT_TRUE(file.starts_with("[Noted]\r\nESCAPED=TRUE\r\nHOST=ftp.example.org\r\n")) << file;
    EXPECT_NE(file.find("\r\nLOCALDIR=C:\\\\new\\\\files\\\\\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("\r\nCOMMENT=Line one\\n[2024-05-01] moved"), std::string::npos) << file;
    // A section without either character is written exactly as older programs wrote it.
    EXPECT_NE(file.find("\r\n\r\n[Plain]\r\nHOST=plain.example.org\r\n"), std::string::npos) << file;
    EXPECT_EQ(std::count(file.begin(), file.end(), '['), 3) << file;

    SiteStore loaded;
    ASSERT_TRUE(LoadSiteProfiles(loaded, dir, true));
    EXPECT_EQ(Describe(loaded), Describe(tree));
    EXPECT_EQ(loaded.Children(kRootNode).size(), 1u);

    // An older file has no escapes: its backslashes are its own.
    WriteFile(dir + "Tessaline.site", "[Old]\r\nLOCALDIR=C:\\new\\\\x\r\nCOMMENT=a\\nb\r\n\r\n");
    SiteStore older;
    ASSERT_TRUE(LoadSiteProfiles(older, dir, true));
    const std::vector<CSiteProfile> old = older.FindSites("Old", "");
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(old[0].localDirectory, "C:\\new\\\\x");
    EXPECT_EQ(old[0].comment, "a\\nb");
}

TEST_F(ProfileStoreTest, AHeaderTooLongToReadSkipsItsWholeSection)
{
    const std::string longName(4095, 'n');  // "[" + 4095 + "]" is one more than a line can hold
    WriteFile(dir + "Tessaline.site",
              "\xEF\xBB\xBF[Alpha production]\r\nHOST=alpha.example.org\r\nUID=deploy\r\nGROUP=Prod\r\n\r\n"
              "[" + longName
                  + "]\r\nHOST=other.example.org\r\nUID=intruder\r\nPASSWORD=pw\r\n"
                    "REMOTEDIR=/elsewhere\r\nCOMMENT=replaced\r\nGROUP=Prod\r\n\r\n"
                    "[Beta]\r\nHOST=beta.example.org\r\nGROUP=Prod\r\n");
    SiteStore tree;
    ASSERT_TRUE(LoadSiteProfiles(tree, dir, true));
    EXPECT_EQ(Describe(tree),
              "[Prod]\n"
              "Alpha production|alpha.example.org||deploy||010||Prod|||\n"
              "Beta|beta.example.org||||010||Prod|||\n");

    // What the dialogs check before a profile is kept: every line within what the reader takes.
    CSiteProfile profile = Site(std::string(4094, 'n'));
    EXPECT_EQ(LineTooLongForFile(profile), "");
    profile.name += "n";
    EXPECT_EQ(LineTooLongForFile(profile), "[");
    profile = Site("ok");
    profile.comment = std::string(2044, '\n');  // written as 4088 characters after "COMMENT="
    EXPECT_EQ(LineTooLongForFile(profile), "");
    profile.comment += "\\";
    EXPECT_EQ(LineTooLongForFile(profile), "COMMENT");
    profile = Site("ok");
    profile.group = std::string(4091, 'g');
    EXPECT_EQ(LineTooLongForFile(profile), "GROUP");
}

TEST_F(ProfileStoreTest, AFileThatIsThereButCannotBeReadIsReportedAndNothingElseIsRead)
{
    SiteStore tree;
    std::string unreadable = "stale";
    EXPECT_FALSE(LoadSiteProfiles(tree, dir, true, &unreadable));
    EXPECT_EQ(unreadable, "");  // no file at all is no fault

    fs::create_directory(dir + "Tessaline.site");
    EXPECT_FALSE(LoadSiteProfiles(tree, dir, true, &unreadable));
    EXPECT_EQ(unreadable, dir + "Tessaline.site: not a regular file");
    fs::remove(dir + "Tessaline.site");

    // The earlier file comes first; when it cannot be read, the newer one is not read instead.
    WriteFile(dir + "Tessaline.site", "[Newer]\n");
    WriteFile(dir + "Tessa.INI", "[Old]\n");
    ::chmod((dir + "Tessa.INI").c_str(), 0);
    if (::geteuid() != 0) {
        EXPECT_FALSE(LoadSiteProfiles(tree, dir, true, &unreadable));
        EXPECT_EQ(unreadable, dir + "Tessa.INI: Permission denied");
    }
    fs::remove(dir + "Tessa.INI");
    ASSERT_EQ(::mkfifo((dir + "Tessa.INI").c_str(), 0600), 0);
    EXPECT_FALSE(LoadSiteProfiles(tree, dir, true, &unreadable));
    EXPECT_EQ(unreadable, dir + "Tessa.INI: not a regular file");
    EXPECT_TRUE(tree.Children(kRootNode).empty());
}

TEST_F(ProfileStoreTest, ASaveWritesThroughASymbolicLinkAndClearsWhatACrashLeft)
{
    TempDir elsewhere;
    const std::string target = elsewhere.path + "/profiles.txt";
    WriteFile(target, "[Old]\n");
    fs::create_symlink(target, dir + "Tessaline.site");
    WriteFile(elsewhere.path + "/.Tessaline.site-a1B2c3", "half a save");
    WriteFile(elsewhere.path + "/.Tessaline.site-keep", "not ours");
    WriteFile(elsewhere.path + "/Tessaline.site.backup", "not ours");

    SiteStore tree;
    tree.AddSite(Site("New", "new.example.org"));
    std::string failure;
    ASSERT_TRUE(SaveSiteProfiles(tree, dir, &failure)) << failure;
    EXPECT_TRUE(fs::is_symlink(dir + "Tessaline.site"));
    EXPECT_TRUE(ReadFile(target).starts_with("[New]\r\n"));
    EXPECT_EQ(Entries(elsewhere.path),
              (std::vector<std::string>{".Tessaline.site-keep", "Tessaline.site.backup", "profiles.txt"}));

    // A link to a file that is not there yet: the file is made where it points.
    fs::remove(target);
    ASSERT_TRUE(SaveSiteProfiles(tree, dir, &failure)) << failure;
    EXPECT_TRUE(ReadFile(target).starts_with("[New]\r\n"));

    // A failed save says why.
    EXPECT_FALSE(SaveSiteProfiles(tree, dir + "missing/", &failure));
    EXPECT_EQ(failure, dir + "missing/.Tessaline.site.lock: No such file or directory");
}

TEST_F(ProfileStoreTest, ReadingRules)
{
    WriteFile(dir + "Tessaline.site",
              "HOST=before any header\n"
              "[Defaults\n"  // no "]": the rest of the line is the name
              "HOST=h1\n"
              "UID= spaced user \t\n"  // leading blanks stay, trailing go
              "HOST =ignored\n"
              "SAVPWD=true\n"  // only "TRUE" sets a flag
              "FIREWALL?=yes\n"
              "\n"
              "[]\r\n"
              "GROUP=Team\r\n"
              "HOST=first\r\n"
              " [\r\n"  // too short to open a section: skipped, the section goes on
              "NOEQUALS\r\n"
              "HOST=second\r\n"
              "ICON=Tessa.exe ,33\r\n"
              "[Group Place Holder]\nGROUP=Team\n"
              "[Group Place Holder]\nGROUP=Spare\nHOST=dropped\n"
              "  [Dup]  \n\tGROUP=Team\nICON=/opt/old/Tessa.exe ,3\n"
              "[Dup]\nGROUP=Team\nPROMPT?=FALSE\nSAVPWD=TRUE\nPASSWORD=pw\n");
    SiteStore tree;
    ASSERT_TRUE(LoadSiteProfiles(tree, dir, true));
    EXPECT_EQ(Describe(tree),
              "[Spare]\n"
              "[Team]\n"
              "|second||||010|Tessaline.exe ,33|Team|||\n"
              "Dup|||||010|/opt/old/Tessaline.exe ,3|Team|||\n"
              "Dup||||pw|100||Team|||\n"
              "[User Defined]\n"
              "Defaults|h1|| spaced user||010||User Defined|||\n");
}

TEST_F(ProfileStoreTest, TheEarlierFileIsReadInPreferenceThenKeptAsTheBackup)
{
    const std::string earlier = TestData("Tessa.INI");
    WriteFile(dir + "Tessa.INI", earlier);
    WriteFile(dir + "TessaBak.INI", "older backup");
    WriteFile(dir + "Tessaline.site", "[Newer]\n");

    SiteStore readOnly;
    ASSERT_TRUE(LoadSiteProfiles(readOnly, dir, false));
    EXPECT_EQ(Describe(readOnly),
              "[Office]\n"
              "Work|ftp.example.org||anna||010||Office|||\n"
              "[Public]\n"
              "Mirror|mirror.example.net:2121||anonymous||000|C:\\TESSA\\TESSA.EXE ,12|Public|||\n");
    EXPECT_EQ(ReadFile(dir + "Tessa.INI"), earlier);
    EXPECT_EQ(ReadFile(dir + "TessaBak.INI"), "older backup");

    SiteStore tree;
    ASSERT_TRUE(LoadSiteProfiles(tree, dir, true));
    EXPECT_EQ(Describe(tree), Describe(readOnly));
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{"TessaBak.INI", "Tessaline.site"}));
    EXPECT_EQ(ReadFile(dir + "TessaBak.INI"), earlier);

    ASSERT_TRUE(SaveSiteProfiles(tree, dir));
    EXPECT_TRUE(ReadFile(dir + "Tessaline.site").starts_with("[Work]\r\nHOST=ftp.example.org\r\n"));
}

TEST_F(ProfileStoreTest, AFailedSaveKeepsThePreviousFileWhole)
{
    SiteStore tree;
    tree.AddSite(Site("One", "one.example.org"));
    ASSERT_TRUE(SaveSiteProfiles(tree, dir));
    const std::string previous = ReadFile(dir + "Tessaline.site");
    for (int i = 0; i < 20; ++i)
        tree.AddSite(Site("Site " + std::to_string(i), "host.example.org"));

    // A write error part-way (a full disk, say): a file-size limit stops root too.
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = limit;
    small.rlim_cur = previous.size() + 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool saved = SaveSiteProfiles(tree, dir);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadFile(dir + "Tessaline.site"), previous);
    // Only the saves' lock stays beside the file.
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{".Tessaline.site.lock", "Tessaline.site"}));

    // The rename fails: something that is no file stands in the way.
    TempDir blocked;
    fs::create_directories(blocked.path + "/Tessaline.site/inside");
    EXPECT_FALSE(SaveSiteProfiles(tree, blocked.path + "/"));
    EXPECT_TRUE(fs::is_directory(blocked.path + "/Tessaline.site/inside"));
    EXPECT_EQ(Entries(blocked.path), (std::vector<std::string>{".Tessaline.site.lock", "Tessaline.site"}));

    EXPECT_FALSE(SaveSiteProfiles(tree, dir + "missing/"));
    EXPECT_FALSE(SaveSiteProfiles(tree, ""));
}

TEST_F(ProfileStoreTest, HostileFilesLoadWithoutHarm)
{
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>(i * 7919 % 256);
    const std::string longest = "COMMENT=" + std::string(4088, 'c');  // 4096 characters: still read whole
    WriteFile(dir + "Tessaline.site",
              garbage + "\n[A\0B]\nHOST=fine\nUID=n\0l\n"s + "HOST=" + std::string(10 << 20, 'x')
                  + "\n"                                      // skipped whole, not read as a host
                  + "UID=" + std::string(4093, 'u') + "\r\n"  // one character too many
                  + longest + "\r\n");
    SiteStore tree;
    ASSERT_TRUE(LoadSiteProfiles(tree, dir, true));
    const std::vector<CSiteProfile> found = tree.FindSites("A\0B"s, "");
    ASSERT_EQ(found.size(), 1u) << Describe(tree).substr(0, 2000);
    EXPECT_EQ(found[0].host, "fine");
    EXPECT_EQ(found[0].userId, "n\0l"s);
    EXPECT_EQ(found[0].comment, longest.substr(8));

    // No file, a directory, or a FIFO where the files should be: nothing read, nothing blocks.
    TempDir odd;
    const std::string oddDir = odd.path + "/";
    SiteStore empty;
    EXPECT_FALSE(LoadSiteProfiles(empty, oddDir, true));
    EXPECT_FALSE(LoadSiteProfiles(empty, "", true));
    fs::create_directory(oddDir + "Tessa.INI");
    ASSERT_EQ(::mkfifo((oddDir + "Tessaline.site").c_str(), 0600), 0);
    EXPECT_FALSE(LoadSiteProfiles(empty, oddDir, true));
    EXPECT_TRUE(empty.Children(kRootNode).empty());
    EXPECT_TRUE(fs::is_directory(oddDir + "Tessa.INI"));
}

CSiteProfile SiteIn(const std::string& group, const std::string& name, const std::string& host)
{
    CSiteProfile profile = Site(name, host);
    profile.group = group;
    return profile;
}

TEST(SiteStoreTest, GroupsAndSitesKeepTheTreeOrder)
{
    SiteStore tree;
    for (const char* group : {"b", "A", "a", "B"})
        tree.AddGroup(group);
    for (const char* name : {"beta", "Alpha", "alpha", "Alpha"})
        tree.AddSite(SiteIn("a", name, name));
    tree.AddSite(SiteIn("B", "Alpha", "other"));
    EXPECT_EQ(Describe(tree),
              "[A]\n"
              "[a]\n"
              "Alpha|Alpha||||010||a|||\n"
              "Alpha|Alpha||||010||a|||\n"
              "alpha|alpha||||010||a|||\n"
              "beta|beta||||010||a|||\n"
              "[B]\n"
              "Alpha|other||||010||B|||\n"
              "[b]\n");
    EXPECT_EQ(tree.FindSites("Alpha", "").size(), 3u);
    const std::vector<CSiteProfile> inB = tree.FindSites("Alpha", "B");
    ASSERT_EQ(inB.size(), 1u);
    EXPECT_EQ(inB[0].host, "other");
    EXPECT_EQ(inB[0].group, "B");
}

}  // namespace
