#include "ui/main_window.h"

#include <shellapi.h>

#include <charconv>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "core/app_state.h"
#include "core/log.h"
#include "core/notifications.h"
#include "ui/firmware_selection.h"
#include "ui/painting.h"
#include "ui/reinstall_dialog.h"
#include "ui/ui_resources.h"
#include "ui/window_helpers.h"
#include "ui/worker_launch.h"
#include "workflows/workflows.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

// Created in this order; no tab stops, nothing disabled.
const ChildControl kControls[] = {
    {IDC_TITLE, L"STATIC", kChild | SS_CENTER, L"Обновление прошивки Zarvel Ксарон 4", {345, 29, 760, 66}, HeaderFont},
    {IDC_STEP1, L"STATIC", kChild | SS_LEFT, L"1. Подключение", {220, 139, 220, 38}, StepLabelFont},
    {IDC_STEP2, L"STATIC", kChild | SS_LEFT, L"2. Проверка", {650, 139, 210, 38}, StepLabelFont},
    {IDC_STEP3, L"STATIC", kChild | SS_LEFT, L"3. Обновление", {1080, 139, 250, 38}, StepLabelFont},
    {IDC_HEADING, L"STATIC", kChild | SS_LEFT, L"", {790, 245, 540, 40}, CaptionFont},
    {IDC_DESCRIPTION, L"STATIC", kChild | SS_LEFT, L"", {790, 295, 540, 100}, BaseFont},
    {IDC_STATUS1, L"STATIC", kChild | SS_OWNERDRAW, L"", {800, 360, 520, 42}, RowFont},
    {IDC_STATUS2, L"STATIC", kChild | SS_OWNERDRAW, L"", {800, 414, 520, 42}, RowFont},
    {IDC_STATUS3, L"STATIC", kChild | SS_OWNERDRAW, L"", {800, 468, 520, 42}, RowFont},
    {IDC_STATUS4, L"STATIC", kChild | SS_OWNERDRAW, L"", {800, 522, 520, 42}, RowFont},
    {IDC_STATUS5, L"STATIC", kChild | SS_OWNERDRAW, L"", {800, 576, 520, 62}, RowFont},
    {IDC_FILE_BOX, L"STATIC", kChild | SS_OWNERDRAW, L"Файл прошивки не выбран", {800, 525, 295, 50}, BaseFont},
    {IDC_CHOOSE_FILE, L"BUTTON", kChild | BS_OWNERDRAW, L"Выбрать другой файл", {1110, 548, 215, 48}, BaseFont},
    {IDC_ACCEPT_RISK, L"BUTTON", kChild | BS_AUTOCHECKBOX, L"Я понимаю возможные риски и хочу продолжить", {755, 620, 570, 36}, BaseFont},
    {IDC_START, L"BUTTON", kChild | BS_OWNERDRAW, L"Начать обновление", {755, 665, 570, 52}, BaseFont},
    {IDC_CANCEL, L"BUTTON", kChild | BS_OWNERDRAW, L"Отменить обновление", {755, 727, 570, 48}, BaseFont},
    {IDC_PROGRESS, L"STATIC", kChild | SS_OWNERDRAW, L"", {790, 350, 540, 22}, BaseFont},
    {IDC_NOTE, L"STATIC", kChild | SS_OWNERDRAW, L"", {800, 772, 520, 62}, BaseFont},
};

enum class Shown { Keep, Yes, No };

// One control on one page; a null text keeps the current one, move = false keeps the place.
struct PageRow {
    int id;
    bool move;
    PixelBox box;
    Shown shown;
    const wchar_t* text;
    bool enable = false;
};

struct PageLayout {
    int step;
    const PageRow* rows;
    size_t rowCount;
    void (*fillTexts)(); // texts computed from the state, after the fixed ones
    void (*finish)();    // the page's last steps
};

constexpr PixelBox kKeep = {0, 0, 0, 0};

