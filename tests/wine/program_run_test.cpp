// The real program, started as a user starts it (from a folder without assets, from a drive's
// root, twice), closed as a user closes it, and crashing on purpose.

#include <iterator>
#include <regex>
#include <tuple>

#include "tests/support/wine_unix.h"
#include "tests/wine/golden.h"

#include <dbghelp.h> // its types only, after windows.h

namespace {

// Zarvel-Update.exe started from a folder; its window once shown, its exit code once closed.
class Program {
public:
    Program(const std::filesystem::path& exe, const std::filesystem::path& currentFolder) {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        EXPECT_TRUE(CreateProcessW(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, currentFolder.c_str(), &startup, &process_)) << exe;
    }
    ~Program() { // the terminate does nothing once it has ended
        TerminateProcess(process_.hProcess, 99);
        const OwnedHandle process(process_.hProcess), thread(process_.hThread);
    }
    HWND Window() const { // the only one of its class: this process has none open now
        HWND window = nullptr;
        EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window = FindWindowW(kMainWindowClass, kMainWindowTitle)); }, 60000));
        return window;
    }
    DWORD ExitCode(DWORD timeoutMs = 60000) const {
        DWORD exitCode = 99;
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process_.hProcess, timeoutMs));
        GetExitCodeProcess(process_.hProcess, &exitCode);
        return exitCode;
    }
    DWORD Close() const { // while it scans: it must end promptly
        PostMessageW(Window(), WM_CLOSE, 0, 0);
        return ExitCode();
    }

private:
    PROCESS_INFORMATION process_ = {};
};

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::string kTime = "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]  ";
const std::string kStartLines = kTime + "Zarvel Update started\r\n" + kTime + "Administrator elevation: (yes|no)\r\n";

