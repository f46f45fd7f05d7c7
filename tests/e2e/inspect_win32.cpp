// The end-to-end suite's eyes: a console program, run under Wine beside Zarvel Update, that
// reports what is on screen. It reads one request per line on stdin and answers each with one
// line of JSON on stdout (non-ASCII text as \u escapes, so no code page gets in the way):
//
//   windows        every visible top-level window: handle, process, class, title, outer
//                  rectangle, client origin and size on the screen, enabled
//   controls H     every descendant of window H: id, class, text, visible, enabled, screen
//                  rectangle, and the check state of buttons
//   workarea       the screen's work area, the part that the program's windows must fit in
//   quit           end
//
// It only looks: clicks and keys come from the X server (xdotool), as a user's would.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A control's check state; the request runs through the owner's message loop, so it may wait.
constexpr UINT kCheckStateTimeoutMs = 2000;

std::string Hex(unsigned value, int digits) {
    static const char* const kDigits = "0123456789abcdef";
    std::string text(static_cast<size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = kDigits[value & 0xF];
    return text;
}

std::string JsonString(const std::wstring& text) {
    std::string out = "\"";
    for (const wchar_t c : text) {
        const auto unit = static_cast<unsigned>(c);
        if (c == L'"' || c == L'\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (unit < 0x20 || unit > 0x7E) {
            out += "\\u" + Hex(unit, 4);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string JsonBool(bool value) { return value ? "true" : "false"; }

std::string JsonHandle(HWND window) {
    return std::to_string(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
}

std::string JsonRect(const RECT& rect) {
    return "[" + std::to_string(rect.left) + "," + std::to_string(rect.top) + "," + std::to_string(rect.right) + "," +
           std::to_string(rect.bottom) + "]";
}

// The stored text, without sending a message that a busy window would have to answer.
std::wstring TextOf(HWND window) {
    std::vector<wchar_t> buffer(4096, L'\0');
    const int length = InternalGetWindowText(window, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), static_cast<size_t>(length > 0 ? length : 0));
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

// -1 when the control does not answer (not a button, or its thread is stuck).
long long CheckState(HWND window) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kCheckStateTimeoutMs, &result)) return -1;
    return static_cast<long long>(result);
}

std::string DescribeTopLevel(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    RECT outer = {};
    GetWindowRect(window, &outer);
    RECT client = {};
    GetClientRect(window, &client);
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    return "{\"hwnd\":" + JsonHandle(window) + ",\"pid\":" + std::to_string(process) +
           ",\"class\":" + JsonString(ClassOf(window)) + ",\"title\":" + JsonString(TextOf(window)) +
           ",\"rect\":" + JsonRect(outer) + ",\"client\":[" + std::to_string(origin.x) + "," +
           std::to_string(origin.y) + "," + std::to_string(client.right) + "," + std::to_string(client.bottom) +
           "],\"enabled\":" + JsonBool(IsWindowEnabled(window) != FALSE) +
           ",\"owner\":" + JsonHandle(GetWindow(window, GW_OWNER)) + "}";
}

std::string DescribeControl(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    const std::wstring className = ClassOf(window);
    const bool isButton = lstrcmpiW(className.c_str(), L"Button") == 0;
    return "{\"hwnd\":" + JsonHandle(window) + ",\"id\":" + std::to_string(GetDlgCtrlID(window)) +
           ",\"class\":" + JsonString(className) + ",\"text\":" + JsonString(TextOf(window)) +
           ",\"visible\":" + JsonBool(IsWindowVisible(window) != FALSE) +
           ",\"enabled\":" + JsonBool(IsWindowEnabled(window) != FALSE) + ",\"rect\":" + JsonRect(rect) +
           ",\"check\":" + std::to_string(isButton ? CheckState(window) : -1) + "}";
}

BOOL CALLBACK CollectVisible(HWND window, LPARAM list) {
    if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectAll(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::string JsonList(const std::vector<HWND>& windows, std::string (*describe)(HWND)) {
    std::string out = "[";
    for (size_t i = 0; i < windows.size(); ++i) out += (i == 0 ? "" : ",") + describe(windows[i]);
    return out + "]";
}

std::string ListWindows(const std::string&) {
    std::vector<HWND> windows;
    EnumWindows(CollectVisible, reinterpret_cast<LPARAM>(&windows));
    return JsonList(windows, DescribeTopLevel);
}

std::string ListControls(const std::string& argument) {
    const auto parent = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::strtoull(argument.c_str(), nullptr, 10)));
    if (!IsWindow(parent)) return "null";
    std::vector<HWND> controls;
    EnumChildWindows(parent, CollectAll, reinterpret_cast<LPARAM>(&controls));
    return JsonList(controls, DescribeControl);
}

std::string WorkArea(const std::string&) {
    RECT area = {};
    return SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0) ? JsonRect(area) : "null";
}

struct Request {
    const char* name;
    std::string (*answer)(const std::string& argument);
};

const Request kRequests[] = {
    {"windows", ListWindows},
    {"controls", ListControls},
    {"workarea", WorkArea},
};

std::string Answer(const std::string& line) {
    const size_t space = line.find(' ');
    const std::string name = line.substr(0, space);
    const std::string argument = space == std::string::npos ? std::string() : line.substr(space + 1);
    for (const Request& request : kRequests)
        if (name == request.name) return request.answer(argument);
    return "{\"error\":" + JsonString(std::wstring(name.begin(), name.end())) + "}";
}

std::string WithoutLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

} // namespace

int main() {
    char buffer[1024];
    while (std::fgets(buffer, sizeof(buffer), stdin) != nullptr) {
        const std::string line = WithoutLineEnd(buffer);
        if (line == "quit") break;
        std::fputs((Answer(line) + "\n").c_str(), stdout);
        std::fflush(stdout);
    }
    return 0;
}
