#include "cli/cli_login.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

class CliLoginTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& text, fs::perms mode)
    {
        const std::string path = (fs::path(home.path) / name).string();
        std::ofstream(path, std::ios::binary) << text;
        fs::permissions(path, mode);
        return path;
    }

    // The login, failing the test when there is none.
    CliLogin Resolve(const LoginSources& sources)
    {
        auto login = ResolveLogin(sources, [this](const std::string& text) -> std::optional<std::string> {
            prompts.push_back(text);
            return typed;
        });
        if (const auto* error = std::get_if<std::string>(&login)) {
            ADD_FAILURE() << *error;
            return {};
        }
        return std::get<CliLogin>(login);
    }

    static constexpr fs::perms kPrivate = fs::perms::owner_read | fs::perms::owner_write;
    static constexpr fs::perms kReadable = kPrivate | fs::perms::group_read | fs::perms::others_read;

    TempDir home;
    std::optional<std::string> typed = "typed";
    std::vector<std::string> prompts;
};

// The earlier sources are checked on the program itself (cli_scripted_test.cpp).
TEST_F(CliLoginTest, ThePromptComesLastAndOnlyForANamedUser)
{
    const std::string netrc = Write(".netrc", "machine h login anna\nmachine h login carl password c\n", kPrivate);
    const CliLogin carl = Resolve({"h:21", "carl", std::nullopt, std::nullopt, netrc});
    EXPECT_EQ(carl.password, "c");
    EXPECT_TRUE(prompts.empty()) << "asked although ~/.netrc had the password";
    // An entry with a login but no password names the user and leaves the password to the prompt.
    const CliLogin anna = Resolve({"h:21", std::nullopt, std::nullopt, std::nullopt, netrc});
    EXPECT_EQ(anna.user, "anna");
    EXPECT_EQ(anna.password, "typed");
    EXPECT_EQ(prompts, (std::vector<std::string>{"Password for anna@h:21: "}));
    typed.reset();  // no terminal
    EXPECT_EQ(Resolve({"h", "bob", std::nullopt, std::nullopt, netrc}).password, "");

    prompts.clear();
    const CliLogin anonymous = Resolve({"elsewhere", std::nullopt, std::nullopt, std::nullopt, netrc});
    EXPECT_EQ(anonymous.user, "anonymous");
    EXPECT_EQ(anonymous.password, "") << "left to the e-mail address of the settings";
    EXPECT_TRUE(prompts.empty());
}

TEST_F(CliLoginTest, ANetrcTheGroupMayChangeIsNotUsedEither)
{
    const std::string netrc = Write(".netrc", "machine h login anna password p\n", kPrivate | fs::perms::group_write);
    const CliLogin login = Resolve({"h", "anna", std::nullopt, std::nullopt, netrc});
    EXPECT_EQ(login.password, "typed");
    ASSERT_EQ(login.warnings.size(), 1U);
    EXPECT_NE(login.warnings[0].find("is not used: other users can read or change it (mode 0620)"),
              std::string::npos) << login.warnings[0];
}

TEST_F(CliLoginTest, APasswordFileGivesItsFirstLineAndIsUsedWithAWarningWhenOthersCanReadIt)
{
    const CliLogin login = Resolve({"h", "anna", std::nullopt, Write("pw", "s3cret \r\nsecond line\n", kReadable), ""});
    EXPECT_EQ(login.password, "s3cret ");
    ASSERT_EQ(login.warnings.size(), 1U);
    EXPECT_NE(login.warnings[0].find("chmod 600 " + home.path + "/pw"), std::string::npos) << login.warnings[0];
    EXPECT_EQ(Resolve({"h", "anna", std::nullopt, Write("pw", "", kPrivate), ""}).password, "");
    EXPECT_TRUE(prompts.empty()) << "an empty file is an empty password, given on purpose";

    const auto missing = ResolveLogin({"h", "anna", std::nullopt, home.path + "/none", ""},
                                      [](const std::string&) { return std::nullopt; });
    ASSERT_TRUE(std::holds_alternative<std::string>(missing));
    EXPECT_EQ(std::get<std::string>(missing),
              "cannot read the password file " + home.path + "/none: No such file or directory");
}

}  // namespace
