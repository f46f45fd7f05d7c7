// The end-to-end suite's eyes under Wine. Requests on stdin: "windows" (top-level), "controls H" (below window H),
// "hold PATH" (opened as a spreadsheet holds a file: others may only read it), "release"; each answer one line of JSON,
// text as \u escapes so that no code page gets in between.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "core/scoped_handle_win32.h"

namespace {

std::string Json(const wchar_t* text) {
    std::string out = "\"";
    for (char escaped[8]; *text != 0; ++text) {
        std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(*text));
        const bool plain = *text >= 0x20 && *text < 0x7F && *text != L'"' && *text != L'\\';
        out += plain ? std::string(1, static_cast<char>(*text)) : escaped;
    }
    return out + "\"";
}

std::string Describe(HWND window) {
    wchar_t className[256] = {}, text[4096] = {};
    GetClassNameW(window, className, 256);
    InternalGetWindowText(window, text, 4096); // the stored text: no message that a busy window must answer
    RECT r = {};
    GetWindowRect(window, &r);
    char numbers[256];
    std::snprintf(numbers, sizeof numbers,
                  "{\"hwnd\":%llu,\"id\":%d,\"rect\":[%ld,%ld,%ld,%ld],\"visible\":%d,\"enabled\":%d",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)), GetDlgCtrlID(window), r.left, r.top,
                  r.right, r.bottom, IsWindowVisible(window), IsWindowEnabled(window));
    return numbers + std::string(",\"class\":") + Json(className) + ",\"text\":" + Json(text) + "}";
}

std::string Answer(const char* request) {
    static OwnedHandle held;
    if (std::strncmp(request, "hold ", 5) == 0) {
        wchar_t path[MAX_PATH] = {};
        MultiByteToWideChar(CP_UTF8, 0, request + 5, static_cast<int>(std::strcspn(request + 5, "\r\n")), path, MAX_PATH - 1);
        held = OwnFile(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        return held ? "true" : "false";
    }
    if (std::strncmp(request, "release", 7) == 0) return held.Reset() ? "true" : "false";
    std::vector<HWND> found;
    const WNDENUMPROC collect = [](HWND window, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
        return TRUE;
    };
    const auto parent = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(request + 8, nullptr, 10)));
    if (std::strncmp(request, "windows", 7) == 0) EnumWindows(collect, reinterpret_cast<LPARAM>(&found));
    else if (IsWindow(parent)) EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&found));
    std::string out = "[";
    for (const HWND window : found) out += (out.size() > 1 ? "," : "") + Describe(window);
    return out + "]";
}

} // namespace

int main() {
    char request[256] = {};
    while (std::fgets(request, sizeof request, stdin) != nullptr && std::strncmp(request, "quit", 4) != 0) {
        std::printf("%s\n", Answer(request).c_str());
        std::fflush(stdout);
    }
    return 0;
}
