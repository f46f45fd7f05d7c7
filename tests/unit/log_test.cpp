#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "tests/support/temp_dir.h"

namespace {

LogTime NineOhFiveOhSeven() { return {9, 5, 7}; }

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// On Windows the log is a text-mode file: every line feed lands on disk as CR LF.
#ifdef _WIN32
const std::string kEol = "\r\n";
#else
const std::string kEol = "\n";
#endif

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetLogTimeSource(NineOhFiveOhSeven);
        path_ = dir_.path() / "Zarvel-Update.log";
    }
    void TearDown() override {
        CloseLog();
        SetLogTimeSource(nullptr);
    }
    TempDir dir_;
    std::filesystem::path path_;
};

TEST_F(LogTest, LinesCarryPaddedTimeTwoSpacesAndTheMessageByteForByte) {
    OpenLog(path_);
    WriteLog("Zarvel Update started");
    WriteLog("");
    WriteLog("first\nsecond");
    WriteLog(std::string("a\0b", 3));
    CloseLog();
    EXPECT_EQ("09:05:07  Zarvel Update started" + kEol + "09:05:07  " + kEol + "09:05:07  first" + kEol + "second" + kEol +
                  "09:05:07  " + std::string("a\0b", 3) + kEol,
              ReadAll(path_));
}

TEST_F(LogTest, AppendingKeepsEarlierContent) {
    { std::ofstream(path_, std::ios::binary) << "old line" << kEol; }
    OpenLog(path_);
    WriteLog("new line");
    CloseLog();
    EXPECT_EQ("old line" + kEol + "09:05:07  new line" + kEol, ReadAll(path_));
}

TEST_F(LogTest, ALogThatCannotBeOpenedMakesWritesSilent) {
    OpenLog(dir_.path() / "missing-folder" / "Zarvel-Update.log");
    WriteLog("nothing happens");
    CloseLog();
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "missing-folder"));
}

TEST_F(LogTest, ConcurrentWritersNeverInterleave) {
    OpenLog(path_);
    constexpr int kThreads = 8;
    constexpr int kLines = 1000;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) WriteLog("thread " + std::to_string(t) + " line " + std::to_string(i) + " end");
        });
    }
    for (auto& writer : writers) writer.join();
    CloseLog();

    std::istringstream lines(ReadAll(path_));
    std::string line;
    std::vector<int> next(kThreads, 0);
    int count = 0;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        int thread = -1;
        int index = -1;
        char tail[8] = {};
        ASSERT_EQ(3, std::sscanf(line.c_str(), "09:05:07  thread %d line %d %3s", &thread, &index, tail)) << line;
        ASSERT_STREQ("end", tail);
        ASSERT_EQ(next[thread], index) << "lines of one thread keep their order";
        ++next[thread];
        ++count;
    }
    EXPECT_EQ(kThreads * kLines, count);
}

} // namespace
