// The real program, started in a folder of its own and closed as a user closes it.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/wine/ui_harness.h"

namespace {

struct Found {
    DWORD process;
    HWND window;
};

BOOL CALLBACK FindProgramWindow(HWND window, LPARAM context) {
    auto* found = reinterpret_cast<Found*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (process != found->process || std::wstring(className) != L"ZarvelUpdateWindow") return TRUE;
    if (!IsWindowVisible(window)) return TRUE; // created, not yet shown
    found->window = window;
    return FALSE;
}

std::vector<std::string> ReadLines(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = dir_.path() / L"Zarvel-Update.exe";
        std::filesystem::copy_file(WinePath(ZARVEL_PROGRAM), program_);
    }
    void TearDown() override {
        if (process_.hProcess != nullptr) {
            if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }

    void Start() {
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        std::wstring commandLine = L"\"" + program_.wstring() + L"\"";
        ASSERT_TRUE(CreateProcessW(program_.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   dir_.path().c_str(), &startup, &process_));
    }

    HWND WaitForWindow() {
        Found found = {process_.dwProcessId, nullptr};
        const ULONGLONG deadline = GetTickCount64() + 60000;
        while (found.window == nullptr && GetTickCount64() < deadline) {
            EnumWindows(FindProgramWindow, reinterpret_cast<LPARAM>(&found));
            if (found.window == nullptr && WaitForSingleObject(process_.hProcess, 20) != WAIT_TIMEOUT) break;
        }
        return found.window;
    }

    TempDir dir_;
    std::filesystem::path program_;
    PROCESS_INFORMATION process_ = {};
};

// Takes the Segoe UI Variable faces out of this Wine prefix's font mapping while it lives, as on
// a Windows 10 machine, which has Segoe UI only.
struct WithoutVariableFaces {
    static constexpr const wchar_t* kKey = L"Software\\Wine\\Fonts\\Replacements";
    static constexpr const wchar_t* kFaces[] = {L"Segoe UI Variable Text", L"Segoe UI Variable Display"};
    WithoutVariableFaces() {
        for (const wchar_t* face : kFaces) RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, face);
    }
    ~WithoutVariableFaces() {
        const std::wstring stand_in = L"DejaVu Sans Condensed";
        for (const wchar_t* face : kFaces)
            RegSetKeyValueW(HKEY_CURRENT_USER, kKey, face, REG_SZ, stand_in.c_str(),
                            static_cast<DWORD>((stand_in.size() + 1) * sizeof(wchar_t)));
    }
};

// With the Variable faces the design asks for, nothing is logged; without them Segoe UI stands in.
TEST_F(ProgramRun, LogsTheInterfaceFaceOnlyWhenSegoeUiStandsIn) {
    const std::filesystem::path log = dir_.path() / L"Zarvel-Update.log";
    for (const bool variableInstalled : {true, false}) {
        SCOPED_TRACE(variableInstalled ? "Variable faces installed" : "Segoe UI only");
        std::filesystem::remove(log);
        {
            std::unique_ptr<WithoutVariableFaces> windows10;
            if (!variableInstalled) windows10 = std::make_unique<WithoutVariableFaces>();
            Start();
            const HWND window = WaitForWindow();
            ASSERT_NE(nullptr, window);
            ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
            ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process_.hProcess, 30000));
        }
        CloseHandle(process_.hProcess);
        CloseHandle(process_.hThread);
        process_ = {};
        const std::vector<std::string> lines = ReadLines(log);
        const std::string line = "  Interface font: Segoe UI (Segoe UI Variable not installed)\r";
        const bool logged = std::any_of(lines.begin(), lines.end(), [&line](const std::string& written) {
            return written.size() >= line.size() && written.compare(written.size() - line.size(), line.size(), line) == 0;
        });
        EXPECT_EQ(!variableInstalled, logged);
    }
}

TEST_F(ProgramRun, StartsWithoutAssetsLogsItsStartAndExitsWithZeroWhenClosed) {
    const std::filesystem::path log = dir_.path() / L"Zarvel-Update.log";
    std::ofstream(log, std::ios::binary) << "earlier run\r\n";
    Start();
    const HWND window = WaitForWindow();
    ASSERT_NE(nullptr, window) << "no visible main window";
    RECT outer = {};
    GetWindowRect(window, &outer);
    EXPECT_EQ(1440, outer.right - outer.left);
    EXPECT_EQ(1040, outer.bottom - outer.top);
    EXPECT_EQ(nullptr, reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0))) << "no icon.png";
    wchar_t status[128] = {};
    GetWindowTextW(GetDlgItem(window, 1012), status, 128);
    EXPECT_EQ(std::wstring(L"○  Ожидание прибора"), status);

    // Closed while the monitor scans the ports: the process must end promptly with 0.
    ASSERT_TRUE(PostMessageW(window, WM_CLOSE, 0, 0));
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process_.hProcess, 30000));
    DWORD exitCode = 99;
    GetExitCodeProcess(process_.hProcess, &exitCode);
    EXPECT_EQ(0u, exitCode);

    const std::vector<std::string> lines = ReadLines(log);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ("earlier run\r", lines[0]);
    EXPECT_TRUE(std::regex_match(lines[1], std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]  Zarvel Update started\r")))
        << lines[1];
    EXPECT_TRUE(std::regex_match(lines[2],
                                 std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]  Administrator elevation: (yes|no)\r")))
        << lines[2];
}

} // namespace
