// The real program, started from a folder without assets and closed as a user closes it.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "tests/wine/window_harness.h"

namespace {

constexpr const wchar_t* kReplacements = L"Software\\Wine\\Fonts\\Replacements";
constexpr const wchar_t* kVariableFaces[] = {L"Segoe UI Variable Text", L"Segoe UI Variable Display"};

HWND ShownWindowOf(DWORD process) {
    HWND window = nullptr;
    DWORD owner = 0;
    while ((window = FindWindowExW(nullptr, window, L"ZarvelUpdateWindow", nullptr)) != nullptr)
        if (GetWindowThreadProcessId(window, &owner) && owner == process && IsWindowVisible(window)) return window;
    return nullptr;
}

// Without the Variable faces (Windows 10 has Segoe UI only) one line says Segoe UI stands in.
TEST(ProgramRun, StartsLogsItsStartAndFaceAndExitsWithZeroWhenClosed) {
    for (const bool variableFaces : {true, false}) {
        SCOPED_TRACE(variableFaces ? "Variable faces installed" : "Segoe UI only");
        TempDir dir;
        const std::filesystem::path program = dir.path() / L"Zarvel-Update.exe";
        std::filesystem::copy_file(WinePath(ZARVEL_PROGRAM), program);
        std::ofstream(dir.path() / L"Zarvel-Update.log", std::ios::binary) << "earlier run\r\n";
        // The program reads the font mapping as it starts; the Wine set-up names both faces.
        for (const wchar_t* face : kVariableFaces)
            if (!variableFaces) RegDeleteKeyValueW(HKEY_CURRENT_USER, kReplacements, face);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        std::wstring commandLine = L"\"" + program.wstring() + L"\"";
        ASSERT_TRUE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   dir.path().c_str(), &startup, &process));
        HWND window = nullptr;
        EXPECT_TRUE(PumpUntil([&] { return (window = ShownWindowOf(process.dwProcessId)) != nullptr; }, 60000));
        const std::wstring standIn = L"DejaVu Sans Condensed";
        for (const wchar_t* face : kVariableFaces)
            RegSetKeyValueW(HKEY_CURRENT_USER, kReplacements, face, REG_SZ, standIn.c_str(),
                            static_cast<DWORD>((standIn.size() + 1) * sizeof(wchar_t)));
        EXPECT_EQ(nullptr, reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0))) << "no icon.png";
        PostMessageW(window, WM_CLOSE, 0, 0); // while its monitor scans the ports: it must end promptly
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 30000));
        DWORD exitCode = 99;
        GetExitCodeProcess(process.hProcess, &exitCode);
        TerminateProcess(process.hProcess, 99); // nothing once it has ended
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        EXPECT_EQ(0u, exitCode);

        std::ifstream in(dir.path() / L"Zarvel-Update.log", std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        ASSERT_LE(3u, lines.size());
        const std::string time = "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]  ";
        EXPECT_EQ("earlier run\r", lines[0]);
        EXPECT_TRUE(std::regex_match(lines[1], std::regex(time + "Zarvel Update started\r"))) << lines[1];
        EXPECT_TRUE(std::regex_match(lines[2], std::regex(time + "Administrator elevation: (yes|no)\r"))) << lines[2];
        EXPECT_EQ(!variableFaces, std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
                      return line.find("Interface font: Segoe UI (Segoe UI Variable not installed)") != std::string::npos;
                  }));
    }
}

} // namespace
