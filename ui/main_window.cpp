#include "ui/main_window.h"

#include <shellapi.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/log.h"
#include "core/notifications.h"
#include "ui/attention.h"
#include "ui/contrast.h"
#include "ui/control_ids.h"
#include "ui/firmware_selection.h"
#include "ui/keyboard_focus.h"
#include "ui/layout_scale.h"
#include "ui/page.h"
#include "ui/pages.h"
#include "ui/painting.h"
#include "ui/reinstall_dialog.h"
#include "ui/start_button.h"
#include "ui/ui_resources.h"
#include "ui/ui_texts.h"
#include "ui/update_history.h"
#include "ui/version_question.h"
#include "ui/window_helpers.h"
#include "ui/worker_launch.h"
#include "workflows/workflows.h"

namespace {

constexpr const wchar_t* kCloseRefused = L"Во время обновления закрывать программу нельзя.";

// Window thread only: what the window keeps about the operation it started.
struct OperationState {
    bool updateRunning = false;     // from the Start click until the update's result is handled
    bool sleptDuringUpdate = false; // a suspend arrived during an update; its resume is logged
};
OperationState operation;

constexpr const wchar_t* kShutdownReason =
    L"Идёт обновление прошивки прибора. Не выключайте компьютер до его завершения.";

// The PC must neither sleep nor shut down while blocks are written: a broken transfer can
// leave an instrument that no longer starts.
void KeepSystemAwake(bool awake) {
    operation.updateRunning = awake;
    if (awake) {
        SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
        ShutdownBlockReasonCreate(MainWindow(), kShutdownReason);
    } else {
        SetThreadExecutionState(ES_CONTINUOUS);
        ShutdownBlockReasonDestroy(MainWindow());
    }
}

void SetCancelButton(bool enabled, const wchar_t* text) {
    EnableWindow(Control(IDC_CANCEL), enabled ? TRUE : FALSE);
    SetControlText(IDC_CANCEL, text);
    KeepFocusAlive();
}

void ReportStartFailure(const char* worker, const std::exception& error) {
    WriteLog(std::string("Could not start the ") + worker + ": " + error.what());
    ShowMessageBox(L"Не удалось запустить операцию: система не смогла создать поток. Повторите попытку.",
                   L"Ошибка запуска", MB_ICONERROR);
}

// A thread that cannot be created must not leave operationBusy set with nobody to clear it.
bool TryStartOperation(void (*procedure)(), const char* worker) {
    try {
        CurrentWorkerLaunchHooks().startDetached(procedure);
        return true;
    } catch (const std::exception& error) {
        App().operationBusy.exchange(false);
        ReportStartFailure(worker, error);
        return false;
    }
}

// start is one of the current launchers' monitor starters.
void StartMonitor(void (*start)()) {
    try {
        start();
    } catch (const std::exception& error) {
        ReportStartFailure("instrument monitor", error);
    }
}

void StartMonitor() { StartMonitor(CurrentWorkerLaunchHooks().startMonitor); }

// A service centre goes on to the next instrument without starting the program (and its
// elevation prompt) again; the choices of file and risk stay.
void OnNextInstrumentClicked() {
    // The second click of a double click finds the connect page already.
    if (CurrentPage() != Page::Done) return;
    WriteLog("Next instrument requested by user");
    ShowConnectPage();
    SetControlText(IDC_STATUS2, kLiftUpdatedInstrumentText);
    StartMonitor(CurrentWorkerLaunchHooks().startNextMonitor);
}

void OnStartClicked() {
    AppState& app = App();
    // A disconnect is not over until its Cancelled is handled, though its worker has cleared
    // operationBusy already. Set before the version question, whose box delivers a second click.
    if (Disconnecting() || app.operationBusy.exchange(true)) return;
    if (!ConfirmFirmwareVersion()) {
        app.operationBusy.exchange(false);
        UpdateStartButton();
        return;
    }
    app.cancelRequested.exchange(false);
    ShowUpdatePage();
    NoteUpdateStarted();
    if (!TryStartOperation(UpdateWorker, "update worker")) {
        ShowCheckPage();
        return;
    }
    // The worker's result is handled on this thread, so after this, however fast it comes.
    KeepSystemAwake(true);
}

// The update worker looks at the request before each block. Recorded first and confirmed by
// cancelAllowed after: the worker clears cancelAllowed before its last look, so a request
// confirmed here is always seen; a late one may still cancel, or is never looked at.
void RequestCancellation() {
    AppState& app = App();
    app.cancelRequested.exchange(true);
    if (!app.cancelAllowed.load()) return;
    SetCancelButton(false, L"Отмена…");
    WriteLog("Cancellation requested by user");
}

void OnCancelClicked() {
    AppState& app = App();
    if (operation.updateRunning) {
        RequestCancellation();
        return;
    }
    if (Disconnecting() || app.operationBusy.exchange(true)) return;
    SetDisconnecting(true);
    SetCancelButton(false, L"Отключение…");
    UpdateStartButton();
    if (TryStartOperation(DisconnectWorker, "disconnect worker")) return;
    SetDisconnecting(false);
    SetCancelButton(true, kCancelUpdateText);
    UpdateStartButton();
}

struct CommandRow {
    int id;
    void (*handler)();
};

const CommandRow kCommands[] = {
    {.id = IDC_CHOOSE_FILE, .handler = ChooseFirmwareFile},
    {.id = IDC_ACCEPT_RISK, .handler = UpdateStartButton},
    {.id = IDC_START, .handler = OnStartClicked},
    {.id = IDC_CANCEL, .handler = OnCancelClicked},
    {.id = IDC_NEXT_INSTRUMENT, .handler = OnNextInstrumentClicked},
};

LRESULT OnCommand(int id) {
    for (const CommandRow& command : kCommands)
        if (command.id == id) command.handler();
    return 0;
}

LRESULT AddWindowIcons(HWND window) {
    HICON icon = Ui().icon.Get();
    if (icon == nullptr) return 0;
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    NOTIFYICONDATAW& record = Ui().trayIcon;
    record = NOTIFYICONDATAW();
    record.cbSize = sizeof(record);
    record.hWnd = window;
    record.uID = 1;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = MSG_TRAY_ICON;
    record.hIcon = icon;
    std::wstring(kMainWindowTitle).copy(record.szTip, sizeof(record.szTip) / sizeof(record.szTip[0]) - 1);
    // Unchecked: without a notification area (no shell running) the window works the same.
    Shell_NotifyIconW(NIM_ADD, &record);
    return 0;
}

LRESULT OnCreate(HWND window) {
    CreateMainControls(window);
    StartWithCuesOf(window, nullptr);
    // Lines a crash or a held history left waiting go in first.
    RetryWaitingHistory(window);
    StartMonitor();
    return 0;
}

LRESULT OnTimer(HWND window, WPARAM timer) {
    if (timer == kHistoryRetryTimer) RetryWaitingHistory(window);
    return 0;
}

LRESULT OnDestroy(HWND window) {
    App().appClosing.exchange(true);
    ReleaseAttention();
    ForgetCues(window);
    NOTIFYICONDATAW& record = Ui().trayIcon;
    if (record.cbSize != 0) Shell_NotifyIconW(NIM_DELETE, &record);
    record = NOTIFYICONDATAW();
    PostQuitMessage(0);
    return 0;
}

LRESULT OnClose(HWND window) {
    if (App().operationBusy.load()) {
        ShowMessageBox(kCloseRefused, kUpdateRunningText, MB_ICONWARNING);
        return 0;
    }
    DestroyWindow(window);
    return 0;
}

// From the moment it was posted the text is the window's; taking it first frees it on every path.
std::unique_ptr<std::wstring> TakeText(LPARAM lParam) {
    return std::unique_ptr<std::wstring>(reinterpret_cast<std::wstring*>(lParam));
}

std::wstring TextOf(const std::unique_ptr<std::wstring>& text) { return text ? *text : std::wstring(); }

LRESULT OnStatusLine(WPARAM line, const std::unique_ptr<std::wstring>& text) {
    if (line >= 1 && line <= 5 && text) ShowStatusLine(static_cast<int>(line), *text);
    return 0;
}

LRESULT OnProgress(WPARAM percent, LPARAM finalPhase) {
    ShowUpdateProgress(static_cast<int32_t>(static_cast<uint32_t>(percent)));
    if (finalPhase == 1) SetCancelButton(false, L"Завершение обновления…");
    return 0;
}

void AfterCancelled(HWND window, const std::wstring& message) {
    ShowMessageBox(message.c_str(), kUpdateCancelledText, MB_ICONINFORMATION);
    if (!IsWindow(window)) return;
    ShowConnectPage();
    SetDisconnecting(false);
    StartMonitor();
}

void AfterFailed(HWND window, const std::wstring& message) {
    ShowMessageBox(message.c_str(), L"Ошибка обновления", MB_ICONERROR);
    if (!IsWindow(window)) return;
    ShowCheckPage();
    SetOutsideText(IDC_STATUS4, L"✕  " + message);
}

// The flags are cleared before the box, the page switches after it.
LRESULT OnOperationDone(HWND window, WPARAM result, const std::unique_ptr<std::wstring>& text) {
    AppState& app = App();
    app.operationBusy.exchange(false);
    app.cancelAllowed.exchange(false);
    const std::wstring message = TextOf(text);
    HistoryBlockage history;
    if (operation.updateRunning) {
        KeepSystemAwake(false);
        history = RecordUpdateEnded(static_cast<OperationResult>(result), message);
        AnnounceUpdateEnd(window, static_cast<OperationResult>(result), message);
    }
    // A failure must not open underneath the topmost pop-up that still asks to reinstall.
    if (result != Succeeded) CloseReinstallDialog();
    if (result == Succeeded) {
        ShowDonePage(message);
    } else if (result == Cancelled) {
        AfterCancelled(window, message);
    } else {
        AfterFailed(window, message);
    }
    TellHistoryBlockage(window, history);
    return 0;
}

LRESULT OnInstrumentChecked() {
    ShowCheckPage();
    LogVersions();
    return 0;
}

LRESULT OnTrayIcon(HWND window, LPARAM mouseMessage) {
    if (mouseMessage == WM_LBUTTONUP || mouseMessage == WM_LBUTTONDBLCLK) {
        ShowWindow(window, SW_RESTORE);
        SetForegroundWindow(window);
    }
    return 0;
}

// Windows asks before it shuts down or logs off; during an update the answer is no.
LRESULT OnQueryEndSession(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!operation.updateRunning) return DefWindowProcW(window, message, wParam, lParam);
    WriteLog("Shutdown or log-off refused: firmware update in progress");
    return FALSE;
}