const PageRow kConnectRows[] = {
    {IDC_HEADING, true, {790, 245, 540, 52}, Shown::Yes, L"Подключите дата-станцию"},
    {IDC_DESCRIPTION, true, {790, 310, 540, 90}, Shown::Yes,
     L"Подключите дата-станцию к компьютеру. После её обнаружения установите прибор на дата-станцию."},
    {IDC_STATUS1, true, {800, 425, 520, 42}, Shown::Yes, L"○  Поиск дата-станции…"},
    {IDC_STATUS2, true, {800, 480, 520, 42}, Shown::Yes, L"○  Ожидание прибора"},
    {IDC_STATUS3, true, {800, 535, 520, 42}, Shown::No, L""},
    {IDC_STATUS4, true, {800, 590, 520, 42}, Shown::No, L""},
    {IDC_STATUS5, true, {800, 645, 520, 42}, Shown::No, L""},
    {IDC_NOTE, true, {780, 810, 560, 100}, Shown::Yes,
     L"Важно\r\nПрибор должен быть заряжен и оставаться на станции до полного завершения."},
    {IDC_FILE_BOX, false, kKeep, Shown::No, nullptr},
    {IDC_CHOOSE_FILE, false, kKeep, Shown::No, nullptr},
    {IDC_ACCEPT_RISK, false, kKeep, Shown::No, nullptr},
    {IDC_START, false, kKeep, Shown::No, nullptr},
    {IDC_CANCEL, false, kKeep, Shown::No, nullptr},
    {IDC_PROGRESS, false, kKeep, Shown::No, nullptr},
};

const PageRow kCheckRows[] = {
    {IDC_HEADING, true, {790, 245, 540, 52}, Shown::Yes, L"Проверка перед обновлением"},
    {IDC_DESCRIPTION, true, {790, 310, 540, 65}, Shown::Yes, L"Программа проверила подключение и готовность прибора."},
    {IDC_STATUS1, true, {800, 380, 520, 40}, Shown::Yes, L"✓  Прибор подключён"},
    {IDC_STATUS2, true, {800, 423, 520, 40}, Shown::Yes, nullptr}, // the battery line
    {IDC_STATUS3, true, {800, 466, 520, 40}, Shown::Yes, L"✓  Минимально допустимое напряжение: 3,90 В"},
    {IDC_STATUS4, true, {800, 509, 520, 40}, Shown::Yes, nullptr}, // the DFWU line
    {IDC_STATUS5, true, {800, 552, 520, 40}, Shown::No, L""},
    {IDC_FILE_BOX, true, {800, 570, 295, 50}, Shown::Yes, nullptr},
    {IDC_CHOOSE_FILE, true, {1110, 570, 210, 50}, Shown::Yes, nullptr},
    {IDC_ACCEPT_RISK, true, {800, 645, 520, 38}, Shown::Yes, nullptr},
    {IDC_START, true, {800, 695, 520, 46}, Shown::Yes, nullptr},
    {IDC_CANCEL, true, {800, 755, 520, 46}, Shown::Yes, L"Отменить обновление", true},
    {IDC_NOTE, true, {780, 815, 560, 100}, Shown::Yes,
     L"Внимание\r\nВо время обновления не снимайте прибор с дата-станции и не отключайте кабель."},
    {IDC_PROGRESS, false, kKeep, Shown::No, nullptr},
};

const PageRow kUpdateRows[] = {
    {IDC_HEADING, true, {790, 245, 540, 52}, Shown::Yes, L"Обновление выполняется"},
    {IDC_DESCRIPTION, true, {790, 310, 540, 70}, Shown::Yes, L"Пожалуйста, дождитесь завершения процесса."},
    {IDC_PROGRESS, true, {800, 390, 520, 32}, Shown::Yes, nullptr},
    {IDC_STATUS1, true, {800, 445, 520, 40}, Shown::Yes, L"○  Подключение к прибору"},
    {IDC_STATUS2, true, {800, 489, 520, 40}, Shown::Yes, L"○  Переход в режим обновления"},
    {IDC_STATUS3, true, {800, 533, 520, 40}, Shown::Yes, L"○  Передача прошивки"},
    {IDC_STATUS4, true, {800, 577, 520, 40}, Shown::Yes, L"○  Проверка и перезапуск"},
    {IDC_STATUS5, true, {800, 621, 520, 40}, Shown::Yes, L""},
    {IDC_NOTE, true, {780, 710, 560, 105}, Shown::Yes,
     L"НЕ СНИМАЙТЕ ПРИБОР С ДАТА-СТАНЦИИ\r\nНе отключайте кабель и не закрывайте программу."},
    {IDC_FILE_BOX, false, kKeep, Shown::No, nullptr},
    {IDC_CHOOSE_FILE, false, kKeep, Shown::No, nullptr},
    {IDC_ACCEPT_RISK, false, kKeep, Shown::No, nullptr},
    {IDC_START, false, kKeep, Shown::No, nullptr},
    // Below the note, which covers the place the check page gives it; cancellable between blocks.
    {IDC_CANCEL, true, {800, 830, 520, 46}, Shown::Yes, L"Отменить обновление", true},
};

