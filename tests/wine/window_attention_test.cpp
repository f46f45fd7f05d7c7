// Outside the window during an update: the taskbar button, the calls back to a technician at other work,
// through a fake shell; and what screen readers hear, through an in-process WinEvent hook.
#include "tests/wine/window_harness.h"
#include "ui/attention.h"

namespace {

std::vector<std::string> taskbar; // the button's states and values, and "box" while a box is open
std::vector<std::wstring> calls;  // sounds, flashes and balloons ("title | text")
bool inFront = false;
bool shellFails = false;

std::string StateName(TBPFLAG state) {
    const std::pair<TBPFLAG, const char*> names[] = {{TBPF_NOPROGRESS, "none"}, {TBPF_NORMAL, "normal"}, {TBPF_PAUSED, "paused"}, {TBPF_ERROR, "error"}};
    for (const auto& [flag, name] : names) if (flag == state) return name;
    return "other";
}
HRESULT Answer() { return shellFails ? E_FAIL : S_OK; }
const AttentionHooks kFakeShell{
    .openTaskbar = [](HWND) { return S_OK; },
    .setTaskbarState = [](HWND, TBPFLAG state) { taskbar.push_back(StateName(state)); return Answer(); },
    .setTaskbarValue = [](HWND, int percent) { taskbar.push_back(std::to_string(percent)); return Answer(); },
    .flash = [](HWND window) { calls.push_back(window == MainWindow() ? L"flash" : L"flash elsewhere"); },
    .showBalloon = [](NOTIFYICONDATAW* record) { calls.push_back(std::wstring(record->szInfoTitle) + L" | " + record->szInfo); return !shellFails; },
    .beep = [](UINT sound) { calls.push_back(sound == MB_OK ? L"OK sound" : sound == MB_ICONEXCLAMATION ? L"exclamation" : L"other sound"); return !shellFails; },
    .inFront = [](HWND) { return inFront; },
};

// An update from Start to its end; a failure or success comes while the reinstall pop-up waits.
struct Ending { const char* name; OperationResult result; const wchar_t* text; bool atPopup; };
const Ending kSucceeded{"succeeded", Succeeded, L"Прошивка успешно обновлена до версии 1.2.3.", true};
const Ending kFailedAtPopup{"failed", Failed, L"Прибор не подключился повторно.", true};
const Ending kCancelled{"cancelled", Cancelled, L"Обновление отменено. Прибор отключён от дата-станции.", false};

class Attention : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        SetAttentionHooks(&kFakeShell);
        taskbar.clear(), calls.clear(), inFront = shellFails = false;
    }
    void TearDown() override {
        WindowTest::TearDown();
        SetAttentionHooks(nullptr);
    }
    void Run(const Ending& ending, bool buttonLate = false) { // late: the shell (re)started during the update
        Open();
        const auto buttonCreated = [&] { SendMessageW(window_, RegisterWindowMessageW(L"TaskbarButtonCreated"), 0, 0); };
        if (!buttonLate) buttonCreated();
        StartUpdate();
        if (buttonLate) buttonCreated();
        const auto end = [&] {
            if (ending.result != Succeeded) ExpectDialog(AnswerBox(&box_, [] { taskbar.push_back("box"); }));
            Post(MSG_OPERATION_DONE, ending.result, ending.text);
            PumpUntil([&] { return !App().operationBusy.load() && (ending.result == Succeeded || box_.box != nullptr); });
        };
        if (!ending.atPopup) return end();
        ExpectDialog([&](HWND popup) { ending.result == Succeeded ? Press(popup, IDC_DLG_CONFIRM) : end(); });
        SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
        if (ending.result != Succeeded) return;
        SendMessageW(window_, MSG_PROGRESS, 100, 0);
        end();
        ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 4; }));
    }
    SeenBox box_;
};

// Green with the percentage while it runs, yellow while the pop-up waits, red until the failure's box is closed.
TEST_F(Attention, TheTaskbarButtonFollowsTheUpdateToEachEnding) {
    const struct { Ending ending; bool buttonLate; std::vector<std::string> expected; } rows[] = {
        {kSucceeded, false, {"normal", "0", "50", "95", "paused", "normal", "100", "none"}},
        {kFailedAtPopup, false, {"normal", "0", "50", "95", "paused", "error", "box", "none"}},
        {kCancelled, false, {"normal", "0", "50", "none", "box"}},
        {kCancelled, true, {"normal", "50", "none", "box"}},
    };
    for (const auto& [ending, buttonLate, expected] : rows) {
        TearDown(), SetUp();
        Run(ending, buttonLate);
        EXPECT_EQ(expected, taskbar) << ending.name << (buttonLate ? ", button late" : "");
    }
}

