#pragma once
// The real main window in the test process, driven as a user drives it (clicks, answers to its
// boxes and dialogs) and read back as the user sees it: texts, places and screen pixels.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/app_state.h"
#include "core/history.h"
#include "core/log.h"
#include "core/notifications.h"
#include "tests/support/temp_dir.h"
#include "ui/drawing.h"
#include "ui/gdi_guards.h"
#include "ui/gdiplus_flat.h"
#include "ui/main_window.h"
#include "ui/reinstall_dialog.h"
#include "ui/system_libraries.h"
#include "ui/worker_launch.h"
#include "workflows/workflows.h"

inline std::filesystem::path WinePath(const std::string& unixPath) { return "Z:" + unixPath; } // Wine's drive Z: is the root

inline bool Inside(const RECT& inner, const RECT& outer, int slack = 0) {
    return inner.left >= outer.left - slack && inner.top >= outer.top - slack && inner.right <= outer.right + slack && inner.bottom <= outer.bottom + slack;
}
inline SIZE SizeOf(const RECT& r) { return {r.right - r.left, r.bottom - r.top}; }
// A window's place on the screen, or with GetClientRect its client area.
inline RECT RectOf(HWND window, BOOL(WINAPI* get)(HWND, LPRECT) = GetWindowRect) {
    RECT rect = {};
    get(window, &rect);
    return rect;
}
// A control's box in its parent's client coordinates.
inline RECT BoxIn(HWND parent, HWND control) {
    RECT box = RectOf(control);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&box), 2);
    return box;
}

// Serves the thread's messages until done() or the deadline; false on the deadline.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000) {
    for (const ULONGLONG deadline = GetTickCount64() + timeoutMs; !done();) {
        if (GetTickCount64() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);)
            if (message.message != WM_QUIT) DispatchMessageW(&message); // the test ends its window itself
    }
    return true;
}

// The workers the window started, in order, recorded instead of run.
using Workers = std::vector<void (*)()>;
inline Workers launched;
inline const WorkerLaunchHooks kRecordingLaunch = {.startMonitor = [] { launched.push_back(InstrumentMonitor); },
                                                   .startNextMonitor = [] { launched.push_back(NextInstrumentMonitor); },
                                                   .startDetached = [](void (*procedure)()) { launched.push_back(procedure); }};

// Each next window of ours (a message box, the open-file dialog, the reinstall pop-up) goes to
// the next handler, inside whatever loop then runs: a thread timer fires in them all.
inline std::deque<std::function<void(HWND)>> dialogHandlers;
inline std::set<HWND> seenDialogs;
inline int unexpectedDialogs = 0;
inline void ExpectDialog(std::function<void(HWND dialog)> handler) { dialogHandlers.push_back(std::move(handler)); }
inline void Press(HWND dialog, int button) { PostMessageW(dialog, WM_COMMAND, static_cast<WPARAM>(button), 0); }
inline void CALLBACK AnswerDialogs(HWND, UINT, UINT_PTR, DWORD) {
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), [](HWND window, LPARAM found) {
        const bool fresh = window != MainWindow() && IsWindowVisible(window) && seenDialogs.insert(window).second;
        if (fresh) *reinterpret_cast<HWND*>(found) = window;
        return fresh ? FALSE : TRUE;
    }, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr) return;
    if (dialogHandlers.empty()) { // closed by whichever button it has, and counted
        ++unexpectedDialogs;
        Press(dialog, IDCANCEL);
        Press(dialog, IDC_DLG_CONFIRM);
        return;
    }
    const std::function<void(HWND)> handler = std::move(dialogHandlers.front());
    dialogHandlers.pop_front();
    handler(dialog);
}