// The status lines stay as the update left them; the description is the worker's message.
const PageRow kDoneRows[] = {
    {IDC_HEADING, true, {790, 270, 540, 58}, Shown::Keep, L"Обновление завершено"},
    {IDC_DESCRIPTION, true, {790, 345, 540, 100}, Shown::Keep, nullptr},
    {IDC_NOTE, true, {780, 735, 560, 110}, Shown::Keep,
     L"Прошивка успешно обновлена\r\nТеперь прибор можно снять с дата-станции."},
    {IDC_PROGRESS, false, kKeep, Shown::No, nullptr},
    {IDC_CANCEL, false, kKeep, Shown::No, nullptr},
};

constexpr const wchar_t* kCancelText = L"Отменить обновление";
constexpr const wchar_t* kCloseRefused = L"Во время обновления закрывать программу нельзя.";

HWND Control(int id) { return GetDlgItem(MainWindow(), id); }

// Window thread only: what the window keeps about the operation it started.
struct OperationState {
    bool updateRunning = false; // from the Start click until the update's result is handled
    bool disconnecting = false; // from the check page's cancel until its Cancelled is handled
    bool sleptDuringUpdate = false; // a suspend arrived during an update; its resume is logged
};
OperationState operation;

constexpr const wchar_t* kShutdownReason = L"Идёт обновление прошивки прибора. Не выключайте компьютер до его завершения.";

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

void SetControlFont(int id, UiFont font) {
    SendMessageW(Control(id), WM_SETFONT, reinterpret_cast<WPARAM>(Font(font)), TRUE);
}

