#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/log.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
#endif

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

#ifdef _WIN32
// Runs a Unix program of the machine under Wine (ln, rm) on the Unix names of paths, and waits
// until done() holds: Wine may report such a process ended before it has run.
template <typename Done>
void RunUnix(const wchar_t* program, const wchar_t* options, std::initializer_list<std::filesystem::path> paths,
             Done done) {
    using UnixName = char*(CDECL*)(LPCWSTR);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    ASSERT_NE(nullptr, unixName) << "Windows tests run under Wine";
    std::wstring command = std::wstring(program) + L" " + options;
    for (const std::filesystem::path& path : paths) {
        char* name = unixName(path.c_str());
        ASSERT_NE(nullptr, name);
        command += L" \"" + std::filesystem::path(name).wstring() + L"\"";
        HeapFree(GetProcessHeap(), 0, name);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(program, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    for (int tries = 0; tries < 1000 && !done(); ++tries) Sleep(10);
}
#endif

// A symbolic link as the file system holds it: under Wine a Unix symlink, which is what a link
// planted in the program's folder becomes there.
void PlantSymlink(const std::filesystem::path& target, const std::filesystem::path& link) {
#ifdef _WIN32
    RunUnix(L"Z:\\bin\\ln", L"-s", {target, link}, [&] { return std::filesystem::exists(link); });
#else
    std::filesystem::create_symlink(target, link);
#endif
}

// Wine deletes the target of a Unix symlink in place of the link itself.
void RemoveSymlink(const std::filesystem::path& link) {
#ifdef _WIN32
    RunUnix(L"Z:\\bin\\rm", L"-f", {link}, [&] { return !std::filesystem::exists(link); });
#else
    std::filesystem::remove(link);
#endif
}

// The program runs elevated; a link planted where its log goes must not be written through.
TEST_F(LogTest, IsNotWrittenThroughALinkInItsPlace) {
    for (const char* kind : {"symbolic", "hard"}) {
        SCOPED_TRACE(kind);
        const std::filesystem::path folder = dir_.path() / kind;
        const std::filesystem::path target = folder / "elsewhere.txt";
        const std::filesystem::path log = folder / "Zarvel-Update.log";
        std::filesystem::create_directory(folder);
        { std::ofstream(target, std::ios::binary) << "precious"; }
        if (kind[0] == 's') {
            PlantSymlink(target, log);
        } else {
            std::filesystem::create_hard_link(target, log);
        }
        ASSERT_TRUE(std::filesystem::exists(log));
        OpenLog(log);
        WriteLog("through the link");
        CloseLog();
        EXPECT_EQ("precious", ReadAll(target));
        if (kind[0] == 's') RemoveSymlink(log);
    }
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
