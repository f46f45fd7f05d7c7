// Text conversion, the log and the notifications to the window.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <new>
#include <sstream>
#include <thread>
#include <tuple>

#include "core/app_state.h"
#include "core/crash_dump.h"
#include "core/history.h"
#include "core/history_file.h"
#include "core/log.h"
#include "core/log_file.h"
#include "core/notifications.h"
#include "core/program_folder.h"
#include "tests/support/approved.h"
#include "tests/support/fakes.h"
#include "text/text.h"

#ifdef _WIN32
#include <windows.h>

#include "core/scoped_handle_win32.h"
#include "tests/support/wine_unix.h"
#endif

namespace {

const std::wstring kBad = L"\uFFFD";

TEST(Text, Utf8ToWideDecodesAndReplacesEachMalformedByte) {
    const std::pair<std::string, std::wstring> rows[] = {
        {"1.2.3 \xD0\x9A\xD1\x81\xD0\xB0", L"1.2.3 Кса"},
        {std::string(1, '\0'), std::wstring(1, L'\0')},
        {"\xF0\x90\x80\x80 \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF", L"\U00010000 \U0001F600 \U0010FFFF"},
        {"a\x80" "b", L"a" + kBad + L"b"},                          // stray continuation byte
        {"\xD0" "a v\xD0", kBad + L"a v" + kBad},                   // sequence cut short
        {"\xC0\xAF", kBad + kBad},                                  // overlong slash
        {"\xE0\x9F\xBF", kBad + kBad + kBad},                       // overlong U+07FF
        {"\xED\xA0\x80", kBad + kBad + kBad},                       // encoded surrogate
        {"\xED\xBF\xBF", kBad + kBad + kBad},                       // the last encoded surrogate
        {"\xF4\x90\x80\x80", kBad + kBad + kBad + kBad},            // beyond U+10FFFF
        {"\xF8\x88\x80\x80\x80", kBad + kBad + kBad + kBad + kBad}, // no such lead byte
    };
    for (const auto& [utf8, wide] : rows) EXPECT_EQ(wide, Utf8ToWide(utf8)) << utf8;
}

// Wide text is UTF-16 on Windows (run under Wine) and UTF-32 here: the rows hold for both.
TEST(Text, WideToUtf8EncodesAndReplacesUnpairedSurrogates) {
    const std::pair<std::wstring, std::string> rows[] = {
        {L"Пр v1.2 \U0001F600", "\xD0\x9F\xD1\x80 v1.2 \xF0\x9F\x98\x80"},
        {L"\U00010000\U0010FFFF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
        {std::wstring(1, wchar_t(0xD800)) + L"a", "\xEF\xBF\xBD" "a"},
        {std::wstring(1, wchar_t(0xDFFF)) + wchar_t(0xDC00) + wchar_t(0xDBFF), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& [wide, utf8] : rows) EXPECT_EQ(utf8, WideToUtf8(wide));
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

#ifdef _WIN32
const std::string kEol = "\r\n"; // the log is a text-mode file
#else
const std::string kEol = "\n";
#endif

const LogClockHooks kFiveAfterNine{.now = [] { return LogTime{.hour = 9, .minute = 5, .second = 7}; }};

class LogTest : public ::testing::Test {
protected:
    void SetUp() override { SetLogClockHooks(&kFiveAfterNine); }
    void TearDown() override { CloseLog(); SetLogClockHooks(nullptr); }
    TempDir dir_;
    const std::filesystem::path path_ = dir_.path() / "Zarvel-Update.log";
};

TEST_F(LogTest, AppendsPaddedTimeTwoSpacesAndTheMessageByteForByte) {
    std::ofstream(path_, std::ios::binary) << "old" << kEol;
    OpenLog(path_);
    for (const std::string& message : {std::string("started"), std::string(), std::string("a\nb"), std::string("a\0b", 3)}) WriteLog(message);
    CloseLog();
    WriteLog("after closing");
    EXPECT_EQ("old" + kEol + "09:05:07  started" + kEol + "09:05:07  " + kEol + "09:05:07  a" + kEol + "b" + kEol + "09:05:07  " +
                  std::string("a\0b", 3) + kEol,
              ReadAll(path_));
    OpenLog(dir_.path() / "missing-folder" / "x.log"); // cannot be opened: writes are silent
    WriteLog("nothing happens");
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "missing-folder"));
    OpenLog("Zarvel-Update-relative.log"); // where "E:" + name leads: the current folder
    WriteLog("nothing happens");
    // Removed if made: left behind, it would fail this test in every later run from this folder.
    EXPECT_FALSE(std::filesystem::remove("Zarvel-Update-relative.log"));
}

// The crash handler's write gives way to a thread that holds the log instead of waiting for it.
TEST_F(LogTest, ATryWriteGivesWayWhileAnotherThreadHoldsTheLog) {
    OpenLog(path_);
    {
        const std::lock_guard<std::mutex> held(App().logMutex);
        std::thread([] { EXPECT_FALSE(TryWriteLog("given way")); }).join();
    }
    EXPECT_TRUE(TryWriteLog("written"));
    EXPECT_EQ("09:05:07  written" + kEol, ReadAll(path_));
}

// The executable's folder, also at the root of a drive or a share, and the log's path in it.
TEST(ProgramFolder, KeepsARootWithItsBackslash) {
    const std::pair<const wchar_t*, const wchar_t*> rows[] = {
        {L"E:\\Zarvel-Update.exe", L"E:\\"}, {L"E:\\tools\\\\Zarvel-Update.exe", L"E:\\tools"}, {L"Zarvel-Update.exe", L""},
        {L"\\\\server\\share\\Zarvel-Update.exe", L"\\\\server\\share\\"}, {L"\\\\server\\share\\tools\\Zarvel-Update.exe", L"\\\\server\\share\\tools"},
        {L"\\\\?\\C:\\Zarvel-Update.exe", L"\\\\?\\C:\\"}, {L"\\\\?\\UNC\\server\\share\\Zarvel-Update.exe", L"\\\\?\\UNC\\server\\share\\"},
        {L"\\\\.\\UNC\\server\\share\\Zarvel-Update.exe", L"\\\\.\\UNC\\server\\share\\"}, // the device namespace's form of a share
    };
    for (const auto& [path, folder] : rows) EXPECT_EQ(folder, FolderOfPath(path)) << path;
    EXPECT_EQ(L"\\\\?\\R:\\Zarvel-Update.log|\\\\?\\C:\\tools\\Zarvel-Update.log",
              PathInFolder(L"\\\\?\\R:\\", L"Zarvel-Update.log") + L"|" + PathInFolder(L"\\\\?\\C:\\tools", L"Zarvel-Update.log"));
}

// Links to another name are refused in the log's place; a synced folder's placeholders are not.
TEST(LogFile, RefusesReparsePointsThatLinkToAnotherName) {
    const std::pair<uint32_t, bool> rows[] = {
        {0xA000000C, true}, {0xA0000003, true},   // a symbolic link, a junction or mount point
        {0x9000001A, false}, {0x9000F01A, false}, // cloud-file placeholders of two providers
        {0x00001234, false}, {0x20001234, true},  // tags nobody knows, the second one saying it links
    };
    for (const auto& [tag, link] : rows) EXPECT_EQ(link, IsLinkReparseTag(tag)) << std::hex << tag;
}

// The program runs elevated: a link planted where its log goes (under Wine a Unix symlink) must
// not be written through.
TEST_F(LogTest, IsNotWrittenThroughALinkInItsPlace) {
    for (const bool symbolic : {true, false}) {
        const std::filesystem::path target = dir_.path() / "elsewhere.txt";
        std::ofstream(target, std::ios::binary) << "precious";
#ifdef _WIN32
        if (symbolic) RunUnix(L"Z:\\bin\\ln", {"-s", UnixName(target), UnixName(path_)}, [&] { return std::filesystem::exists(path_); });
#else
        if (symbolic) std::filesystem::create_symlink(target, path_);
#endif
        if (!symbolic) std::filesystem::create_hard_link(target, path_);
        OpenLog(path_);
        WriteLog("through the link");
        CloseLog();
        EXPECT_EQ("precious", ReadAll(target)) << symbolic;
#ifdef _WIN32
        // Wine would delete the target of a Unix symlink in place of the link itself.
        if (symbolic) RunUnix(L"Z:\\bin\\rm", {"-f", UnixName(path_)}, [&] { return !std::filesystem::exists(path_); });
#endif
        std::filesystem::remove(path_);
    }
}

TEST_F(LogTest, ConcurrentWritersNeverInterleave) {
    OpenLog(path_);
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < 500; ++i) WriteLog("thread " + std::to_string(t) + " line " + std::to_string(i));
        });
    for (std::thread& writer : writers) writer.join();
    CloseLog();
    std::istringstream lines(ReadAll(path_));
    std::vector<int> next(4, 0); // the lines of one thread keep their order
    for (std::string line; std::getline(lines, line);) {
        const int thread = line.size() > 17 ? line[17] - '0' : 0;
        ASSERT_EQ("09:05:07  thread " + std::to_string(thread) + " line " + std::to_string(next.at(thread)++) + kEol, line + "\n");
    }
    EXPECT_EQ(std::vector<int>(4, 500), next);
}