void MoveControl(int id, const PixelBox& box) {
    SetWindowPos(Control(id), nullptr, box.x, box.y, box.width, box.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void InvalidateControl(int id) { InvalidateRect(Control(id), nullptr, TRUE); }

void SetCancelButton(bool enabled, const wchar_t* text) {
    EnableWindow(Control(IDC_CANCEL), enabled ? TRUE : FALSE);
    SetControlText(IDC_CANCEL, text);
}

bool IsPageTop(int id) { return id == IDC_HEADING || id == IDC_DESCRIPTION; }

void ApplyShown(const PageRow& row) {
    if (row.shown != Shown::Keep) ShowWindow(Control(row.id), row.shown == Shown::Yes ? SW_SHOW : SW_HIDE);
    if (row.enable) EnableWindow(Control(row.id), TRUE);
}

// Heading and description first, then the step labels, texts, places, visibility and the note.
void ApplyPage(const PageLayout& page) {
    const PageRow* const begin = page.rows;
    const PageRow* const end = page.rows + page.rowCount;
    App().wizardStep = page.step;
    SetControlFont(IDC_HEADING, PageTitleFont);
    SetControlFont(IDC_DESCRIPTION, PageTextFont);
    for (const PageRow* row = begin; row != end; ++row)
        if (row->move && IsPageTop(row->id)) MoveControl(row->id, row->box);
    RefreshStepLabels();
    for (const PageRow* row = begin; row != end; ++row)
        if (row->text != nullptr && row->id != IDC_NOTE) SetControlText(row->id, row->text);
    if (page.fillTexts != nullptr) page.fillTexts();
    for (const PageRow* row = begin; row != end; ++row)
        if (row->move && !IsPageTop(row->id)) MoveControl(row->id, row->box);
    for (const PageRow* row = begin; row != end; ++row) ApplyShown(*row);
    for (const PageRow* row = begin; row != end; ++row)
        if (row->text != nullptr && row->id == IDC_NOTE) SetControlText(row->id, row->text);
    if (page.finish != nullptr) page.finish();
}

template <size_t N>
PageLayout Page(int step, const PageRow (&rows)[N], void (*fillTexts)() = nullptr, void (*finish)() = nullptr) {
    return {step, rows, N, fillTexts, finish};
}

// The monitor published both before it posted the notification that led here.
void FillCheckLines() {
    const AppState& app = App();
    SetControlText(IDC_STATUS2, BatteryLine(app.batteryVoltage));
    SetControlText(IDC_STATUS4, app.instrumentReady ? L"✓  Механизм DFWU доступен" : L"✕  Механизм DFWU не подтверждён");
}

void ResetProgress() {
    App().progressPercent = 0;
    InvalidateControl(IDC_PROGRESS);
}

void ShowDonePage(const std::wstring& message) {
    ApplyPage(Page(4, kDoneRows));
    SetControlText(IDC_DESCRIPTION, message);
}

void ReportStartFailure(const char* worker, const std::exception& error) {
    WriteLog(std::string("Could not start the ") + worker + ": " + error.what());
    ShowMessageBox(L"Не удалось запустить операцию: система не смогла создать поток. Повторите попытку.", L"Ошибка запуска",
            MB_ICONERROR);
}

// A thread that cannot be created must not leave operationBusy set with nobody to clear it.
bool TryStartOperation(void (*procedure)(), const char* worker) {
    try {
        CurrentWorkerLaunch().startDetached(procedure);
        return true;
    } catch (const std::exception& error) {
        App().operationBusy.exchange(false);
        ReportStartFailure(worker, error);
        return false;
    }
}

void StartMonitor() {
    try {
        CurrentWorkerLaunch().startMonitor();
    } catch (const std::exception& error) {
        ReportStartFailure("instrument monitor", error);
    }
}

void OnStartClicked() {
    AppState& app = App();
    // A disconnect is not over until its Cancelled is handled, though its worker has cleared
    // operationBusy already.
    if (operation.disconnecting || app.operationBusy.exchange(true)) return;
    app.cancelRequested.exchange(false);
    ShowUpdatePage();
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
    if (operation.disconnecting || app.operationBusy.exchange(true)) return;
    operation.disconnecting = true;
    SetCancelButton(false, L"Отключение…");
    UpdateStartButton();
    if (TryStartOperation(DisconnectWorker, "disconnect worker")) return;
    operation.disconnecting = false;
    SetCancelButton(true, kCancelText);
    UpdateStartButton();
}

struct CommandRow {
    int id;
    void (*handler)();
};

const CommandRow kCommands[] = {
    {IDC_CHOOSE_FILE, ChooseFirmwareFile},
    {IDC_ACCEPT_RISK, UpdateStartButton},
    {IDC_START, OnStartClicked},
    {IDC_CANCEL, OnCancelClicked},
};

LRESULT OnCommand(int id) {
    for (const CommandRow& command : kCommands)
        if (command.id == id) command.handler();
    return 0;
}

void AddWindowIcons(HWND window) {
    HICON icon = Ui().icon;
    if (icon == nullptr) return;
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
    Shell_NotifyIconW(NIM_ADD, &record);
}

// Every control first gets BaseFont, then the one its row names.
void CreateControl(HWND window, const ChildControl& row) {
    HWND control = CreateChildControl(window, row);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(BaseFont)), TRUE);
    if (row.font != BaseFont) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(row.font)), TRUE);
}

LRESULT OnCreate(HWND window) {
    CreateMainControls(window);
    StartMonitor();
    return 0;
}

