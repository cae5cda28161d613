// SPDX-License-Identifier: GPL-3.0-or-later
#include "remote/session_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> DrainAll()
{
    std::vector<std::string> lines;
    DrainLogQueue([&lines](const std::string& line) { lines.push_back(line); });
    return lines;
}

class SessionLogTest : public ::testing::Test {
protected:
    void SetUp() override { DrainAll(); }
    void TearDown() override { SetLogWakeUp(nullptr); }
};

TEST_F(SessionLogTest, DrainsInPostingOrderAndEmptiesTheQueue)
{
    PostLogLine("Tessaline: USER anonymous");
    PostLogLine("");
    PostLogLine("331 Guest login ok");
    EXPECT_EQ(DrainAll(), (std::vector<std::string>{"Tessaline: USER anonymous", "", "331 Guest login ok"}));
    EXPECT_TRUE(DrainAll().empty());
}

TEST_F(SessionLogTest, TwoThreadsPostingAtOnceLoseNothingAndNeverInterleave)
{
    constexpr int kPerThread = 20000;
    const std::string padding(200, 'x');
    auto poster = [&padding](char who) {
        for (int i = 0; i < kPerThread; ++i)
            PostLogLine(std::string(1, who) + ' ' + std::to_string(i) + ' ' + padding);
    };
    // Drain while the posters run, as the window thread does at its idle steps.
    std::vector<std::string> lines;
    std::atomic<bool> done{false};
    std::thread a(poster, 'A');
    std::thread b(poster, 'B');
    std::thread closer([&] {
        a.join();
        b.join();
        done = true;
    });
    while (!done)
        DrainLogQueue([&lines](const std::string& line) { lines.push_back(line); });
    closer.join();
    DrainLogQueue([&lines](const std::string& line) { lines.push_back(line); });

    ASSERT_EQ(lines.size(), 2u * kPerThread);
    int next[2] = {0, 0};
    for (const std::string& line : lines) {
        const int who = line[0] == 'A' ? 0 : 1;
        ASSERT_EQ(line, std::string(1, line[0]) + ' ' + std::to_string(next[who]) + ' ' + padding);
        ++next[who];
    }
}

TEST_F(SessionLogTest, LinePostedFromTheSinkArrivesInTheSameDrain)
{
    PostLogLine("first");
    std::vector<std::string> lines;
    DrainLogQueue([&lines](const std::string& line) {
        lines.push_back(line);
        if (line == "first")
            PostLogLine("posted while draining");
    });
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "posted while draining"}));
}

TEST_F(SessionLogTest, WakeUpOnlyWhenALineLandsInAnEmptyQueue)
{
    int wakes = 0;
    SetLogWakeUp([&wakes] { ++wakes; });
    PostLogLine("one");
    PostLogLine("two");
    EXPECT_EQ(wakes, 1);
    DrainAll();
    PostLogLine("three");
    EXPECT_EQ(wakes, 2);
    SetLogWakeUp(nullptr);
    DrainAll();
    PostLogLine("four");
    EXPECT_EQ(wakes, 2);
}

}  // namespace