// Sleep still comes when the lid closes; the log then tells support why the transfer broke.
LRESULT OnPowerBroadcast(WPARAM event) {
    if (event == PBT_APMSUSPEND && operation.updateRunning) {
        operation.sleptDuringUpdate = true;
        WriteLog("System is going to sleep during a firmware update");
    } else if ((event == PBT_APMRESUMESUSPEND || event == PBT_APMRESUMEAUTOMATIC) && operation.sleptDuringUpdate) {
        operation.sleptDuringUpdate = false;
        WriteLog("System resumed");
    }
    return TRUE;
}

LRESULT OnReinstallPrompt(HWND window) {
    ShowReinstallState();
    CallForReinstall(window);
    RunReinstallDialog(window);
    if (operation.updateRunning) ResumeTaskbarProgress();
    return 0;
}

// Another monitor, or another scale for this one: the layout follows once, with the system's
// place and our own size; the page, its texts, the choices and a running update stay as they are.
LRESULT OnDpiChanged(HWND window, WPARAM dpis, LPARAM suggested) {
    FollowDpiChange(window, LOWORD(dpis), *reinterpret_cast<const RECT*>(suggested));
    // The old fonts go as this returns, once no control holds them any more.
    const std::vector<GdiObject<HFONT>> old = RemakeFonts();
    LayOutChildrenAgain(window);
    FollowLayoutScaleInReinstallDialog();
    return 0;
}

