// The real program, started from a folder without assets and closed as a user closes it.

#include <iterator>
#include <regex>

#include "tests/wine/window_harness.h"

namespace {

// Without the Variable faces (Windows 10 has Segoe UI only) one line says Segoe UI stands in.
TEST(ProgramRun, StartsLogsItsStartAndFaceAndExitsWithZeroWhenClosed) {
    const wchar_t* const faces[] = {L"Segoe UI Variable Text", L"Segoe UI Variable Display"};
    const std::wstring replacements = L"Software\\Wine\\Fonts\\Replacements";
    const std::wstring standIn = L"Open Sans"; // as the Wine set-up names both
    for (const bool variableFaces : {true, false}) {
        SCOPED_TRACE(variableFaces ? "Variable faces installed" : "Segoe UI only");
        TempDir dir;
        const std::filesystem::path program = dir.path() / L"Zarvel-Update.exe";
        std::filesystem::copy_file(WinePath(ZARVEL_PROGRAM), program);
        std::ofstream(dir.path() / L"Zarvel-Update.log", std::ios::binary) << "earlier run\r\n";
        for (const wchar_t* face : faces) // the mapping is read as the program starts
            if (!variableFaces) RegDeleteKeyValueW(HKEY_CURRENT_USER, replacements.c_str(), face);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessW(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, dir.path().c_str(), &startup,
                                   &process));
        HWND window = nullptr; // the only one of its class: this process has none open now
        EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(window = FindWindowW(kMainWindowClass, kMainWindowTitle)); }, 60000));
        for (const wchar_t* face : faces)
            RegSetKeyValueW(HKEY_CURRENT_USER, replacements.c_str(), face, REG_SZ, standIn.c_str(),
                            static_cast<DWORD>((standIn.size() + 1) * sizeof(wchar_t)));
        EXPECT_EQ(0, SendMessageW(window, WM_GETICON, ICON_BIG, 0)) << "no icon.png, no icon";
        PostMessageW(window, WM_CLOSE, 0, 0); // while its monitor scans the ports: it must end promptly
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.hProcess, 30000));
        DWORD exitCode = 99;
        GetExitCodeProcess(process.hProcess, &exitCode);
        TerminateProcess(process.hProcess, 99); // nothing once it has ended
        CloseHandle(process.hProcess), CloseHandle(process.hThread);
        EXPECT_EQ(0u, exitCode);
        std::ifstream in(dir.path() / L"Zarvel-Update.log", std::ios::binary);
        std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string time = "[0-2][0-9]:[0-5][0-9]:[0-5][0-9]  ";
        EXPECT_TRUE(std::regex_search(log, std::regex("^earlier run\r\n" + time + "Zarvel Update started\r\n" + time +
                                                      "Administrator elevation: (yes|no)\r\n"))) << log;
        EXPECT_EQ(!variableFaces, log.find("Interface font: Segoe UI (Segoe UI Variable not installed)") != std::string::npos);
    }
}

} // namespace
