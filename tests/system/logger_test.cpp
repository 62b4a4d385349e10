#include "system/logger.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <sstream>
#include <thread>

#include "support/temp_dir.h"

namespace {

std::vector<std::string> file_lines(const std::string& path) {
    std::istringstream in(testsupport::read_file(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The logger is process-wide; each test leaves it closed.
class LoggerTest : public ::testing::Test {
protected:
    void TearDown() override { logger::shutdown(); }
};

TEST_F(LoggerTest, LinesCarryClockAndLevelTag) {
    testsupport::TempDir tmp;
    logger::init(tmp.path(), "Run");
    logger::info("eins");
    logger::warn("zwei");
    logger::error("drei");
    auto lines = file_lines(tmp / "Run.log");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d\d:\d\d:\d\d INFO  eins)"))) << lines[0];
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(R"(\d\d:\d\d:\d\d WARN  zwei)"))) << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2], std::regex(R"(\d\d:\d\d:\d\d FEHLER drei)"))) << lines[2];
    EXPECT_EQ(logger::tail(3), lines);
}

TEST_F(LoggerTest, FileIsTruncatedAndOnlyGetsLinesWhileOpen) {
    testsupport::TempDir tmp;
    tmp.write_text("Run.log", "old run\n");
    logger::info("before init");
    logger::init(tmp.path(), "Run");
    EXPECT_EQ(logger::file_path(), tmp / "Run.log");
    EXPECT_EQ(testsupport::read_file(tmp / "Run.log"), "");  // truncated, nothing replayed
    logger::info("while open");
    logger::init(tmp.path(), "Other");  // ignored while a file is open
    EXPECT_EQ(logger::file_path(), tmp / "Run.log");
    logger::shutdown();
    logger::info("after shutdown");
    auto lines = file_lines(tmp / "Run.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("while open"), std::string::npos);
    EXPECT_NE(logger::tail(1)[0].find("after shutdown"), std::string::npos);
    EXPECT_FALSE(testsupport::file_exists(tmp / "Other.log"));
}

// Another start empties the file while this run goes on logging: the next line lands at the new
// end of the file, with no hole of zero bytes before it.
TEST_F(LoggerTest, LinesFollowTheFileWhenAnotherStartEmptiesIt) {
    testsupport::TempDir tmp;
    logger::init(tmp.path(), "Run");
    logger::info(std::string(1000, 'a'));
    ASSERT_EQ(0, truncate((tmp / "Run.log").c_str(), 0));
    logger::info("after");
    auto lines = file_lines(tmp / "Run.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(\d\d:\d\d:\d\d INFO  after)"))) << lines[0];
}

TEST_F(LoggerTest, FailedOpenKeepsLoggingToTailAndRetriesLater) {
    testsupport::TempDir tmp;
    logger::init(tmp / "missing", "Run");
    logger::warn("tail only");
    EXPECT_NE(logger::tail(1)[0].find("tail only"), std::string::npos);
    logger::init(tmp.path(), "Run");
    logger::info("now in file");
    EXPECT_EQ(file_lines(tmp / "Run.log").size(), 1u);
}

TEST_F(LoggerTest, TailKeepsTheNewest500LinesOldestFirst) {
    for (int i = 0; i < 501; ++i) logger::info("line " + std::to_string(i));
    auto all = logger::tail(1000);
    ASSERT_EQ(all.size(), 500u);
    EXPECT_NE(all.front().find("line 1"), std::string::npos);
    EXPECT_NE(all.back().find("line 500"), std::string::npos);
    EXPECT_TRUE(logger::tail(0).empty());
    auto three = logger::tail(3);
    ASSERT_EQ(three.size(), 3u);
    EXPECT_NE(three[0].find("line 498"), std::string::npos);
    EXPECT_NE(three[2].find("line 500"), std::string::npos);
}

TEST_F(LoggerTest, LinesFromManyThreadsNeverInterleave) {
    testsupport::TempDir tmp;
    logger::init(tmp.path(), "Run");
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) logger::info(std::string(40, static_cast<char>('a' + t)));
        });
    for (auto& th : threads) th.join();
    auto lines = file_lines(tmp / "Run.log");
    ASSERT_EQ(lines.size(), 800u);
    std::regex whole(R"(\d\d:\d\d:\d\d INFO  (a{40}|b{40}|c{40}|d{40}))");
    for (const auto& line : lines) ASSERT_TRUE(std::regex_match(line, whole)) << line;
    EXPECT_EQ(logger::tail(500), std::vector<std::string>(lines.end() - 500, lines.end()));
}

}  // namespace