// Without the Variable faces (Windows 10 has Segoe UI only) one line says Segoe UI stands in. A one-copy mark
// that another program holds, with no window of ours, keeps no copy from starting.
TEST(ProgramRun, ClosedByTheUserItEndsWithZeroAfterLoggingItsStart) {
    const wchar_t* const faces[] = {L"Segoe UI Variable Text", L"Segoe UI Variable Display"};
    const std::wstring replacements = L"Software\\Wine\\Fonts\\Replacements", standIn = L"Open Sans"; // as the Wine set-up names both
    TempDir dir;
    const std::filesystem::path program = dir.path() / L"Zarvel-Update.exe";
    std::filesystem::copy_file(WinePath(ZARVEL_PROGRAM), program);
    std::ofstream(dir.path() / L"Zarvel-Update.log", std::ios::binary) << "earlier run\r\n";
    for (const wchar_t* face : faces) // read as the program starts
        RegDeleteKeyValueW(HKEY_CURRENT_USER, replacements.c_str(), face);
    OwnedHandle planted(CreateMutexW(nullptr, FALSE, L"Local\\ZarvelUpdate-OneCopy"));
    const Program run(program, dir.path());
    const HWND window = run.Window();
    for (const wchar_t* face : faces)
        RegSetKeyValueW(HKEY_CURRENT_USER, replacements.c_str(), face, REG_SZ, standIn.c_str(), static_cast<DWORD>((standIn.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(0, SendMessageW(window, WM_GETICON, ICON_BIG, 0)) << "no icon.png, no icon";
    EXPECT_EQ(0u, run.Close());
    planted.Reset();
    const std::string log = ReadAll(dir.path() / L"Zarvel-Update.log");
    EXPECT_TRUE(std::regex_search(log, std::regex("^earlier run\r\n" + kStartLines))) << log;
    EXPECT_NE(std::string::npos, log.find("Interface font: Segoe UI (Segoe UI Variable not installed)")) << log;
    EXPECT_EQ(std::string::npos, log.find("Another copy")) << log;
}

// Unpacked onto a USB stick and started twice (a double click twice while elevation is asked for): at a drive's
// root it keeps its log and finds its pictures there, whatever the current folder; the second copy brings the
// first one's window to the front, restored, and ends.
TEST(ProgramRun, FromADrivesRootLogsThereAndASecondStartHandsOverToTheFirstCopy) {
    TempDir dir;
    std::filesystem::copy_file(WinePath(ZARVEL_PROGRAM), dir.path() / L"Zarvel-Update.exe");
    std::filesystem::copy(WinePath(ZARVEL_PROGRAM).parent_path() / L"assets", dir.path() / L"assets");
    const std::string dosDevices = std::filesystem::path(UnixName(L"C:\\")).parent_path().parent_path().string();
    RunUnix(L"Z:\\bin\\ln", {"-sfn", UnixName(dir.path()), dosDevices + "/r:"}, [] { return std::filesystem::exists(L"R:\\Zarvel-Update.exe"); });
    {
        const Program first(L"R:\\Zarvel-Update.exe", L"C:\\");
        const HWND window = first.Window();
        ExpectGolden(window, "connect-searching"); // its pictures from R:\\assets
        ShowWindow(window, SW_MINIMIZE);
        ASSERT_TRUE(PumpUntil([&] { return IsIconic(window) != FALSE; }));
        EXPECT_EQ(0u, Program(L"R:\\Zarvel-Update.exe", L"C:\\").ExitCode());
        EXPECT_TRUE(PumpUntil([&] { return !IsIconic(window) && GetForegroundWindow() == window; })) << "restored, in front";
        EXPECT_EQ(nullptr, FindWindowExW(nullptr, window, kMainWindowClass, nullptr)) << "one window";
        EXPECT_EQ(0u, first.Close());
    }
    const std::string log = ReadAll(L"R:\\Zarvel-Update.log");
    const size_t secondStart = log.find("Zarvel Update started", log.find("Zarvel Update started") + 1);
    const size_t handOver = log.find("  Another copy is already running; its window was brought to the front\r\n");
    EXPECT_TRUE(std::regex_search(log, std::regex("^" + kStartLines))) << log;
    EXPECT_EQ(std::string::npos, log.find("Interface font")) << "the Variable faces installed: " << log;
    EXPECT_TRUE(secondStart != std::string::npos && handOver > secondStart && handOver == log.rfind("  Another copy")) << log;
    RunUnix(L"Z:\\bin\\rm", {"-f", dosDevices + "/r:"}, [] { return !std::filesystem::exists(L"R:\\"); });
}

#ifdef ZARVEL_CRASH_TRIGGER
// What support reads first in a dump: the exception's code, and its thread in the thread list.
std::string DumpSummary(const std::string& dump) {
    const auto* header = reinterpret_cast<const MINIDUMP_HEADER*>(dump.data());
    if (dump.size() < sizeof(MINIDUMP_HEADER) || header->Signature != 0x504D444D) return "no minidump"; // "MDMP"
    const auto* streams = reinterpret_cast<const MINIDUMP_DIRECTORY*>(dump.data() + header->StreamDirectoryRva);
    const MINIDUMP_EXCEPTION_STREAM* exception = nullptr;
    const MINIDUMP_THREAD_LIST* threads = nullptr;
    for (ULONG32 i = 0; i < header->NumberOfStreams; ++i) {
        const void* data = dump.data() + streams[i].Location.Rva;
        if (streams[i].StreamType == ExceptionStream) exception = static_cast<const MINIDUMP_EXCEPTION_STREAM*>(data);
        if (streams[i].StreamType == ThreadListStream) threads = static_cast<const MINIDUMP_THREAD_LIST*>(data);
    }
    if (exception == nullptr || threads == nullptr) return "no exception or no thread list";
    const bool listed = std::any_of(threads->Threads, threads->Threads + threads->NumberOfThreads,
                                    [&](const MINIDUMP_THREAD& thread) { return thread.ThreadId == exception->ThreadId; });
    char code[16];
    std::snprintf(code, sizeof(code), "0x%08lX", static_cast<unsigned long>(exception->ExceptionRecord.ExceptionCode));
    return code + std::string(listed ? ", its thread listed" : ", its thread missing");
}

std::set<std::string> FilesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// A real fault on a worker thread, in a window procedure the system called, with malloc's heap held by
// another thread, then std::terminate: each leaves a dump and its log line within 30 s, the process gone
// by itself with its code; the next start names the newest dump.
TEST(ProgramRun, ACrashLeavesADumpAndALogLineThatTheNextStartPointsTo) {
    TempDir dir;
    const std::filesystem::path program = dir.path() / L"Zarvel-Update.exe";
    std::filesystem::copy_file(WinePath(ZARVEL_PROGRAM), program);
    std::set<std::string> before = FilesIn(dir.path()), dumps;
    for (const auto& [trigger, code, logged] : {std::tuple{L"worker", DWORD{EXCEPTION_ACCESS_VIOLATION}, "0xC0000005"},
                                                std::tuple{L"window", DWORD{EXCEPTION_ACCESS_VIOLATION}, "0xC0000005"},
                                                std::tuple{L"heap", DWORD{EXCEPTION_ACCESS_VIOLATION}, "0xC0000005"},
                                                std::tuple{L"terminate", DWORD{0x40000015}, "0x40000015"}}) {
        SetEnvironmentVariableW(L"ZARVEL_TEST_CRASH", trigger);
        const Program crashing(program, dir.path());
        SetEnvironmentVariableW(L"ZARVEL_TEST_CRASH", nullptr);
        const ULONGLONG started = GetTickCount64();
        EXPECT_EQ(code, crashing.ExitCode(30000)) << "no dialog holds it";
        std::printf("%ls: ended after %llu ms\n", trigger, GetTickCount64() - started);
        std::set<std::string> added = FilesIn(dir.path());
        for (const std::string& name : before) added.erase(name);
        const std::string dump = added.empty() ? std::string() : *added.begin(); // sorts before the exe and the log
        ASSERT_EQ(0u, dump.rfind("Zarvel-Update-crash-2", 0)) << dump;
        EXPECT_EQ(std::string(logged) + ", its thread listed", DumpSummary(ReadAll(dir.path() / dump)));
        const std::string log = ReadAll(dir.path() / L"Zarvel-Update.log");
        EXPECT_NE(std::string::npos, log.find("  Crash: exception " + std::string(logged) + "; dump " + dump + "\r\n")) << log;
        dumps.insert(dump);
        before = FilesIn(dir.path());
    }
    EXPECT_EQ(0u, Program(program, dir.path()).Close());
    const std::string log = ReadAll(dir.path() / L"Zarvel-Update.log");
    EXPECT_NE(std::string::npos, log.find("  A crash dump of an earlier run is in " + *dumps.rbegin() + "\r\n")) << log;
}
#endif

} // namespace
