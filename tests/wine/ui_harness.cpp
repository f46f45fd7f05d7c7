#include "tests/wine/ui_harness.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>
#include <fstream>
#include <iterator>
#include <ostream>
#include <set>
#include <sstream>
#include <system_error>

#include "core/app_state.h"
#include "core/log.h"
#include "core/notifications.h"
#include "serial/serial_io.h"
#include "ui/main_window.h"
#include "ui/reinstall_dialog.h"
#include "ui/system_libraries.h"
#include "ui/ui_resources.h"
#include "workflows/workflows.h"

void PrintTo(const ControlBox& box, std::ostream* out) {
    *out << "{" << box.x << ", " << box.y << ", " << box.width << ", " << box.height << "}";
}

std::filesystem::path WinePath(const std::string& unixPath) {
    std::wstring path = L"Z:";
    for (char c : unixPath) path.push_back(c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return std::filesystem::path(path);
}

std::filesystem::path SourceAssetsParent() { return WinePath(ZARVEL_SOURCE_DIR); }

void PumpPending() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue; // the test decides when its window is gone
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!done()) {
        if (GetTickCount64() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpPending();
    }
    return true;
}

// ---- freeing of posted texts ----

namespace {
std::atomic<const void*> watched{nullptr};
std::atomic<bool> watchedFreed{false};

void NoteFree(void* object) {
    if (object != nullptr && object == watched.load()) watchedFreed.store(true);
}
} // namespace

void WatchFree(const void* object) {
    watchedFreed.store(false);
    watched.store(object);
}
bool WasFreed() { return watchedFreed.load(); }

// The whole test program allocates through these, so a freed notification text is seen.
void* operator new(std::size_t size) {
    if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    NoteFree(memory);
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    NoteFree(memory);
    std::free(memory);
}

// ---- recorded workers ----

LaunchRecord& Launches() {
    static LaunchRecord record;
    return record;
}

namespace {

void ThrowIfFailing() {
    if (!Launches().failNext) return;
    Launches().failNext = false;
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

void RecordMonitor() {
    ThrowIfFailing();
    ++Launches().monitors;
}

void RecordNextMonitor() {
    ThrowIfFailing();
    ++Launches().nextMonitors;
}

void RecordOperation(void (*procedure)()) {
    ThrowIfFailing();
    Launches().operations.push_back(procedure);
}

WorkerLaunch RecordingLaunchers() {
    WorkerLaunch launch{};
    launch.startMonitor = RecordMonitor;
    launch.startNextMonitor = RecordNextMonitor;
    launch.startDetached = RecordOperation;
    return launch;
}
const WorkerLaunch kRecording = RecordingLaunchers();

// ---- a machine without COM ports ----

std::atomic<int> listingThreads{0};

uint32_t QueryNoPorts(wchar_t* buffer, uint32_t capacity, uint32_t* error) {
    thread_local bool counted = false;
    if (!counted) {
        counted = true;
        listingThreads.fetch_add(1);
    }
    static const wchar_t kNames[] = L"NUL\0PRN\0";
    const uint32_t count = sizeof(kNames) / sizeof(kNames[0]);
    if (capacity < count) {
        *error = ERROR_INSUFFICIENT_BUFFER;
        return 0;
    }
    std::copy(kNames, kNames + count, buffer);
    return count;
}
OpenOutcome OpenNothing(int, PortHandle*) { return OpenOutcome::CannotOpen; }
void NoHandle(PortHandle) {}
bool WriteNothing(PortHandle, const char*, uint32_t, uint32_t* written) {
    *written = 0;
    return false;
}
bool ReadNothing(PortHandle, char*, uint32_t, uint32_t* got) {
    *got = 0;
    return false;
}
const SerialIo kNoPorts = {QueryNoPorts, OpenNothing, NoHandle, NoHandle, WriteNothing, NoHandle, ReadNothing};

// ---- dialogs ----

struct ExpectedWindow {
    std::wstring className;
    DialogHandler handler;
};

std::deque<ExpectedWindow>& Handlers() {
    static std::deque<ExpectedWindow> handlers;
    return handlers;
}
std::set<HWND>& HandledDialogs() {
    static std::set<HWND> dialogs;
    return dialogs;
}
int unexpectedDialogs = 0;

constexpr const wchar_t* kBoxClass = L"#32770";

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

bool IsDialogClass(HWND window) {
    const std::wstring name = ClassOf(window);
    return name == kBoxClass || name == kReinstallDialogClass;
}

BOOL CALLBACK FindNewDialog(HWND window, LPARAM found) {
    if (!IsDialogClass(window) || !IsWindowVisible(window) || HandledDialogs().count(window) != 0) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void Press(HWND dialog, int button) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

void CloseUnexpected(HWND dialog) {
    ++unexpectedDialogs;
    if (ClassOf(dialog) == kReinstallDialogClass) {
        Press(dialog, IDC_DLG_CONFIRM);
    } else {
        Press(dialog, GetDlgItem(dialog, IDCANCEL) != nullptr ? IDCANCEL : IDOK);
    }
}

// Runs inside whatever message loop the thread is in: the test's own, a message box's, the
// open-file dialog's, the reinstall pop-up's. A handler may pump; dialogs that appear meanwhile
// are answered from inside it.
void CALLBACK AnswerDialogs(HWND, UINT, UINT_PTR, DWORD) {
    static bool busy = false;
    if (busy) return;
    busy = true;
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindNewDialog, reinterpret_cast<LPARAM>(&dialog));
    DialogHandler handler;
    if (dialog != nullptr) {
        HandledDialogs().insert(dialog);
        if (!Handlers().empty() && Handlers().front().className == ClassOf(dialog)) {
            handler = std::move(Handlers().front().handler);
            Handlers().pop_front();
        } else {
            CloseUnexpected(dialog);
        }
    }
    busy = false;
    if (handler) handler(dialog);
}

// The message box's icon: the one static control that shows an icon.
HICON BoxIcon(HWND box) {
    HICON icon = nullptr;
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    }
    return icon;
}

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// The explorer-style dialog keeps the name in edt1; older layouts in the combo box cmb13.
HWND FileNameBox(HWND dialog) {
    HWND edit = GetDlgItem(dialog, 0x480);
    if (edit == nullptr) edit = GetDlgItem(dialog, 0x47C);
    return edit;
}

UINT_PTR dialogTimer = 0;

} // namespace