LRESULT OnDestroy() {
    App().appClosing.exchange(true);
    NOTIFYICONDATAW& record = Ui().trayIcon;
    if (record.cbSize != 0) Shell_NotifyIconW(NIM_DELETE, &record);
    record = NOTIFYICONDATAW();
    PostQuitMessage(0);
    return 0;
}

LRESULT OnClose(HWND window) {
    if (App().operationBusy.load()) {
        ShowMessageBox(kCloseRefused, L"Обновление выполняется", MB_ICONWARNING);
        return 0;
    }
    DestroyWindow(window);
    return 0;
}

// From the moment it was posted the text is the window's; taking it first frees it on every path.
std::unique_ptr<std::wstring> TakeText(LPARAM lParam) { return std::unique_ptr<std::wstring>(reinterpret_cast<std::wstring*>(lParam)); }

std::wstring TextOf(const std::unique_ptr<std::wstring>& text) { return text ? *text : std::wstring(); }

LRESULT OnStatusLine(WPARAM line, const std::unique_ptr<std::wstring>& text) {
    if (line >= 1 && line <= 5 && text) SetControlText(IDC_DESCRIPTION + static_cast<int>(line), *text);
    return 0;
}

LRESULT OnProgress(WPARAM percent, LPARAM finalPhase) {
    App().progressPercent = static_cast<int32_t>(static_cast<uint32_t>(percent));
    InvalidateControl(IDC_PROGRESS);
    if (finalPhase == 1) SetCancelButton(false, L"Завершение обновления…");
    return 0;
}

void AfterCancelled(HWND window, const std::wstring& message) {
    ShowMessageBox(message.c_str(), L"Обновление отменено", MB_ICONINFORMATION);
    if (!IsWindow(window)) return;
    ShowConnectPage();
    operation.disconnecting = false;
    StartMonitor();
}

void AfterFailed(HWND window, const std::wstring& message) {
    ShowMessageBox(message.c_str(), L"Ошибка обновления", MB_ICONERROR);
    if (!IsWindow(window)) return;
    ShowCheckPage();
    SetControlText(IDC_STATUS4, L"✕  " + message);
}

// The flags are cleared before the box, the page switches after it.
LRESULT OnOperationDone(HWND window, WPARAM result, const std::unique_ptr<std::wstring>& text) {
    AppState& app = App();
    app.operationBusy.exchange(false);
    app.cancelAllowed.exchange(false);
    if (operation.updateRunning) KeepSystemAwake(false);
    const std::wstring message = TextOf(text);
    // A failure must not open underneath the topmost pop-up that still asks to reinstall.
    if (result != Succeeded) CloseReinstallDialog();
    if (result == Succeeded) {
        ShowDonePage(message);
    } else if (result == Cancelled) {
        AfterCancelled(window, message);
    } else {
        AfterFailed(window, message);
    }
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
    App().progressPercent = 95;
    InvalidateControl(IDC_PROGRESS);
    SetControlText(IDC_HEADING, L"Повторная установка прибора");
    SetControlText(IDC_DESCRIPTION, kReinstallInstruction);
    SetControlText(IDC_STATUS4, L"✓  Команда Reset выполнена");
    SetControlText(IDC_STATUS5, L"●  Ожидание повторной установки…");
    SetControlText(IDC_NOTE, L"ПОДНИМИТЕ И СНОВА УСТАНОВИТЕ ПРИБОР\r\nПроверка продолжится автоматически.");
    RunReinstallDialog(window);
    return 0;
}

