// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/options/cli_login.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    EXPECT_NE(login.warnings[0].find("is not used: other users can read or change it (mode 0620)"), std::string::npos)
        << login.warnings[0];
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

// Sources that never end or never close: only a password file's first line and a regular ~/.netrc are read.
TEST_F(CliLoginTest, PasswordSourcesAreReadWithinABoundAndNeverWaitedForPastTheFirstLine)
{
    const std::string pipe = home.path + "/pipe", fifo = home.path + "/fifo";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600) | ::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(pipe.c_str(), O_RDWR | O_CLOEXEC);  // stays open after the line
    ASSERT_EQ(::write(writer, "piped\nnever read", 17), 17);
    const std::string big = Write("big", std::string(kSecretFileLimit + 1, 'x'), kPrivate);
    const auto outcome = [](std::optional<std::string> file, std::string netrc) {
        const auto login = ResolveLogin({"h", "anna", std::nullopt, file, netrc}, [](auto&) { return "typed"; });
        const auto* got = std::get_if<CliLogin>(&login);
        return got ? got->password + (got->warnings.empty() ? "" : ", " + got->warnings[0])
                   : std::get<std::string>(login);
    };
    const std::string notRegular = " is not used: it is not a regular file";
    EXPECT_EQ(outcome("/dev/zero", ""),
              "cannot read the password file /dev/zero: its first line is longer than 65536 bytes");
    EXPECT_EQ(outcome(pipe, ""), "piped");
    EXPECT_EQ(outcome(std::nullopt, fifo), "typed, " + fifo + notRegular);
    EXPECT_EQ(outcome(std::nullopt, "/dev/zero"), "typed, /dev/zero" + notRegular);
    EXPECT_EQ(outcome(std::nullopt, big), "typed, " + big + " is not used: it is larger than 65536 bytes");
    ::close(writer);
}

}  // namespace
