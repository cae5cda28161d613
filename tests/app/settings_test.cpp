// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settings.h"

#include "ftp/local_dirs.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace {

// A store in memory that remembers the order of every read and write.
class RecordingStore final : public SettingsStore {
public:
    using Value = std::variant<int, std::string>;

    std::optional<int> ReadInt(const std::string& section, const std::string& name) override
    {
        reads.push_back(section + "/" + name);
        const auto it = values.find(section + "/" + name);
        if (it == values.end() || !std::holds_alternative<int>(it->second))
            return std::nullopt;
        return std::get<int>(it->second);
    }
    std::optional<std::string> ReadString(const std::string& section, const std::string& name) override
    {
        reads.push_back(section + "/" + name);
        const auto it = values.find(section + "/" + name);
        if (it == values.end() || !std::holds_alternative<std::string>(it->second))
            return std::nullopt;
        return std::get<std::string>(it->second);
    }
    void WriteInt(const std::string& section, const std::string& name, int value) override
    {
        writes.push_back(section + "/" + name);
        values[section + "/" + name] = value;
    }
    void WriteString(const std::string& section, const std::string& name, const std::string& value) override
    {
        writes.push_back(section + "/" + name);
        values[section + "/" + name] = value;
    }

    std::map<std::string, Value> values;
    std::vector<std::string> reads;
    std::vector<std::string> writes;
};

const std::vector<std::string> kReadOrder = {
    "ProgramOptions/Port",
    "ProgramOptions/Receive Bytes",
    "ProgramOptions/Send Bytes",
    "ProgramOptions/Retry",
    "ProgramOptions/e-mail",
    "TransOptions/Transfer Mode",
    "TransOptions/Save On Double-Click",
    "TransOptions/View On Double-Click",
    "TransOptions/Default Download Directory",
    "TransOptions/Passive Mode",
    "TransOptions/Connections",
    "TransOptions/Retries",
    "TransOptions/Use MLSD",
    "TransOptions/Keep Modification Times",
    "WndProperties/Left",
    "WndProperties/Right",
    "WndProperties/Top",
    "WndProperties/Bottom",
    "WndProperties/TopPane",
    "WndProperties/LeftPane",
    "ProgramOptions/Default View",
    "ProgramOptions/Fire Wall On",
    "ProgramOptions/Fire Mode",
    "ProgramOptions/Fire Port",
    "ProgramOptions/Fire Host",
    "ProgramOptions/Fire User ID",
    "ProgramOptions/Fire Password",
};

const std::vector<std::string> kWriteOrder = {
    "WndProperties/Left",
    "WndProperties/Right",
    "WndProperties/Top",
    "WndProperties/Bottom",
    "WndProperties/TopPane",
    "WndProperties/LeftPane",
    "ProgramOptions/Port",
    "ProgramOptions/Receive Bytes",
    "ProgramOptions/Send Bytes",
    "ProgramOptions/Retry",
    "ProgramOptions/e-mail",
    "ProgramOptions/Default View",
    "ProgramOptions/Fire Wall On",
    "ProgramOptions/Fire Mode",
    "ProgramOptions/Fire Port",
    "ProgramOptions/Fire Host",
    "ProgramOptions/Fire User ID",
    "ProgramOptions/Fire Password",
    "TransOptions/Transfer Mode",
    "TransOptions/Save On Double-Click",
    "TransOptions/View On Double-Click",
    "TransOptions/Passive Mode",
    "TransOptions/Connections",
    "TransOptions/Retries",
    "TransOptions/Use MLSD",
    "TransOptions/Keep Modification Times",
};

// The computed download directory is left out: it follows the computer, not the file.
TEST(SettingsTest, EmptyStoreGivesTheDefaultsAndWritesThemAllInExitOrder)
{
    RecordingStore store;
    CSettings settings;
    settings.LoadSettings(store, "/home/u/Downloads/");
    EXPECT_EQ(store.reads, kReadOrder);

    settings.SaveSettings(store);
    EXPECT_EQ(store.writes, kWriteOrder);

    const std::map<std::string, RecordingStore::Value> expected = {
        {"ProgramOptions/Port", 21},
        {"ProgramOptions/Receive Bytes", 65536},
        {"ProgramOptions/Send Bytes", 65536},
        {"ProgramOptions/Retry", 60},
        {"ProgramOptions/e-mail", std::string()},
        {"ProgramOptions/Default View", 0},
        {"ProgramOptions/Fire Wall On", 0},
        {"ProgramOptions/Fire Mode", 0},
        {"ProgramOptions/Fire Port", 0},
        {"ProgramOptions/Fire Host", std::string()},
        {"ProgramOptions/Fire User ID", std::string()},
        {"ProgramOptions/Fire Password", std::string()},
        {"TransOptions/Transfer Mode", 'I'},
        {"TransOptions/Save On Double-Click", 1},
        {"TransOptions/View On Double-Click", 1},
        {"TransOptions/Passive Mode", 2},
        {"TransOptions/Connections", 4},
        {"TransOptions/Retries", 3},
        {"TransOptions/Use MLSD", 1},
        {"TransOptions/Keep Modification Times", 1},
        {"WndProperties/Left", 0},
        {"WndProperties/Right", 530},
        {"WndProperties/Top", 0},
        {"WndProperties/Bottom", 530},
        {"WndProperties/TopPane", 400},
        {"WndProperties/LeftPane", 150},
    };
    EXPECT_EQ(store.values, expected);
    EXPECT_EQ(settings.engine.transferMode, 'I');
}