// A flash and a balloon only while another program is in front; the sounds either way.
TEST_F(Attention, ThePersonIsCalledBackOnlyFromTheBackground) {
    const std::wstring reinstall = L"Поднимите и снова установите прибор | Проверка продолжится автоматически.";
    const struct { bool inFront; const char* version; Ending ending; std::vector<std::wstring> expected; } rows[] = {
        {false, "1.2.3", kSucceeded, {L"exclamation", L"flash", reinstall, L"OK sound", L"flash", L"Обновление завершено | Прибор обновлён до версии 1.2.3."}},
        {false, "", kSucceeded, {L"exclamation", L"flash", reinstall, L"OK sound", L"flash", L"Обновление завершено | Прибор обновлён."}},
        {false, "1.2.3", kFailedAtPopup, {L"exclamation", L"flash", reinstall, L"flash", L"Обновление не выполнено | Прибор не подключился повторно."}},
        {true, "1.2.3", kSucceeded, {L"exclamation", L"OK sound"}},
        {true, "1.2.3", kFailedAtPopup, {L"exclamation"}},
    };
    for (const auto& row : rows) {
        TearDown(), SetUp();
        App().firmware.version = row.version;
        inFront = row.inFront;
        Run(row.ending);
        EXPECT_EQ(row.expected, calls) << row.ending.name << (row.inFront ? " in front" : "");
    }
}

// Refused by the shell and the sounds every time: the update ends as ever, with no box and one line for each.
TEST_F(Attention, AShellThatRefusesEverythingChangesNothingAndIsLoggedOnce) {
    shellFails = true;
    Run(kSucceeded);
    EXPECT_EQ(4, App().wizardStep);
    const std::vector<std::string> log = LogLines();
    for (const char* line : {"Taskbar progress not available: 0x80004005", "Notification balloon refused", "System sound refused"})
        EXPECT_EQ(1, std::count(log.begin(), log.end(), line)) << line;
}

std::vector<std::pair<int, std::wstring>> heard;
void CALLBACK Hear(HWINEVENTHOOK, DWORD, HWND control, LONG, LONG, DWORD, DWORD) { heard.emplace_back(GetDlgCtrlID(control), WindowTextOf(control, 64)); }

// The status lines and the heading on each change, the bar's "N %" at each ten: in order, with the texts then shown.
TEST_F(Attention, ScreenReadersHearEachChangedLineAndEachTenPercentInOrder) {
    Open();
    StartUpdate();
    constexpr DWORD kLiveRegionChanged = 0x8019; // EVENT_OBJECT_LIVEREGIONCHANGED, Windows 8 headers on
    const HWINEVENTHOOK hook = SetWinEventHook(kLiveRegionChanged, kLiveRegionChanged, nullptr, Hear, GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(nullptr, hook);
    heard.clear();
    Post(MSG_STATUS_LINE, 2, L"✓  Переход в режим обновления");
    for (WPARAM percent : {55, 63}) PostMessageW(window_, MSG_PROGRESS, percent, 0);
    for (int twice = 0; twice < 2; ++twice) Post(MSG_STATUS_LINE, 3, L"●  Передача прошивки: 50 из 74");
    PostMessageW(window_, MSG_PROGRESS, 100, 0);
    Post(MSG_OPERATION_DONE, Succeeded, kSucceeded.text);
    PumpUntil([] { return heard.size() >= 5; }, 3000);
    UnhookWinEvent(hook);
    const std::vector<std::pair<int, std::wstring>> expected = {{IDC_STATUS2, L"✓  Переход в режим обновления"}, {IDC_PROGRESS, L"63 %"},
        {IDC_STATUS3, L"●  Передача прошивки: 50 из 74"}, {IDC_PROGRESS, L"100 %"}, {IDC_HEADING, L"Обновление завершено"}};
    EXPECT_EQ(expected, heard);
}

} // namespace
