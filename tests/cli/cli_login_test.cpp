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

TEST_F(CliLoginTest, TheFirstSourceThatGivesAPasswordWins)
{
    LoginSources sources{"ftp.example.org:2121", "anna", "given", Write("pw", "from-file\n", kPrivate),
                         Write(".netrc", "machine ftp.example.org login anna password from-netrc\n", kPrivate)};
    EXPECT_EQ(Resolve(sources).password, "given");
    sources.password.reset();
    EXPECT_EQ(Resolve(sources).password, "from-file");
    sources.passwordFile.reset();
    EXPECT_EQ(Resolve(sources).password, "from-netrc");
    EXPECT_TRUE(prompts.empty()) << "asked although a password was there";
    sources.user = "bob";  // ~/.netrc has nothing for bob
    const CliLogin asked = Resolve(sources);
    EXPECT_EQ(asked.user, "bob");
    EXPECT_EQ(asked.password, "typed");
    EXPECT_EQ(prompts, (std::vector<std::string>{"Password for bob@ftp.example.org:2121: "}));
    typed.reset();  // no terminal
    EXPECT_EQ(Resolve(sources).password, "");
}

TEST_F(CliLoginTest, ANetrcOthersCanReadOrChangeIsNotUsed)
{
    const std::string text = "machine h login anna password from-netrc\n";
    for (const fs::perms mode : {kReadable, kPrivate | fs::perms::group_write}) {
        const CliLogin refused = Resolve({"h", "anna", std::nullopt, std::nullopt, Write(".netrc", text, mode)});
        EXPECT_EQ(refused.password, "typed");
        ASSERT_EQ(refused.warnings.size(), 1U);
        EXPECT_NE(refused.warnings[0].find(home.path + "/.netrc is not used"), std::string::npos) << refused.warnings[0];
    }
    EXPECT_NE(Resolve({"h", "anna", std::nullopt, std::nullopt, Write(".netrc", text, kReadable)})
                  .warnings[0].find("(mode 0644)"), std::string::npos);
    const CliLogin used = Resolve({"h", "anna", std::nullopt, std::nullopt, Write(".netrc", text, kPrivate)});
    EXPECT_EQ(used.password, "from-netrc");
    EXPECT_TRUE(used.warnings.empty());
    // No ~/.netrc is nothing to warn about.
    EXPECT_TRUE(Resolve({"h", "anna", std::nullopt, std::nullopt, home.path + "/none"}).warnings.empty());
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

TEST_F(CliLoginTest, WithoutAUserTheNetrcNamesTheLoginElseItIsAnonymousWithoutAPrompt)
{
    const std::string netrc = Write(".netrc", "machine h login anna\nmachine g login carl password c\n", kPrivate);
    const CliLogin carl = Resolve({"g:21", std::nullopt, std::nullopt, std::nullopt, netrc});
    EXPECT_EQ(carl.user, "carl");
    EXPECT_EQ(carl.password, "c");
    // A login without a password: asked for.
    const CliLogin anna = Resolve({"h", std::nullopt, std::nullopt, std::nullopt, netrc});
    EXPECT_EQ(anna.user, "anna");
    EXPECT_EQ(anna.password, "typed");
    prompts.clear();
    const CliLogin anonymous = Resolve({"elsewhere", std::nullopt, std::nullopt, std::nullopt, netrc});
    EXPECT_EQ(anonymous.user, "anonymous");
    EXPECT_EQ(anonymous.password, "") << "left to the e-mail address of the settings";
    EXPECT_TRUE(prompts.empty());
}

} // namespace
