// The real program, started from a folder without assets and closed as a user closes it; and
// the same program crashing on purpose.

#include <iterator>
#include <regex>
#include <tuple>

#include "tests/wine/window_harness.h"

#include <dbghelp.h> // its types only, after windows.h

namespace {

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The program copied into dir and started there, as from a shortcut.
PROCESS_INFORMATION StartProgram(const TempDir& dir) {
    const std::filesystem::path program = dir.path() / L"Zarvel-Update.exe";
    if (!std::filesystem::exists(program)) std::filesystem::copy_file(WinePath(ZARVEL_PROGRAM), program);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    EXPECT_TRUE(CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, dir.path().c_str(), &startup, &process));
    return process;
}

// Waits for the process to end and returns its exit code.
DWORD EndOf(PROCESS_INFORMATION& process, DWORD timeoutMs) {
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, timeoutMs));
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    TerminateProcess(process.hProcess, 99); // nothing once it has ended
    CloseHandle(process.hProcess), CloseHandle(process.hThread);
    return exitCode;
}

// Closes the program's window as the user does once it shows; returns the exit code.
DWORD CloseProgram(PROCESS_INFORMATION& process) {
    HWND window = nullptr; // the only one of its class: this process has none open now
    EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window = FindWindowW(kMainWindowClass, kMainWindowTitle)); }, 60000));
    PostMessageW(window, WM_CLOSE, 0, 0); // while its monitor scans the ports: it must end promptly
    return EndOf(process, 30000);
}

// Without the Variable faces (Windows 10 has Segoe UI only) one line says Segoe UI stands in.
TEST(ProgramRun, StartsLogsItsStartAndFaceAndExitsWithZeroWhenClosed) {
    const wchar_t* const faces[] = {L"Segoe UI Variable Text", L"Segoe UI Variable Display"};
    const std::wstring replacements = L"Software\\Wine\\Fonts\\Replacements";
    const std::wstring standIn = L"Open Sans"; // as the Wine set-up names both
    for (const bool variableFaces : {true, false}) {
        SCOPED_TRACE(variableFaces ? "Variable faces installed" : "Segoe UI only");
        TempDir dir;
        std::ofstream(dir.path() / L"Zarvel-Update.log", std::ios::binary) << "earlier run\r\n";
        for (const wchar_t* face : faces) // the mapping is read as the program starts
            if (!variableFaces) RegDeleteKeyValueW(HKEY_CURRENT_USER, replacements.c_str(), face);
        PROCESS_INFORMATION process = StartProgram(dir);
        HWND window = nullptr;
        EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window = FindWindowW(kMainWindowClass, kMainWindowTitle)); }, 60000));
        for (const wchar_t* face : faces)
            RegSetKeyValueW(HKEY_CURRENT_USER, replacements.c_str(), face, REG_SZ, standIn.c_str(),
                            static_cast<DWORD>((standIn.size() + 1) * sizeof(wchar_t)));
        EXPECT_EQ(0, SendMessageW(window, WM_GETICON, ICON_BIG, 0)) << "no icon.png, no icon";
        EXPECT_EQ(0u, CloseProgram(process));
        const std::string log = ReadAll(dir.path() / L"Zarvel-Update.log");
        const std::string time = "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]  ";
        EXPECT_TRUE(std::regex_search(log, std::regex("^earlier run\r\n" + time + "Zarvel Update started\r\n" + time +
                                                      "Administrator elevation: (yes|no)\r\n"))) << log;
        EXPECT_EQ(!variableFaces, log.find("Interface font: Segoe UI (Segoe UI Variable not installed)") != std::string::npos);
    }
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

// A real fault on a worker thread, then std::terminate: each leaves a dump and its log line, the
// process gone by itself with its code; the next start keeps the newest three and names the last.
TEST(ProgramRun, ACrashLeavesADumpAndALogLineAndTheNextStartKeepsTheNewestThree) {
    TempDir dir;
    const std::string earlier[] = {"Zarvel-Update-crash-20200101-000000.dmp", "Zarvel-Update-crash-20200101-000001.dmp",
                                   "Zarvel-Update-crash-20200101-000001-2.dmp"};
    for (const std::string& name : earlier) std::ofstream(dir.path() / name) << "an earlier dump";
    std::set<std::string> before = FilesIn(dir.path()), dumps;
    for (const auto& [trigger, code, logged] : {std::tuple{L"worker", DWORD{EXCEPTION_ACCESS_VIOLATION}, "0xC0000005"},
                                                std::tuple{L"terminate", DWORD{0x40000015}, "0x40000015"}}) {
        SetEnvironmentVariableW(L"ZARVEL_TEST_CRASH", trigger);
        PROCESS_INFORMATION crashing = StartProgram(dir);
        SetEnvironmentVariableW(L"ZARVEL_TEST_CRASH", nullptr);
        EXPECT_EQ(code, EndOf(crashing, 120000)) << "no dialog holds it";
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
    PROCESS_INFORMATION next = StartProgram(dir);
    EXPECT_EQ(0u, CloseProgram(next));
    const std::set<std::string> kept = FilesIn(dir.path());
    EXPECT_EQ(0u, kept.count(earlier[0]) + kept.count(earlier[1])) << "the oldest two of five";
    EXPECT_EQ(3u, kept.count(earlier[2]) + kept.count(*dumps.begin()) + kept.count(*dumps.rbegin()));
    const std::string log = ReadAll(dir.path() / L"Zarvel-Update.log");
    EXPECT_NE(std::string::npos, log.find("  A crash dump of an earlier run is in " + *dumps.rbegin() + "\r\n")) << log;
}
#endif

} // namespace