// Checked before each write, the first of the run included: the log never grows far past 10 MiB.
// A rename that fails (here the .1 name is no plain file; on Windows, mostly, another program
// holds the log without delete sharing) loses no line and is not tried again in this run.
TEST_F(LogTest, OnceItHasReachedTheRotationSizeBecomesTheDotOneLogAndANewOneBegins) {
    SetLogRotationBytes(100);
    const std::filesystem::path rotated = dir_.path() / "Zarvel-Update.1.log";
    const std::string continued = "09:05:07  Log continued; the previous part is Zarvel-Update.1.log" + kEol;
    const std::string first = "09:05:07  first" + kEol, second = "09:05:07  second" + kEol;
    const struct {
        size_t size;
        std::string rotated, log; // rotated "": the .1 name is a folder
    } rows[] = {
        {99, std::string(99, 'o') + first, continued + second}, // one byte short: the second write rotates
        {100, std::string(100, 'o'), continued + first + second},
        {100, "", std::string(100, 'o') + "09:05:07  Log could not be renamed to Zarvel-Update.1.log; it grows on until the next start" + kEol + first + second},
    };
    for (const auto& row : rows) {
        std::ofstream(path_, std::ios::binary) << std::string(row.size, 'o');
        std::filesystem::remove(rotated);
        if (row.rotated.empty()) std::filesystem::create_directories(rotated / "inside");
        else std::ofstream(rotated, std::ios::binary) << "older";
        OpenLog(path_);
        WriteLog("first");
        WriteLog("second");
        CloseLog();
        EXPECT_EQ(row.rotated, std::filesystem::is_directory(rotated) ? "" : ReadAll(rotated)) << row.size;
        EXPECT_EQ(row.log, ReadAll(path_)) << row.size;
    }
    SetLogRotationBytes(0);
}

