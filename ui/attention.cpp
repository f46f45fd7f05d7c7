#include "ui/attention.h"

#include <optional>
#include <string>
#include <utility>

#include "core/app_state.h"
#include "core/log.h"
#include "text/seam.h"
#include "text/text.h"
#include "ui/control_ids.h"
#include "ui/live_regions.h"
#include "ui/ui_resources.h"
#include "ui/ui_texts.h"
#include "ui/window_helpers.h"

namespace {

// Local copies: the program links no import library for these two COM identities.
constexpr CLSID kTaskbarListClass = {0x56fdf344, 0xfd6d, 0x11d0, {0x95, 0x8a, 0x00, 0x60, 0x97, 0xc9, 0xa0, 0x90}};
constexpr IID kTaskbarList3Interface = {0xea1afb91, 0x9e28, 0x4b86, {0x90, 0xe9, 0x9e, 0x9f, 0x8a, 0x5e, 0xef, 0xaf}};

ITaskbarList3* taskbarList = nullptr; // window thread only; made when the shell announces the button

HRESULT OpenTaskbar(HWND) {
    if (taskbarList != nullptr) taskbarList->Release();
    taskbarList = nullptr;
    void* made = nullptr;
    HRESULT result = CoCreateInstance(kTaskbarListClass, nullptr, CLSCTX_INPROC_SERVER, kTaskbarList3Interface, &made);
    if (FAILED(result)) return result;
    taskbarList = static_cast<ITaskbarList3*>(made);
    result = taskbarList->HrInit();
    if (FAILED(result)) {
        taskbarList->Release();
        taskbarList = nullptr;
    }
    return result;
}

HRESULT SetTaskbarState(HWND window, TBPFLAG state) {
    return taskbarList != nullptr ? taskbarList->SetProgressState(window, state) : E_POINTER;
}

HRESULT SetTaskbarValue(HWND window, int percent) {
    return taskbarList != nullptr ? taskbarList->SetProgressValue(window, static_cast<ULONGLONG>(percent), 100)
                                  : E_POINTER;
}

void Flash(HWND window) {
    // Until the window comes to the front.
    FLASHWINFO flash = {.cbSize = sizeof(FLASHWINFO),
                        .hwnd = window,
                        .dwFlags = FLASHW_ALL | FLASHW_TIMERNOFG,
                        .uCount = 0,
                        .dwTimeout = 0};
    FlashWindowEx(&flash);
}

bool ShowBalloon(NOTIFYICONDATAW* record) { return Shell_NotifyIconW(NIM_MODIFY, record) != FALSE; }

bool Beep(UINT sound) { return MessageBeep(sound) != FALSE; }

bool InFront(HWND window) {
    HWND front = GetForegroundWindow();
    return front != nullptr && GetAncestor(front, GA_ROOTOWNER) == window;
}

constexpr AttentionHooks kReal{
    .openTaskbar = OpenTaskbar,
    .setTaskbarState = SetTaskbarState,
    .setTaskbarValue = SetTaskbarValue,
    .flash = Flash,
    .showBalloon = ShowBalloon,
    .beep = Beep,
    .inFront = InFront,
};
constinit Seam<AttentionHooks> attentionSeam{kReal};

enum Fault { TaskbarFault, BalloonFault, SoundFault, FaultCount };
bool faultLogged[FaultCount] = {}; // window thread only

void LogOnce(Fault fault, const std::string& line) {
    if (!std::exchange(faultLogged[fault], true)) WriteLog(line);
}

// A taskbar call that failed; where COM itself could not start, start-up has said so already.
void CheckTaskbar(HRESULT result) {
    if (FAILED(result) && result != CO_E_NOTINITIALIZED)
        LogOnce(TaskbarFault, "Taskbar progress not available: " + HresultText(result));
}

// What the button shows, or is to show once it exists. Window thread only.
struct TaskbarProgress {
    bool open = false;
    TBPFLAG state = TBPF_NOPROGRESS;
    int percent = 0;
};
TaskbarProgress taskbar;

void SetTaskbar(TBPFLAG state, std::optional<int> percent = std::nullopt) {
    const bool changed = std::exchange(taskbar.state, state) != state;
    if (percent) taskbar.percent = *percent;
    if (!taskbar.open) return;
    if (changed) CheckTaskbar(CurrentAttentionHooks().setTaskbarState(MainWindow(), state));
    if (percent) CheckTaskbar(CurrentAttentionHooks().setTaskbarValue(MainWindow(), *percent));
}

void Sound(UINT sound) {
    if (!CurrentAttentionHooks().beep(sound)) LogOnce(SoundFault, "System sound refused");
}

template <size_t Size>
void CopyCut(const std::wstring& text, wchar_t (&field)[Size]) {
    field[text.copy(field, Size - 1)] = L'\0';
}

// Only from the background: in front, the window itself says it.
void CallBack(HWND window, const wchar_t* title, const std::wstring& text, DWORD icon) {
    const AttentionHooks& hooks = CurrentAttentionHooks();
    if (hooks.inFront(window)) return;
    hooks.flash(window);
    // Without a notification-area icon there is nothing to show a balloon from.
    if (Ui().trayIcon.cbSize == 0) return;
    NOTIFYICONDATAW record = Ui().trayIcon;
    record.uFlags = NIF_INFO;
    CopyCut(title, record.szInfoTitle);
    CopyCut(text, record.szInfo);
    record.dwInfoFlags = icon;
    if (!hooks.showBalloon(&record)) LogOnce(BalloonFault, "Notification balloon refused");
}

UINT TaskbarButtonCreated() {
    static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
    return message;
}

std::wstring UpdatedText() {
    const std::string& version = App().firmware.version;
    return version.empty() ? L"Прибор обновлён." : L"Прибор обновлён до версии " + Utf8ToWide(version) + L".";
}

} // namespace

