// The program's entry point. For now it only opens the log and records the start; the window
// comes with the user interface.

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/log.h"

namespace {

// Directory part of the module's full path (the last component and its separators removed).
std::filesystem::path ExecutableDirectory() {
    std::vector<wchar_t> buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    std::wstring path(buffer.data(), length);
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return std::filesystem::path();
    size_t end = slash;
    while (end > 0 && (path[end - 1] == L'\\' || path[end - 1] == L'/')) --end;
    return std::filesystem::path(path.substr(0, end));
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // An elevated program started from a downloads folder must never load a DLL from there.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    OpenLog(ExecutableDirectory() / L"Zarvel-Update.log");
    WriteLog("Zarvel Update started");
    CloseLog();
    return 0;
}
