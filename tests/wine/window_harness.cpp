#include "tests/wine/window_harness.h"

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <set>

#include "core/app_state.h"
#include "core/log.h"
#include "core/notifications.h"
#include "ui/layout_scale.h"
#include "ui/main_window.h"
#include "ui/reinstall_dialog.h"
#include "ui/system_libraries.h"
#include "ui/ui_resources.h"
#include "ui/worker_launch.h"

std::filesystem::path WinePath(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath) path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return path;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) continue; // the test decides when its window is gone
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return true;
}

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

Launches launches;

namespace {

const WorkerLaunch kRecording = {[] { ++launches.monitors; }, [] { ++launches.nextMonitors; },
                                 [](void (*procedure)()) { launches.operations.push_back(procedure); }};

struct Expected {
    std::wstring className;
    DialogHandler handler;
};
std::deque<Expected> expected;
std::set<HWND> handled;
int unexpected = 0;
UINT_PTR dialogTimer = 0;

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK FindNewDialog(HWND window, LPARAM found) {
    const std::wstring name = ClassOf(window);
    if ((name != L"#32770" && name != kReinstallDialogClass) || !IsWindowVisible(window) || handled.count(window) != 0)
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// A thread timer: it fires in every loop of the thread, the boxes' and the pop-up's included,
// and inside a handler that serves messages itself.
void CALLBACK AnswerDialogs(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindNewDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr) return;
    handled.insert(dialog);
    const bool popup = ClassOf(dialog) == kReinstallDialogClass;
    if (expected.empty() || expected.front().className != ClassOf(dialog)) {
        ++unexpected;
        Press(dialog, popup ? IDC_DLG_CONFIRM : IDCANCEL);
        return;
    }
    const DialogHandler handler = std::move(expected.front().handler);
    expected.pop_front();
    handler(dialog);
}

// ---- the screen ----

struct Shot {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels; // 0x00RRGGBB, top row first
    COLORREF At(int x, int y) const {
        const uint32_t p = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
};

Shot CaptureClient(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    Shot shot;
    shot.width = client.right - client.left;
    shot.height = client.bottom - client.top;
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), shot.width, -shot.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, shot.width, shot.height, screen, client.left, client.top, SRCCOPY);
    GdiFlush();
    shot.pixels.assign(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + shot.width * shot.height);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return shot;
}

// Through GDI+'s flat functions, which the program itself does not need.
void SavePng(Shot shot, const std::string& name) {
    using Create = int(WINAPI*)(INT, INT, INT, INT, BYTE*, void**);
    using Save = int(WINAPI*)(void*, const WCHAR*, const CLSID*, const void*);
    using Dispose = int(WINAPI*)(void*);
    constexpr CLSID kPng = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    HMODULE gdiplus = LoadSystemLibrary(L"gdiplus.dll");
    const auto create = SystemFunction<Create>(gdiplus, "GdipCreateBitmapFromScan0");
    const auto save = SystemFunction<Save>(gdiplus, "GdipSaveImageToFile");
    const auto dispose = SystemFunction<Dispose>(gdiplus, "GdipDisposeImage");
    const std::filesystem::path directory = WinePath(ZARVEL_SCREENSHOT_DIR);
    std::filesystem::create_directories(directory);
    void* bitmap = nullptr;
    ASSERT_EQ(0, create(shot.width, shot.height, shot.width * 4, 0x00022009 /* 32 bpp RGB */,
                        reinterpret_cast<BYTE*>(shot.pixels.data()), &bitmap));
    EXPECT_EQ(0, save(bitmap, (directory / (name + ".png")).c_str(), &kPng, nullptr)) << name;
    dispose(bitmap);
}

int Distance(COLORREF a, COLORREF b) {
    return std::max({std::abs(GetRValue(a) - GetRValue(b)), std::abs(GetGValue(a) - GetGValue(b)),
                     std::abs(GetBValue(a) - GetBValue(b))});
}

bool Holds(const Shot& shot, const PixelCheck& check, COLORREF* seen) {
    int matching = 0;
    int total = 0;
    for (int y = std::max(0L, check.area.top); y < std::min<LONG>(shot.height, check.area.bottom); ++y)
        for (int x = std::max(0L, check.area.left); x < std::min<LONG>(shot.width, check.area.right); ++x, ++total) {
            const bool match = Distance(shot.At(x, y), check.colour) <= check.tolerance;
            matching += match ? 1 : 0;
            if (match == (check.cover == Cover::None)) *seen = shot.At(x, y);
        }
    if (check.cover == Cover::All) return total > 0 && matching == total;
    return check.cover == Cover::Some ? matching > 0 : matching == 0;
}

} // namespace