HistoryEntry SampleEntry() {
    return {.handled = {.hour = 14, .minute = 3, .second = 12, .year = 2026, .month = 12, .day = 7}, .comPort = 5, .station = "ZDS 3.1",
            .versionBefore = "1.1.0", .fileName = "fw_v1.2.0.bin", .fileVersion = "1.2.0", .crc32 = 0x0BADF00D, .blocks = 512,
            .batteryVolts = 3.896, .seconds = 311, .result = Succeeded, .message = ""};
}

// A reply must neither break the columns nor run as a formula; a version is kept as text by Excel's text formula.
TEST(History, AnEntryIsOneLineOfTwelveFieldsHostileOnesQuotedAndNoFormulaButTheVersionsTextForm) {
    const std::string longest(200, '9'), tooLong = "=" + std::string(9999, '9');
    const std::tuple<std::string, std::string, std::string> rows[] = {
        {"ZDS 3.1", "ZDS 3.1", "=\"ZDS 3.1\""}, {"a;b", "\"a;b\"", "\"=\"\"a;b\"\"\""}, {"say \"hi\"", "\"say \"\"hi\"\"\"", "=\"say \"\"hi\"\"\""}, {"a\r\nb", "\"a\r\nb\"", "\"a\r\nb\""},
        {"=1+1", "'=1+1", "=\"=1+1\""}, {"+1", "'+1", "=\"+1\""}, {"-1\x7F", "'-1\x7F", "'-1\x7F"}, {"", "", ""}, {"@SUM(A1)", "'@SUM(A1)", "=\"@SUM(A1)\""},
        {"=HYPERLINK(\"x\";1)", "\"'=HYPERLINK(\"\"x\"\";1)\"", "\"=\"\"=HYPERLINK(\"\"\"\"x\"\"\"\";1)\"\"\""}, {"1=1", "1=1", "=\"1=1\""}, {longest, longest, "=\"" + longest + "\""},
        {tooLong, "'" + tooLong, "'" + tooLong}, {"=1\t;", "\"'=1\t;\"", "\"'=1\t;\""},
    };
    for (const auto& [text, field, version] : rows) {
        HistoryEntry entry = SampleEntry();
        entry.station = entry.versionBefore = entry.fileVersion = text;
        EXPECT_EQ("2026-12-07 14:03:12;COM5;" + field + ";" + version + ";fw_v1.2.0.bin;" + version + ";0x0BADF00D;512;3,89;311;успешно;", HistoryLine(entry));
    }
}