struct SeenBox { HWND box = nullptr; std::wstring caption, text; };
// Records the message box, runs whileOpen inside its loop, then presses OK.
inline std::function<void(HWND)> AnswerBox(SeenBox* seen, std::function<void()> whileOpen = {}) {
    return [seen, whileOpen](HWND box) {
        *seen = {box, WindowTextOf(box, 512), WindowTextOf(GetDlgItem(box, 0xFFFF), 512)};
        if (whileOpen) whileOpen();
        Press(box, IDOK);
    };
}

// The largest difference of one channel between two pixels (0x00RRGGBB).
inline int ChannelOff(uint32_t a, uint32_t b) {
    int off = 0;
    for (int shift : {0, 8, 16}) off = std::max(off, std::abs(static_cast<int>(a >> shift & 0xFF) - static_cast<int>(b >> shift & 0xFF)));
    return off;
}

// The screen over the window's client area (pop-ups in front included), 0x00RRGGBB, top row first.
inline std::vector<uint32_t> ClientPixels(HWND window) {
    RECT client = RectOf(window, GetClientRect);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    const LONG width = client.right - client.left, height = client.bottom - client.top;
    BITMAPINFO info = {{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    const WindowDc screen(nullptr);
    const MemoryDc memory(CreateCompatibleDC(screen.Get()));
    const GdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen.Get(), width, height));
    std::vector<uint32_t> pixels(static_cast<size_t>(width * height));
    {
        const Selected drawnInto(memory.Get(), bitmap.Get());
        BitBlt(memory.Get(), 0, 0, width, height, screen.Get(), client.left, client.top, SRCCOPY);
    }
    GetDIBits(memory.Get(), bitmap.Get(), 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    return pixels;
}

// What a control's drawing keeps free left of its text, as this test reads the design.
inline int LeftKeptFree(int id) {
    if (id >= IDC_STATUS1 && id <= IDC_STATUS5) return static_cast<int>(30 * LayoutScale()); // the status circle
    if (id == IDC_FILE_BOX) return static_cast<int>(38 * LayoutScale());                    // the blue block
    if (id == IDC_NOTE) return static_cast<int>(70 * LayoutScale());                        // the note's icon
    if (id == IDC_ACCEPT_RISK) return 15 * GetDeviceCaps(WindowDc(nullptr).Get(), LOGPIXELSX) / 96; // the system's square
    return 0;
}

// Every visible text of parent's controls that does not fit its box with the control's font (measured as
// DrawTextW sees it) beside what the drawing keeps free on the left; the descriptions and the pop-up's wrap.
inline std::vector<std::string> TextsThatDoNotFit(HWND parent) {
    std::vector<std::string> cut;
    for (HWND control = GetWindow(parent, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
        const int id = GetDlgCtrlID(control), left = LeftKeptFree(id);
        std::wstring text = WindowTextOf(control, 512);
        const RECT box = RectOf(control, GetClientRect);
        const bool status = id >= IDC_STATUS1 && id <= IDC_STATUS5, wraps = id == IDC_DESCRIPTION || id == IDC_DLG_TEXT || id == IDC_DLG_HINT;
        if (!IsWindowVisible(control) || text.empty() || id == IDC_PROGRESS) continue;
        if (status && std::wstring(L"✓✕○●").find(text[0]) != std::wstring::npos) text = text.substr(std::min(text.find_first_not_of(L' ', 1), text.size()));
        const std::wstring body = id == IDC_NOTE ? text.substr(text.find(L"\r\n") + 2) : L""; // in a font of its own
        if (id == IDC_NOTE) text.resize(text.find(L"\r\n")); // its title
        const WindowDc dc(control);
        const SIZE needed = MeasureText(dc.Get(), ControlFont(control), text, wraps, box.right - left);
        const SIZE below = id == IDC_NOTE ? MeasureText(dc.Get(), static_cast<HFONT>(GetPropW(control, L"ZarvelNoteBodyFont")), body, true, box.right - left) : SIZE{0, 0};
        if (std::max(needed.cx, below.cx) > box.right - left || needed.cy + below.cy > box.bottom) cut.push_back("control " + std::to_string(id));
    }
    return cut;
}

// What the user would see wrong with a window's layout: a control outside the client area, two that overlap,
// one off its card (the background right around it: only the title stands on it), a text cut.
inline std::vector<std::string> LayoutFaults(HWND window) {
    constexpr uint32_t kBackground = 0xF6FBFE;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const RECT client = RectOf(window, GetClientRect);
    RECT overlap = {};
    const std::vector<uint32_t> pixels = ClientPixels(window);
    std::vector<std::pair<int, RECT>> shown;
    for (HWND control = GetWindow(window, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT))
        if (IsWindowVisible(control)) shown.emplace_back(GetDlgCtrlID(control), BoxIn(window, control));
    std::vector<std::string> faults = TextsThatDoNotFit(window);
    for (const auto& [id, box] : shown) {
        const std::string name = "control " + std::to_string(id);
        if (box.left < 0 || box.top < 0 || box.right > client.right || box.bottom > client.bottom) faults.push_back(name + " outside the client area");
        for (const auto& [other, otherBox] : shown)
            if (other > id && IntersectRect(&overlap, &box, &otherBox)) faults.push_back(name + " overlaps control " + std::to_string(other));
        const RECT ring[] = {{box.left - 1, box.top - 1, box.right + 1, box.top}, {box.left - 1, box.bottom, box.right + 1, box.bottom + 1},
                             {box.left - 1, box.top, box.left, box.bottom}, {box.right, box.top, box.right + 1, box.bottom}};
        const auto onBackground = [&](const RECT& edge) {
            for (LONG y = std::max(0L, edge.top); y < std::min(client.bottom, edge.bottom); ++y)
                for (LONG x = std::max(0L, edge.left); x < std::min(client.right, edge.right); ++x)
                    if (ChannelOff(pixels[static_cast<size_t>(y * client.right + x)], kBackground) <= 1) return true;
            return false;
        };
        if (id != IDC_TITLE && std::any_of(std::begin(ring), std::end(ring), onBackground)) faults.push_back(name + " off its card");
    }
    return faults;
}

// A screen of that work area, once SetWorkAreaHooks(&kFakeWorkArea).
inline RECT fakeWorkArea = {};
inline const WorkAreaHooks kFakeWorkArea{.workArea = [](const RECT&, RECT* area) {
    *area = fakeWorkArea;
    return true;
}};

// A fresh window per test (Open), its log in dir_, its workers recorded.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        gdiObjectsBefore_ = liveGdiObjects;
        for (std::atomic<bool>* flag : {&App().operationBusy, &App().cancelRequested, &App().cancelAllowed, &App().appClosing})
            flag->exchange(false);
        App().firmwareReady = false;
        App().firmware = FirmwareImage{};
        App().instrumentVersion.clear();
        launched.clear();
        OpenLog(dir_.path() / L"Zarvel-Update.log");
        SetHistoryPath(dir_.path() / L"Zarvel-Update-history.csv");
        SetProcessDPIAware();
        SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0, nullptr, 0); // as Windows comes (Wine shows the cues always): rings after a key
        StartGraphics();
        SetWorkerLaunchHooks(&kRecordingLaunch);
        ASSERT_EQ(&kRecordingLaunch, &CurrentWorkerLaunchHooks()) << "real workers would outlive the test";
        timer_ = SetTimer(nullptr, 0, 15, AnswerDialogs);
    }
    void TearDown() override {
        DestroyWindow(window_);
        for (MSG quit; PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);) continue;
        KillTimer(nullptr, timer_);
        EXPECT_EQ(0, std::exchange(unexpectedDialogs, 0)) << "a dialog nobody expected appeared";
        EXPECT_TRUE(std::exchange(dialogHandlers, {}).empty()) << "an expected dialog never appeared";
        seenDialogs.clear();
        UnregisterClassW(kMainWindowClass, GetModuleHandleW(nullptr));
        DeleteFontsAndBrushes();
        ReleasePictures();
        StopGraphics();
        SetWorkerLaunchHooks(nullptr);
        SetWorkAreaHooks(nullptr);
        SetHistoryPath({});
        CloseLog();
        EXPECT_EQ(gdiObjectsBefore_, liveGdiObjects) << "GDI objects the test's window made outlived it";
    }
    void Open() {
        LoadPictures(WinePath(ZARVEL_SOURCE_DIR));
        ASSERT_TRUE(RegisterMainWindowClass(GetModuleHandleW(nullptr), Ui().icon.Get()));
        ASSERT_NE(nullptr, window_ = CreateMainWindow(GetModuleHandleW(nullptr)));
        ShowWindow(window_, SW_SHOWNORMAL);
        EXPECT_LT(gdiObjectsBefore_, liveGdiObjects) << "the fonts, brushes and pictures count";
        EXPECT_TRUE(Gdip().loaded) << "the window draws with GDI+, not the plain GDI fallback";
    }
    HWND Item(int id) const { return GetDlgItem(window_, id); }
    std::wstring Text(int id) const { return WindowTextOf(Item(id), 512); }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    void Click(int id) { SendMessageW(Item(id), BM_CLICK, 0, 0); }
    RECT BoxOf(int id) const { return BoxIn(window_, Item(id)); }
    LOGFONTW FontOf(int id) const {
        LOGFONTW font = {};
        GetObjectW(ControlFont(Item(id)), sizeof(font), &font);
        return font;
    }
    void Post(UINT code, WPARAM wParam, const std::wstring& text) { // as a worker posts a text
        PostMessageW(window_, code, wParam, reinterpret_cast<LPARAM>(new std::wstring(text)));
    }
    std::vector<std::string> LogLines() const { // without their times
        std::ifstream in(dir_.path() / L"Zarvel-Update.log", std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line.substr(10, line.size() - 11));
        return lines;
    }
    void ReachCheckPage(double volts, bool instrumentReady = true) {
        App().batteryVoltage = volts;
        App().instrumentReady = instrumentReady;
        SendMessageW(window_, MSG_INSTRUMENT_CHECKED, 0, 0);
    }
    void ReadyToStart() { // the check page at 4.1 V, a file chosen, the risk accepted
        App().firmwareReady = true;
        ReachCheckPage(4.1);
        SetOutsideText(IDC_FILE_BOX, L"fw_v1.2.3.bin"); // as a chosen file's name is shown
        Click(IDC_ACCEPT_RISK);
    }
    // The page of wizardStep `step`, reached as the workers and the user lead there.
    void Reach(int step) {
        ReadyToStart();
        if (step == 2) return;
        Click(IDC_START);
        SendMessageW(window_, MSG_PROGRESS, 50, 0);
        Post(MSG_STATUS_LINE, 1, L"✓  Подключение к прибору");
        Post(MSG_STATUS_LINE, 3, L"●  Передача прошивки: 37 из 74");
        if (step == 4) Post(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.3.");
        ASSERT_TRUE(PumpUntil([&] { return App().wizardStep == step && Text(IDC_STATUS3) != L"○  Передача прошивки"; }));
    }
    void StartUpdate() { Reach(3); }
    void ChangeDpi(UINT dpi) { // as Windows sends it: the new DPI twice, the place it suggests
        RECT suggested = RectOf(window_);
        SendMessageW(window_, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    }
    std::vector<int> Shown() const {
        std::vector<int> shown;
        for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
            if (IsWindowVisible(child)) shown.push_back(GetDlgCtrlID(child));
        std::sort(shown.begin(), shown.end());
        return shown;
    }

    TempDir dir_;
    HWND window_ = nullptr;
    UINT_PTR timer_ = 0;
    int gdiObjectsBefore_ = 0;
};