void ExpectDialog(const wchar_t* className, DialogHandler handler) { expected.push_back({className, std::move(handler)}); }

void Press(HWND dialog, int button) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

DialogHandler AnswerBox(SeenBox* seen, std::function<void()> whileOpen) {
    return [seen, whileOpen](HWND box) {
        *seen = {box, TextOf(box), TextOf(GetDlgItem(box, 0xFFFF))};
        if (whileOpen) whileOpen();
        Press(box, IDOK);
    };
}

PixelCheck At(const char* what, int x, int y, COLORREF colour, int tolerance) {
    return {what, {x, y, x + 1, y + 1}, colour, tolerance, Cover::All};
}

void ExpectShows(HWND window, const std::vector<PixelCheck>& checks, const std::string& name) {
    Shot shot;
    std::vector<std::string> failures;
    PumpUntil([&] {
        shot = CaptureClient(window);
        failures.clear();
        for (const PixelCheck& check : checks) {
            COLORREF seen = 0;
            if (!Holds(shot, check, &seen))
                failures.push_back(std::string(check.what) + ", e.g. RGB(" + std::to_string(GetRValue(seen)) + ", " +
                                   std::to_string(GetGValue(seen)) + ", " + std::to_string(GetBValue(seen)) + ")");
        }
        return failures.empty();
    });
    SavePng(shot, name);
    for (const std::string& failure : failures) ADD_FAILURE() << name << ": " << failure;
}

// ---- the fixture ----

void WindowTest::SetUp() {
    AppState& app = App();
    app.operationBusy.exchange(false);
    app.cancelRequested.exchange(false);
    app.cancelAllowed.exchange(false);
    app.appClosing.exchange(false);
    app.batteryVoltage = 0.0;
    app.instrumentReady = false;
    app.firmwareReady = false;
    app.progressPercent = 0;
    launches = Launches();
    expected.clear();
    handled.clear();
    unexpected = 0;
    OpenLog(dir_.path() / L"Zarvel-Update.log");
    SetProcessDPIAware();
    StartGraphics();
    SetWorkerLaunch(&kRecording);
    dialogTimer = SetTimer(nullptr, 0, 15, AnswerDialogs);
}

void WindowTest::Open() {
    LoadPictures(WinePath(ZARVEL_SOURCE_DIR));
    ASSERT_TRUE(RegisterMainWindowClass(GetModuleHandleW(nullptr)));
    window_ = CreateMainWindow(GetModuleHandleW(nullptr));
    ASSERT_NE(nullptr, window_);
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
}

void WindowTest::TearDown() {
    if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    KillTimer(nullptr, dialogTimer);
    EXPECT_EQ(0, unexpected) << "a dialog nobody expected appeared";
    EXPECT_TRUE(expected.empty()) << "an expected dialog never appeared";
    UnregisterClassW(kMainWindowClass, GetModuleHandleW(nullptr));
    DeleteFontsAndBrushes();
    ReleasePictures();
    StopGraphics();
    SetWorkerLaunch(nullptr);
    SetWorkAreaSource(nullptr);
    CloseLog();
}

RECT WindowTest::BoxOf(int id) const {
    RECT box = {};
    GetWindowRect(Item(id), &box);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&box), 2);
    return box;
}

void WindowTest::Post(UINT code, WPARAM wParam, const std::wstring& text) {
    auto* payload = new std::wstring(text);
    if (!PostMessageW(window_, code, wParam, reinterpret_cast<LPARAM>(payload))) delete payload;
}

std::vector<std::string> WindowTest::LogLines() const {
    std::ifstream in(dir_.path() / L"Zarvel-Update.log", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line.substr(10, line.size() - 11)); // "hh:mm:ss  ", "\r"
    return lines;
}

void WindowTest::ReachCheckPage(double volts, bool instrumentReady) {
    App().batteryVoltage = volts;
    App().instrumentReady = instrumentReady;
    SendMessageW(window_, MSG_INSTRUMENT_CHECKED, 0, 0);
}

void WindowTest::StartUpdate() {
    App().firmwareReady = true;
    ReachCheckPage(4.1);
    Click(IDC_ACCEPT_RISK);
    Click(IDC_START);
}