// Excel on a Russian Windows opens a UTF-8 file with a byte-order mark and ';' in columns.
TEST_F(LogTest, HistoryGetsAMarkAndAHeaderWhenNewAndEachLineEndsInOneCrLf) {
    const std::filesystem::path history = dir_.path() / "sub" / "Zarvel-Update-history.csv";
    OpenLog(path_);
    SetHistoryPath(history);
    AppendHistory(SampleEntry()); // its folder is missing: the line waits
    std::filesystem::create_directory(history.parent_path());
    HistoryEntry failed = SampleEntry();
    failed.result = Failed, failed.message = "Дата-станция потеряна.";
    AppendHistory(failed);
    AppendHistory(SampleEntry());
    SetHistoryPath({});
    AppendHistory(SampleEntry()); // no history set: nothing is written
    CloseLog();
    ExpectApproved("History.a mark, a header and three lines", ReadAll(history));
    EXPECT_EQ("09:05:07  Update history cannot be written" + kEol + "09:05:07  Update history written: 1 waiting lines added" + kEol, ReadAll(path_));
}

// The history and its pending file by name ('h', 'p'): the content, the error an append meets; the pending one may be not ours.
struct FakeHistoryFiles { std::map<char, std::string> content; std::map<char, uint32_t> error; bool refused = false, removeFails = false; } files;
char Key(const std::filesystem::path& path) { return path.filename() == "Zarvel-Update-history-pending.csv" ? 'p' : 'h'; }
const HistoryFileHooks kFakeHistoryFiles = {
    .append = [](const std::filesystem::path& path, const std::string& head, const std::string& lines) {
        return files.error[Key(path)] != 0 ? files.error[Key(path)] : (files.content[Key(path)] += (files.content[Key(path)].empty() ? head : "") + lines, 0u); },
    .read = [](const std::filesystem::path& path, const std::string& head, std::string* lines) { const std::string& file = files.content[Key(path)];
        return files.refused && Key(path) == 'p' ? HistoryFileRead::Refused : file.empty() ? HistoryFileRead::Absent : (*lines = file.substr(head.size()), HistoryFileRead::Ours); },
    .remove = [](const std::filesystem::path& path) { return !files.removeFails && files.content.erase(Key(path)) != 0; },
};

// The real files: a pending file that is a folder, a hard link or not ours is never used; a history held as a spreadsheet holds it is in use.
TEST_F(LogTest, HistoryFilesReadOnlyTheirOwnAndTellWhyTheyCannotBeWritten) {
    const std::filesystem::path file = dir_.path() / "p.csv", folder = dir_.path() / "folder", linked = dir_.path() / "linked.csv";
    std::string lines;
    EXPECT_EQ(HistoryFileRead::Absent, ReadHistoryFile(file, "head", &lines));
    EXPECT_EQ(0u, AppendHistoryFile(file, "head", "a\r\n") + AppendHistoryFile(file, "head", "b\r\n"));
    EXPECT_EQ(HistoryFileRead::Ours, ReadHistoryFile(file, "head", &lines));
    EXPECT_EQ("a\r\nb\r\n", lines);
    std::filesystem::create_directory(folder), std::filesystem::create_hard_link(file, linked);
    for (const auto& [path, head] : {std::pair{file, "other"}, {folder, "head"}, {linked, "head"}}) EXPECT_EQ(HistoryFileRead::Refused, ReadHistoryFile(path, head, &lines)) << path;
    EXPECT_NE(0u, AppendHistoryFile(linked, "head", "c\r\n") * std::filesystem::remove(linked));
    EXPECT_TRUE(RemoveHistoryFile(file) && !std::filesystem::exists(file));
#ifdef _WIN32
    const OwnedHandle spreadsheet = OwnFile(CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, 0, nullptr));
    EXPECT_EQ(kSharingViolation, AppendHistoryFile(file, "head", "c\r\n"));
#endif
}

