#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace {

std::variant<CliOptions, std::string> Parse(std::vector<std::string> args)
{
    return ParseCliOptions(args);
}

TEST(CliOptionsTest, OptionsThenCommandThenArguments)
{
    const auto parsed = Parse({"-q", "--host", "127.0.0.1:2121", "--user", "u", "--password", "p",
                               "--cwd", "pub", "--mode", "A", "rename", "-old", "--new"});
    ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << std::get<std::string>(parsed);
    const CliOptions& options = std::get<CliOptions>(parsed);
    EXPECT_TRUE(options.quiet);
    EXPECT_EQ(options.host, "127.0.0.1:2121");
    EXPECT_EQ(options.user, "u");
    EXPECT_EQ(options.password, "p");
    EXPECT_EQ(options.cwd, "pub");
    EXPECT_EQ(options.mode, 'A');
    EXPECT_EQ(options.command, "rename");
    // After the command every word is an argument, dashes included.
    EXPECT_EQ(options.arguments, (std::vector<std::string>{"-old", "--new"}));
}

TEST(CliOptionsTest, FirewallOverridesForOneRun)
{
    const auto parsed = Parse({"--host", "h", "--firewall", "4", "--firewall-host", "proxy:2121",
                               "--firewall-user", "fw", "--firewall-password", "", "syst"});
    ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed));
    const CliOptions& options = std::get<CliOptions>(parsed);
    EXPECT_EQ(options.firewallStyle, 4);
    EXPECT_EQ(options.firewallHost, "proxy:2121");
    EXPECT_EQ(options.firewallUser, "fw");
    EXPECT_EQ(options.firewallPassword, "");
    EXPECT_EQ(options.user, "anonymous");
}

TEST(CliOptionsTest, PassiveOrActiveForOneRun)
{
    for (const auto& [flag, mode] : {std::pair{"--passive", 1}, std::pair{"--active", 0}}) {
        const auto parsed = Parse({flag, "--host", "h", "ls"});
        ASSERT_TRUE(std::holds_alternative<CliOptions>(parsed)) << flag;
        EXPECT_EQ(std::get<CliOptions>(parsed).passiveMode, mode) << flag;
    }
    EXPECT_EQ(std::get<CliOptions>(Parse({"--host", "h", "ls"})).passiveMode, std::nullopt);
}

TEST(CliOptionsTest, UsageErrors)
{
    const std::vector<std::vector<std::string>> wrong = {
        {"syst"},                                          // no host
        {"--host", "h", "--site", "s", "syst"},            // both
        {"--host", "h"},                                   // no command
        {"--host", "h", "dance"},                          // unknown command
        {"--host", "h", "mkdir"},                          // missing argument
        {"--host", "h", "rename", "a"},                    // missing argument
        {"--host", "h", "syst", "extra"},                  // one too many
        {"--host", "h", "--mode", "X", "syst"},
        {"--host", "h", "--firewall", "5", "syst"},
        {"--host", "h", "--firewall", "1", "--no-firewall", "syst"},
        {"--host", "h", "--passive", "--active", "ls"},
        {"--host", "h", "--bogus", "syst"},
        {"--host", "h", "--group", "g", "syst"},            // --group picks among stored sites only
        {"--host"},                                        // value missing
    };
    for (const auto& args : wrong) {
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_TRUE(std::holds_alternative<std::string>(Parse(args)));
    }
}

} // namespace