LRESULT HandleMainMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: return OnCreate(window);
    case WM_DESTROY: return OnDestroy();
    case WM_ERASEBKGND: return EraseMainBackground(window, reinterpret_cast<HDC>(wParam));
    case WM_PAINT: return PaintMainWindow(window);
    case WM_DRAWITEM: return DrawOwnerItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case WM_CTLCOLORSTATIC: return ColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_CTLCOLORBTN: return ColorButton(reinterpret_cast<HWND>(lParam));
    case WM_CLOSE: return OnClose(window);
    case WM_COMMAND: return OnCommand(LOWORD(wParam));
    case WM_QUERYENDSESSION: return OnQueryEndSession(window, message, wParam, lParam);
    case WM_POWERBROADCAST: return OnPowerBroadcast(wParam);
    case MSG_INSTRUMENT_CHECKED: ShowCheckPage(); return 0;
    case MSG_STATUS_LINE: return OnStatusLine(wParam, TakeText(lParam));
    case MSG_PROGRESS: return OnProgress(wParam, lParam);
    case MSG_OPERATION_DONE: return OnOperationDone(window, wParam, TakeText(lParam));
    case MSG_TRAY_ICON: return OnTrayIcon(window, lParam);
    case MSG_REINSTALL_PROMPT: return OnReinstallPrompt(window);
    default: return DefWindowProcW(window, message, wParam, lParam);
    }
}

} // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    // Nothing may unwind through the system's dispatcher.
    try {
        return HandleMainMessage(window, message, wParam, lParam);
    } catch (const std::exception& error) {
        WriteLog(std::string("Unexpected error in the main window: ") + error.what());
    } catch (...) {
        WriteLog("Unexpected error in the main window");
    }
    return 0;
}

bool RegisterMainWindowClass(HINSTANCE instance) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = Ui().icon != nullptr ? Ui().icon : LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = kMainWindowClass;
    return RegisterClassW(&windowClass) != 0;
}

HWND CreateMainWindow(HINSTANCE instance) {
    return CreateWindowExW(0, kMainWindowClass, kMainWindowTitle, kMainWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                           kMainWindowWidth, kMainWindowHeight, nullptr, nullptr, instance, nullptr);
}

void CreateMainControls(HWND window) {
    App().mainWindow = window;
    operation = OperationState();
    CreateFontsAndBrushes();
    AddWindowIcons(window);
    for (const ChildControl& row : kControls) CreateControl(window, row);
    ShowConnectPage();
}

void SetControlText(int id, const std::wstring& text) {
    HWND control = Control(id);
    SetWindowTextW(control, text.c_str());
    InvalidateRect(control, nullptr, TRUE);
}

bool StartAllowed(bool firmwareReady, double batteryVolts, bool instrumentReady, bool riskAccepted, bool operationBusy) {
    return firmwareReady && batteryVolts >= kMinimumBatteryVolts && instrumentReady && riskAccepted && !operationBusy;
}

void UpdateStartButton() {
    const AppState& app = App();
    const bool riskAccepted = SendMessageW(Control(IDC_ACCEPT_RISK), BM_GETCHECK, 0, 0) == BST_CHECKED;
    const bool busy = app.operationBusy.load() || operation.disconnecting;
    const bool allowed = StartAllowed(app.firmwareReady, app.batteryVoltage, app.instrumentReady, riskAccepted, busy);
    EnableWindow(Control(IDC_START), allowed ? TRUE : FALSE);
}

void RefreshStepLabels() {
    SetControlText(IDC_STEP1, L"1. Подключение");
    SetControlText(IDC_STEP2, L"2. Проверка");
    SetControlText(IDC_STEP3, L"3. Обновление");
    InvalidateRect(MainWindow(), nullptr, FALSE);
}

void ShowConnectPage() { ApplyPage(Page(1, kConnectRows)); }

void ShowCheckPage() { ApplyPage(Page(2, kCheckRows, FillCheckLines, UpdateStartButton)); }

void ShowUpdatePage() { ApplyPage(Page(3, kUpdateRows, nullptr, ResetProgress)); }

std::wstring BatteryLine(double volts) {
    // Cut, never rounded, so that 3.896 V shows as 3.89 beside its cross; cut from the shortest
    // decimal that reads back as the same double, so that 3.9 shows as 3.90 and not 3.89.
    char digits[400];
    const std::to_chars_result shortest = std::to_chars(digits, digits + sizeof(digits), volts, std::chars_format::fixed);
    std::string number(digits, shortest.ptr);
    if (number.find('.') == std::string::npos) number += '.';
    number.resize(number.find('.') + 3, '0');
    std::wstring line = volts >= kMinimumBatteryVolts ? L"✓  " : L"✕  ";
    return line + L"Напряжение аккумулятора: " + std::wstring(number.begin(), number.end()) + L" В";
}