// Locked, full, freed, locked again, exit and a new start: every line in the history once, in order; a pending file not ours is never used.
TEST_F(LogTest, HistoryLinesThatCannotBeAddedWaitInThePendingFileAndGoInInOrderOnce) {
    const struct { char op; uint32_t history, pending; bool told, wait; std::string added, waiting; } steps[] = {
        {'a', 32, 0, true, true, "", "1"}, {'a', 33, 0, false, true, "", "12"}, {'a', 32, 33, false, true, "", "12"}, {'a', 112, 112, false, true, "", "12"},
        {'f', 112, 0, false, true, "", "1234"}, {'x', 0, 0, false, false, "1234", "1234"}, {'a', 0, 0, false, false, "12345", ""},
        {'a', 112, 0, true, true, "12345", "6"}, {'f', 32, 0, false, true, "12345", "6"}, {'s', 0, 0, false, false, "123456", ""},
        {'r', 5, 0, true, true, "123456", "not ours"}, {'a', 0, 0, false, false, "12345678", "not ours"},
    };
    SetHistoryFileHooks(&kFakeHistoryFiles);
    OpenLog(path_);
    SetHistoryPath(dir_.path() / "Zarvel-Update-history.csv");
    const auto numbered = [](char n) { HistoryEntry entry = SampleEntry(); entry.station = std::string(1, n); return entry; };
    const auto lines = [&](const std::string& numbers, std::string text = "\xEF\xBB\xBF" + HistoryHeader() + "\r\n") {
        for (const char n : numbers) text += HistoryLine(numbered(n)) + "\r\n";
        return numbers.empty() ? "" : text; };
    int line = 0;
    for (const auto& step : steps) {
        files.error = {{'h', step.history}, {'p', step.pending}}, files.removeFails = step.op == 'x';
        if (step.op == 's') SetHistoryPath(dir_.path() / "Zarvel-Update-history.csv");
        if (step.op == 'r') files.refused = true, files.content['p'] = "not ours";
        const HistoryBlockage blockage = step.op == 'f' || step.op == 'x' || step.op == 's'
            ? HistoryBlockage{.linesWait = FlushHistory()} : AppendHistory(numbered(static_cast<char>('0' + ++line)));
        EXPECT_EQ(step.told, blockage.told) << line;
        EXPECT_EQ(step.wait, blockage.linesWait) << line;
        EXPECT_EQ(lines(step.added), files.content['h']) << line;
        EXPECT_EQ(step.waiting == "not ours" ? step.waiting : lines(step.waiting), files.content['p']) << line;
    }
    SetHistoryFileHooks(nullptr);
    const std::string cannot = "09:05:07  Update history cannot be written", waits = "; the line waits in Zarvel-Update-history-pending.csv" + kEol;
    EXPECT_EQ(cannot + " (the file is in use)" + waits + "09:05:07  Update history written: 4 waiting lines added" + kEol + cannot + " (Windows error 112)" + waits +
                  "09:05:07  Update history written: 1 waiting lines added" + kEol + cannot + kEol + "09:05:07  Update history written: 1 waiting lines added" + kEol,
              ReadAll(path_));
}

TEST_F(LogTest, EarlierCrashDumpsKeepTheNewestThreeAndTheNewestIsLoggedOnce) {
    EXPECT_EQ("Zarvel-Update-crash-20261207-140312.dmp", CrashDumpName({14, 3, 12, 2026, 12, 7}, 1));
    EXPECT_EQ("Zarvel-Update-crash-20261207-140312-2.dmp", CrashDumpName({14, 3, 12, 2026, 12, 7}, 2));
    const char* const names[] = {"Zarvel-Update-crash-20261207-140312.dmp", "Zarvel-Update-crash-20261207-140312-2.dmp",
                                 "Zarvel-Update-crash-20261207-140312-10.dmp", "Zarvel-Update-crash-20261130-235959.dmp",
                                 "Zarvel-Update-crash-2026120-140312.dmp", "Zarvel-Update-crash-20261207-140312-1.dmp", "notes.txt"};
    for (const char* name : names) std::ofstream(dir_.path() / name) << name;
    OpenLog(path_);
    ReviewCrashDumps(dir_.path());
    ReviewCrashDumps(dir_.path());
    CloseLog();
    for (const char* name : names) EXPECT_EQ(name != names[3], std::filesystem::exists(dir_.path() / name)) << name;
    EXPECT_EQ("09:05:07  A crash dump of an earlier run is in Zarvel-Update-crash-20261207-140312-10.dmp" + kEol, ReadAll(path_));
}

// A text posted to the window belongs to the window (the workers' transcripts show such posts); one
// that cannot be posted is freed by the sender (the sanitizers see a leak or a double free).
TEST(Notifications, PostCopiesOfTheirTextsOrFreeThem) {
    Rig rig;
    rig.onPost = [](const std::wstring& post) {
        if (post != L"done 0: ") throw std::bad_alloc();
    };
    PostOperationDone(Failed, L"no memory for this text"); // the end still goes, without its text
    rig.onPost = {};
    rig.refusing = true;
    PostStatusLine(1, L"refused");
    PostOperationDone(Failed, L"refused");
    EXPECT_FALSE(PostNotification(MSG_PROGRESS, 10, 0));
    EXPECT_EQ(std::vector<std::wstring>{L"done 0: "}, rig.Posts());
}

} // namespace