// Settings files of every version hold these numbers: the names must keep them, and the time-out
// in milliseconds is the engine's alone.
TEST(SettingsTest, TheModesAreStoredAsTheirNumbersAndOnlyRetryAsTheTimeOut)
{
    struct Case {
        FirewallStyle style;
        DataConnectionMode mode;
        int storedStyle;
        int storedMode;
    };
    for (const Case& c :
         {Case{kFirewallProxySite, kActiveMode, 0, 0}, Case{kFirewallUserAtHost, kPassiveMode, 1, 1},
          Case{kFirewallSiteCommand, kAutomaticMode, 2, 2}, Case{kFirewallProxyUserAtHost, kActiveMode, 3, 0},
          Case{kFirewallOpenHost, kPassiveMode, 4, 1}}) {
        CSettings settings;
        settings.fireMode = c.style;
        settings.engine.passiveMode = c.mode;
        settings.engine.retry = 7;
        settings.engine.retryMilliseconds = 250;
        RecordingStore store;
        settings.SaveSettings(store);
        EXPECT_EQ(std::get<int>(store.values["ProgramOptions/Fire Mode"]), c.storedStyle);
        EXPECT_EQ(std::get<int>(store.values["TransOptions/Passive Mode"]), c.storedMode);
        EXPECT_EQ(std::get<int>(store.values["ProgramOptions/Retry"]), 7);
    }
}

TEST(SettingsTest, StoredValuesAreUsedAsReadAndUnreadableOnesTakeTheirDefault)
{
    RecordingStore store;
    store.values = {
        {"TransOptions/Transfer Mode", 'A'},
        {"TransOptions/Default Download Directory", std::string("/data/in")},
        {"ProgramOptions/Default View", 7},
        {"ProgramOptions/Receive Bytes", std::string("not a number")},
        {"ProgramOptions/Send Bytes", 512},  // an earlier version's default, kept as stored
        {"ProgramOptions/Fire Password", std::string(" p@ss;w=rd ")},
        {"WndProperties/Right", 900},
        {"TransOptions/Passive Mode", 0},
        {"TransOptions/Connections", 11},
        {"TransOptions/Retries", -1},
    };
    CSettings settings;
    settings.LoadSettings(store, "/unused/");

    EXPECT_EQ(settings.transferMode, 'A');
    EXPECT_EQ(settings.engine.transferMode, 'A');              // the mode in force starts from the stored one
    EXPECT_EQ(settings.defaultDownloadDirectory, "/data/in");  // used as read, no separator added
    EXPECT_EQ(settings.defaultView, 7);                        // out of range, kept: it simply matches no view
    EXPECT_EQ(settings.engine.receiveBytes, 65536);
    EXPECT_EQ(settings.engine.sendBytes, 512);
    EXPECT_EQ(settings.firePassword, " p@ss;w=rd ");
    EXPECT_EQ(settings.right, 900);
    EXPECT_EQ(settings.engine.passiveMode, kActiveMode);
    EXPECT_EQ(settings.connections, 10);  // the nearest allowed: a copy never opens more
    EXPECT_EQ(settings.retries, 0);
}

TEST(SettingsTest, OnlyTheStoredDefaultTransferModeIsWritten)
{
    RecordingStore store;
    CSettings settings;
    settings.LoadSettings(store, "");
    settings.engine.transferMode = 'A';  // the mode in force changes, the stored default does not
    settings.SaveSettings(store);
    EXPECT_EQ(std::get<int>(store.values["TransOptions/Transfer Mode"]), 'I');
}

TEST(SettingsTest, TheDownloadDirectoryIsWrittenOnlyWhenChosen)
{
    const std::string kKey = "TransOptions/Default Download Directory";
    const struct {
        const char* name;
        std::optional<std::string> stored;
        std::optional<std::string> chosen;  // what the options sheet sets before the exit
        std::string inUse;
        std::optional<std::string> written;
    } kCases[] = {
        {"none stored", std::nullopt, std::nullopt, "/home/u/", std::nullopt},
        {"stored", "/data/in/", std::nullopt, "/data/in/", "/data/in/"},
        {"an earlier version's runtime fallback", PrivateTempDirectory(), std::nullopt, "/home/u/", std::nullopt},
        {"chosen on the options sheet", std::nullopt, "/data/out/", "/data/out/", "/data/out/"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        RecordingStore store;
        if (c.stored)
            store.values[kKey] = *c.stored;
        CSettings settings;
        settings.LoadSettings(store, "/home/u/");
        if (c.chosen)
            settings.defaultDownloadDirectory = *c.chosen;
        EXPECT_EQ(settings.defaultDownloadDirectory, c.inUse);
        store.values.erase(kKey);
        settings.SaveSettings(store);
        const auto written = store.values.find(kKey);
        EXPECT_EQ(written == store.values.end() ? std::nullopt : std::optional(std::get<std::string>(written->second)),
                  c.written);
    }
}

}  // namespace