void SetAttentionHooks(const AttentionHooks* hooks) {
    attentionSeam.Set(hooks);
    for (bool& logged : faultLogged) logged = false;
}

const AttentionHooks& CurrentAttentionHooks() { return attentionSeam.Current(); }

void PrepareAttention(HWND window) {
    taskbar = TaskbarProgress();
    // An elevated window hears the shell's message only when it lets it through.
    ChangeWindowMessageFilterEx(window, TaskbarButtonCreated(), MSGFLT_ALLOW, nullptr);
    MarkLiveRegions(window);
}

bool IsTaskbarButtonCreated(UINT message) { return message != 0 && message == TaskbarButtonCreated(); }

LRESULT OnTaskbarButtonCreated(HWND window) {
    const HRESULT result = CurrentAttentionHooks().openTaskbar(window);
    CheckTaskbar(result);
    taskbar.open = SUCCEEDED(result);
    const TBPFLAG state = std::exchange(taskbar.state, TBPF_NOPROGRESS);
    if (state != TBPF_NOPROGRESS) SetTaskbar(state, taskbar.percent);
    return 0;
}

void ReleaseAttention() {
    taskbar.open = false;
    if (taskbarList != nullptr) taskbarList->Release();
    taskbarList = nullptr;
    ReleaseLiveRegions();
}

void ShowUpdateProgress(int percent) {
    App().progressPercent = percent;
    InvalidateControl(IDC_PROGRESS);
    ShowProgressText(percent);
    // The pop-up's pause stays until the person has answered it.
    SetTaskbar(taskbar.state == TBPF_PAUSED ? TBPF_PAUSED : TBPF_NORMAL, percent);
}

void ClearTaskbarProgress() { SetTaskbar(TBPF_NOPROGRESS); }

void CallForReinstall(HWND window) {
    Sound(MB_ICONEXCLAMATION);
    CallBack(window, L"Поднимите и снова установите прибор", L"Проверка продолжится автоматически.", NIIF_WARNING);
    SetTaskbar(TBPF_PAUSED);
}

void ResumeTaskbarProgress() { SetTaskbar(TBPF_NORMAL); }

void AnnounceUpdateEnd(HWND window, OperationResult result, const std::wstring& message) {
    // Red until the failure's box is closed and the check page replaces the update page.
    SetTaskbar(result == Failed ? TBPF_ERROR : TBPF_NOPROGRESS);
    if (result == Succeeded) {
        Sound(MB_OK);
        CallBack(window, kUpdateDoneText, UpdatedText(), NIIF_INFO);
    } else if (result == Failed) {
        CallBack(window, L"Обновление не выполнено", message, NIIF_ERROR);
    } else {
        CallBack(window, kUpdateCancelledText, message, NIIF_INFO);
    }
}