// The size the window takes at that DPI, so that on a monitor's edge it does not bounce between two.
LRESULT OnGetDpiScaledSize(HWND window, WPARAM dpi, LPARAM size) {
    *reinterpret_cast<SIZE*>(size) = OuterSizeAtDpi(window, static_cast<unsigned>(dpi));
    return TRUE;
}

void LogContrast() { WriteLog(std::string("High contrast: ") + (HighContrast() ? "on" : "off")); }

// A high-contrast switch or new system colours: the brushes and every pixel follow; the page, its
// texts and a running update stay as they are.
void FollowColours(HWND window, bool systemColoursChanged) {
    const bool switched = ReadHighContrast();
    if (switched) LogContrast();
    if (!switched && !(systemColoursChanged && HighContrast())) return;
    RemakeBrushes();
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
    RepaintReinstallDialog();
}

// Windows' own handling of these follows ours.
LRESULT OnColoursChanged(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_SETTINGCHANGE || wParam == SPI_SETHIGHCONTRAST)
        FollowColours(window, message != WM_SETTINGCHANGE);
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT HandleMainMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (IsTaskbarButtonCreated(message)) return OnTaskbarButtonCreated(window);
    switch (message) {
    case WM_CREATE: return OnCreate(window);
    case WM_DESTROY: return OnDestroy(window);
    case WM_ERASEBKGND: return FillClientArea(window, reinterpret_cast<HDC>(wParam), Brush(BackgroundBrush));
    case WM_PAINT: return PaintMainWindow(window);
    case WM_DRAWITEM: return DrawOwnerItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_CTLCOLORSTATIC: return ColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_CTLCOLORBTN: return ColorButton(reinterpret_cast<HWND>(lParam));
    case WM_CLOSE: return OnClose(window);
    case WM_COMMAND: return OnCommand(LOWORD(wParam));
    case DM_GETDEFID: return DefaultButtonAnswer();
    case WM_ACTIVATE: return OnMainWindowActivate(wParam);
    case WM_SETFOCUS: return OnMainWindowFocus();
    case WM_UPDATEUISTATE: return OnUpdateUiState(window, wParam, lParam);
    case WM_QUERYENDSESSION: return OnQueryEndSession(window, message, wParam, lParam);
    case WM_POWERBROADCAST: return OnPowerBroadcast(wParam);
    case WM_TIMER: return OnTimer(window, wParam);
    case WM_DPICHANGED: return OnDpiChanged(window, wParam, lParam);
    case kGetDpiScaledSizeMessage: return OnGetDpiScaledSize(window, wParam, lParam);
    case WM_SETTINGCHANGE:
    case WM_SYSCOLORCHANGE:
    case WM_THEMECHANGED: return OnColoursChanged(window, message, wParam, lParam);
    case MSG_INSTRUMENT_CHECKED: return OnInstrumentChecked();
    case MSG_STATUS_LINE: return OnStatusLine(wParam, TakeText(lParam));
    case MSG_PROGRESS: return OnProgress(wParam, lParam);
    case MSG_OPERATION_DONE: return OnOperationDone(window, wParam, TakeText(lParam));
    case MSG_TRAY_ICON: return OnTrayIcon(window, lParam);
    case MSG_ADD_ICONS: return AddWindowIcons(window);
    case MSG_REINSTALL_PROMPT: return OnReinstallPrompt(window);
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return HandleGuarded("main window", HandleMainMessage, window, message, wParam, lParam);
}

bool RegisterMainWindowClass(HINSTANCE instance, HICON icon) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = icon != nullptr ? icon : LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassW(&windowClass) != 0;
}

void SetClassIcon(HWND window) {
    if (Ui().icon) SetClassLongPtrW(window, GCLP_HICON, reinterpret_cast<LONG_PTR>(Ui().icon.Get()));
}

HWND CreateMainWindow(HINSTANCE instance) {
    // Tab moves through the controls as in a dialog.
    return CreateWindowExW(WS_EX_CONTROLPARENT, kMainWindowClass, kMainWindowTitle, kMainWindowStyle, CW_USEDEFAULT,
                           CW_USEDEFAULT, kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, instance, nullptr);
}

void CreateMainControls(HWND window) {
    App().mainWindow = window;
    operation = OperationState();
    SetDisconnecting(false);
    FitMainWindowToWorkArea(window, {kMainWindowWidth, kMainWindowHeight});
    if (ReadHighContrast()) LogContrast();
    CreateFontsAndBrushes();
    PostMessageW(window, MSG_ADD_ICONS, 0, 0);
    CreateWizardControls(window);
    PrepareAttention(window);
    ShowConnectPage();
}