const WorkerLaunch& RecordingLaunch() { return kRecording; }
const SerialIo& NoPortsSerialIo() { return kNoPorts; }
int ThreadsThatListedPorts() { return listingThreads.load(); }

void ExpectDialog(DialogHandler handler) { Handlers().push_back({kBoxClass, std::move(handler)}); }
void ExpectReinstallDialog(DialogHandler handler) { Handlers().push_back({kReinstallDialogClass, std::move(handler)}); }

namespace {

INPUT MouseInput(DWORD flags, POINT screen) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    // Absolute positions run from 0 to 65535 across the primary screen.
    input.mi.dx = MulDiv(screen.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    input.mi.dy = MulDiv(screen.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    return input;
}

INPUT KeyInput(WORD key, bool up) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

} // namespace

void ClickAt(POINT screen) {
    INPUT inputs[] = {MouseInput(0, screen), MouseInput(MOUSEEVENTF_LEFTDOWN, screen), MouseInput(MOUSEEVENTF_LEFTUP, screen)};
    SendInput(3, inputs, sizeof(INPUT));
}

void PressKeys(std::initializer_list<WORD> keys) {
    std::vector<INPUT> inputs;
    for (WORD key : keys) inputs.push_back(KeyInput(key, false));
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) inputs.push_back(KeyInput(*key, true));
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

DialogHandler AnswerBox(SeenBox* seen, std::function<void()> whileOpen) {
    return [seen, whileOpen](HWND box) {
        seen->seen = true;
        seen->caption = WindowText(box);
        seen->text = WindowText(GetDlgItem(box, 0xFFFF));
        seen->icon = BoxIcon(box);
        if (whileOpen) whileOpen();
        Press(box, IDOK);
    };
}

DialogHandler OpenFileNamed(const std::wstring& path) {
    return [path](HWND dialog) {
        HWND name = FileNameBox(dialog);
        if (name == nullptr) {
            ADD_FAILURE() << "the open-file dialog has no file-name box";
            Press(dialog, IDCANCEL);
            return;
        }
        SetWindowTextW(name, path.c_str());
        Press(dialog, IDOK);
    };
}

DialogHandler CancelFileDialog() {
    return [](HWND dialog) {
        EXPECT_NE(nullptr, FileNameBox(dialog)) << "an open-file dialog";
        Press(dialog, IDCANCEL);
    };
}

// ---- the fixture ----

void MainWindowTest::SetUp() {
    AppState& app = App();
    app.appClosing.exchange(false);
    app.operationBusy.exchange(false);
    app.cancelRequested.exchange(false);
    app.cancelAllowed.exchange(false);
    app.preferredPort.exchange(0);
    app.batteryVoltage = 0.0;
    app.instrumentReady = false;
    app.firmware = FirmwareImage();
    app.firmwareReady = false;
    app.wizardStep = 1;
    app.progressPercent = 0;
    Launches() = LaunchRecord();
    Handlers().clear();
    HandledDialogs().clear();
    unexpectedDialogs = 0;
    OpenLog(dir_.path() / L"Zarvel-Update.log");
    SetSerialIo(&kNoPorts);
    SetProcessDPIAware();
    InitProgressBarClass();
    StartGraphics();
    dialogTimer = SetTimer(nullptr, 0, 15, AnswerDialogs);
}

void MainWindowTest::CreateWindowWithAssetsIn(const std::filesystem::path& directory) {
    SetWorkerLaunch(keepLaunchers_ ? nullptr : &kRecording);
    LoadPictures(directory);
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(RegisterMainWindowClass(instance));
    window_ = CreateMainWindow(instance);
    ASSERT_NE(nullptr, window_);
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
}

void MainWindowTest::DestroyTheWindow() {
    if (window_ != nullptr && IsWindow(window_)) DestroyWindow(window_);
    window_ = nullptr;
    MSG quit;
    while (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

void MainWindowTest::TearDown() {
    DestroyTheWindow();
    // Real workers see appClosing and end; none may outlive the test into the next one.
    EXPECT_TRUE(WaitForWorkers(20000)) << "workers still running";
    PumpPending();
    KillTimer(nullptr, dialogTimer);
    EXPECT_EQ(0, unexpectedDialogs) << "a dialog nobody expected appeared";
    EXPECT_TRUE(Handlers().empty()) << "an expected dialog never appeared";
    UnregisterClassW(kMainWindowClass, GetModuleHandleW(nullptr));
    DeleteFontsAndBrushes();
    ReleasePictures();
    StopGraphics();
    SetWorkerLaunch(nullptr);
    SetSerialIo(nullptr);
    CloseLog();
}

std::wstring MainWindowTest::Text(int id) const { return WindowText(Item(id)); }

ControlBox MainWindowTest::BoxOf(int id) const {
    RECT rect = {};
    GetWindowRect(Item(id), &rect);
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

bool MainWindowTest::Visible(int id) const { return (GetWindowLongPtrW(Item(id), GWL_STYLE) & WS_VISIBLE) != 0; }

bool MainWindowTest::Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }

void MainWindowTest::Click(int id) { SendMessageW(Item(id), BM_CLICK, 0, 0); }

void MainWindowTest::Command(int id) {
    SendMessageW(window_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Item(id)));
}

void MainWindowTest::SetRiskAccepted(bool accepted) {
    SendMessageW(Item(IDC_ACCEPT_RISK), BM_SETCHECK, accepted ? BST_CHECKED : BST_UNCHECKED, 0);
}

void MainWindowTest::PostText(UINT code, WPARAM wParam, const std::wstring& text) {
    auto* payload = new std::wstring(text);
    if (!PostMessageW(window_, code, wParam, reinterpret_cast<LPARAM>(payload))) delete payload;
}

std::vector<std::string> MainWindowTest::LogLines() const {
    std::ifstream in(dir_.path() / L"Zarvel-Update.log", std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line.size() > 10 ? line.substr(10) : line); // without "hh:mm:ss  "
    }
    return lines;
}

void MainWindowTest::ExpectPage(const ExpectedControl* page, size_t count) {
    for (const ExpectedControl* control = page; control != page + count; ++control) {
        SCOPED_TRACE(testing::Message() << "control " << control->id);
        EXPECT_EQ(control->box, BoxOf(control->id));
        EXPECT_EQ(control->visible, Visible(control->id));
        if (control->text != nullptr) {
            EXPECT_EQ(control->text, Text(control->id));
        }
    }
    EXPECT_EQ(Font(PageTitleFont), reinterpret_cast<HFONT>(SendMessageW(Item(IDC_HEADING), WM_GETFONT, 0, 0)));
    EXPECT_EQ(Font(PageTextFont), reinterpret_cast<HFONT>(SendMessageW(Item(IDC_DESCRIPTION), WM_GETFONT, 0, 0)));
    for (int id : {IDC_STEP1, IDC_STEP2, IDC_STEP3}) EXPECT_TRUE(Visible(id));
}

void MainWindowTest::ReachCheckPage(double volts, bool instrumentReady) {
    App().batteryVoltage = volts;
    App().instrumentReady = instrumentReady;
    SendMessageW(window_, MSG_INSTRUMENT_CHECKED, 0, 0);
}

void MainWindowTest::StartUpdateFromCheckPage() {
    App().firmwareReady = true;
    ReachCheckPage(4.1);
    SetRiskAccepted(true);
    Command(IDC_ACCEPT_RISK);
    Click(IDC_START);
}
