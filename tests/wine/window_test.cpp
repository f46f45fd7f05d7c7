// What only the window does: the Start rule, the buttons, the workers' results, the refused
// close, the reinstall pop-up's own loop, and a port another program holds, on the connect page.

#include <system_error>

#include "core/clock.h"
#include "firmware/firmware_file.h"
#include "tests/support/fakes.h"
#include "tests/wine/golden.h"

namespace {

// Wine keeps no shutdown-block reason that a test could read back: the window's calls land here. Windows'
// headers call user32 through these import pointers; defined here, the import library's are not linked in.
HWND shutdownBlockedBy = nullptr;
BOOL WINAPI BlockShutdown(HWND window, LPCWSTR reason) {
    shutdownBlockedBy = reason != nullptr && *reason != L'\0' ? window : nullptr;
    return TRUE;
}
BOOL WINAPI UnblockShutdown(HWND window) {
    if (window == shutdownBlockedBy) shutdownBlockedBy = nullptr;
    return TRUE;
}

} // namespace

extern "C" {
decltype(&::ShutdownBlockReasonCreate) __imp_ShutdownBlockReasonCreate = BlockShutdown;
decltype(&::ShutdownBlockReasonDestroy) __imp_ShutdownBlockReasonDestroy = UnblockShutdown;
}

namespace {

class MainWindow : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        Open();
    }
    void Command(int id) { SendMessageW(window_, WM_COMMAND, static_cast<WPARAM>(id), 0); }
    // The worker's result, its box (if any) answered; returns on the page that follows.
    void End(OperationResult result, const std::wstring& message, int nextStep, SeenBox* box = nullptr) {
        if (box != nullptr) ExpectDialog(AnswerBox(box));
        Post(MSG_OPERATION_DONE, result, message);
        ASSERT_TRUE(PumpUntil([&] { return App().wizardStep == nextStep; }));
    }
    SeenBox box_;
};

// A line of the check page (line: from 1) marks each condition held or not; the battery's number is cut to
// two decimals, not rounded: 3.896 V must not read as 3.90 V.
TEST_F(MainWindow, TheCheckPageMarksEachConditionAndEnablesStartOnlyWhenAllHold) {
    const struct { const char* conditions; bool fileReady, busy, riskAccepted; double volts; bool ready, enabled;
                   int line; const wchar_t* text; } rows[] = {
        {"no file chosen", false, false, true, 3.9, true, false, 2, L"✓  Напряжение аккумулятора: 3.90 В"},
        {"an operation running", true, true, true, 3.9, true, false, 3, L"✓  Минимально допустимое напряжение: 3,90 В"},
        {"the risk not accepted", true, false, false, 3.9, true, false, 4, L"✓  Механизм DFWU доступен"},
        {"the battery below 3.90 V", true, false, true, 3.896, true, false, 2, L"✕  Напряжение аккумулятора: 3.89 В"},
        {"the instrument not ready", true, false, true, 3.9, false, false, 4, L"✕  Механизм DFWU не подтверждён"},
        {"every condition holds", true, false, true, 3.9, true, true, 2, L"✓  Напряжение аккумулятора: 3.90 В"},
    };
    for (const auto& row : rows) {
        App().firmwareReady = row.fileReady;
        App().operationBusy.exchange(row.busy);
        SendMessageW(Item(IDC_ACCEPT_RISK), BM_SETCHECK, row.riskAccepted ? BST_CHECKED : BST_UNCHECKED, 0);
        ReachCheckPage(row.volts, row.ready);
        EXPECT_EQ(row.enabled, Enabled(IDC_START)) << row.conditions;
        EXPECT_EQ(row.text, Text(IDC_STATUS1 + row.line - 1)) << row.conditions;
    }
    Click(IDC_ACCEPT_RISK); // the last row's box unticked: Start is off at once, and on again as it is ticked
    EXPECT_FALSE(Enabled(IDC_START));
    Click(IDC_ACCEPT_RISK);
    EXPECT_TRUE(Enabled(IDC_START));
}

// The window's icons and its notification-area icon come after the first paint: icon.png's.
TEST_F(MainWindow, TakesTheIconMadeFromIconPngOnceItHasPainted) {
    ASSERT_TRUE(PumpUntil([&] { return SendMessageW(window_, WM_GETICON, ICON_SMALL, 0) != 0; }));
    EXPECT_EQ(reinterpret_cast<LRESULT>(Ui().icon.Get()), SendMessageW(window_, WM_GETICON, ICON_BIG, 0));
    EXPECT_EQ(window_, Ui().trayIcon.hWnd) << "the notification-area icon added";
}

// Windows 10 has neither the newest interface faces nor always the symbol face: text still comes, in the
// generic sans-serif family.
TEST_F(MainWindow, AFaceTheSystemLacksGivesTheSansSerifFamilysText) {
    const GdipFont font(L"Zarvel No Such Face", 20, Gdiplus::FontStyleBold);
    EXPECT_NE(nullptr, font.font.Get());
}

// From Start to the result the PC neither sleeps nor shuts down; a sleep it cannot refuse (a closed lid) tells
// support in the log why a transfer broke. A failure's box, then the check page ready for a second attempt.
TEST_F(MainWindow, AnUpdateKeepsThePcAwakeUntilItsFailureIsShownThenReturnsToTheCheckPage) {
    EXPECT_TRUE(SendMessageW(window_, WM_QUERYENDSESSION, 0, 0));
    for (WPARAM event : {PBT_APMSUSPEND, PBT_APMRESUMEAUTOMATIC}) // outside an update: not logged
        SendMessageW(window_, WM_POWERBROADCAST, event, 0);
    StartUpdate();
    EXPECT_EQ(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED, SetThreadExecutionState(0)) << "0 only reads it";
    EXPECT_FALSE(SendMessageW(window_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    EXPECT_EQ(window_, shutdownBlockedBy) << "Windows names the window and its reason at a shut-down";
    SendMessageW(window_, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageW(window_, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ExpectDialog(AnswerBox(&box_, [&] { EXPECT_EQ(3, App().wizardStep) << "the page changes after the box"; }));
    End(Failed, L"Дата-станция потеряна.", 2);
    EXPECT_EQ(L"Ошибка обновления", box_.caption);
    EXPECT_EQ(L"Дата-станция потеряна.", box_.text);
    EXPECT_EQ(L"✕  Дата-станция потеряна.", Text(IDC_STATUS4));
    EXPECT_TRUE(Enabled(IDC_START)) << "the file and the ticked box stay";
    EXPECT_EQ(static_cast<EXECUTION_STATE>(ES_CONTINUOUS), SetThreadExecutionState(0));
    EXPECT_TRUE(SendMessageW(window_, WM_QUERYENDSESSION, 0, 0));
    EXPECT_EQ(nullptr, shutdownBlockedBy);
    SendMessageW(window_, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    std::vector<std::string> log = LogLines();
    std::erase_if(log, [](const std::string& line) { return !line.starts_with("System") && !line.starts_with("Shutdown"); });
    EXPECT_EQ((std::vector<std::string>{"Shutdown or log-off refused: firmware update in progress",
                                        "System is going to sleep during a firmware update", "System resumed"}),
              log);
}

// Only between blocks, once the worker allows it; not in the last block.
TEST_F(MainWindow, CancelIsTakenOnlyWhileTheWorkerAllowsIt) {
    App().cancelRequested.exchange(true);
    StartUpdate();
    EXPECT_FALSE(App().cancelRequested.load()) << "a request from before the update is dropped";
    Click(IDC_CANCEL);
    EXPECT_TRUE(Enabled(IDC_CANCEL)) << "not yet allowed";
    App().cancelAllowed.exchange(true);
    App().cancelRequested.exchange(false); // as the worker's start leaves it
    Click(IDC_CANCEL);
    EXPECT_TRUE(App().cancelRequested.load());
    EXPECT_EQ(L"Отмена…", Text(IDC_CANCEL));
    EXPECT_FALSE(Enabled(IDC_CANCEL));
    EXPECT_EQ("Cancellation requested by user", LogLines().back());
    SendMessageW(window_, MSG_PROGRESS, 90, 1); // the last block is on its way
    EXPECT_EQ(L"Завершение обновления…", Text(IDC_CANCEL));
}

TEST_F(MainWindow, NoUpdateStartsWhileTheStationIsBeingReleased) {
    ReadyToStart();
    Click(IDC_CANCEL);
    EXPECT_FALSE(Enabled(IDC_START));
    Command(IDC_CANCEL); // a click while the disconnect runs
    EXPECT_EQ(L"Отключение…", Text(IDC_CANCEL));
    EXPECT_FALSE(Enabled(IDC_CANCEL));
    App().operationBusy.exchange(false); // the worker clears it before it posts Cancelled
    Click(IDC_ACCEPT_RISK);
    Click(IDC_ACCEPT_RISK);
    EXPECT_FALSE(Enabled(IDC_START)) << "the Start rule looked again while the Cancelled was on its way";
    Command(IDC_START);
    End(Cancelled, L"Обновление отменено. Прибор отключён от дата-станции.", 1, &box_);
    EXPECT_EQ(L"Обновление отменено", box_.caption);
    EXPECT_EQ((Workers{InstrumentMonitor, DisconnectWorker, InstrumentMonitor}), launched) << "no update, a new monitor";
}

TEST_F(MainWindow, TheNextInstrumentStartsOnTheConnectPageWithTheSameChoices) {
    StartUpdate();
    End(Succeeded, L"Прошивка успешно обновлена до версии 1.2.3.", 4);
    Click(IDC_NEXT_INSTRUMENT);
    Command(IDC_NEXT_INSTRUMENT); // the second click of a double click
    EXPECT_EQ(1, App().wizardStep);
    EXPECT_EQ(L"○  Снимите обновлённый прибор и установите следующий", Text(IDC_STATUS2));
    EXPECT_EQ((Workers{InstrumentMonitor, UpdateWorker, NextInstrumentMonitor}), launched);
    EXPECT_EQ("Next instrument requested by user", LogLines().back());
    EXPECT_TRUE(App().firmwareReady);
    EXPECT_EQ(BST_CHECKED, SendMessageW(Item(IDC_ACCEPT_RISK), BM_GETCHECK, 0, 0));
}

// The file dialog answered by typing a file's name, as a user does.
std::function<void(HWND)> TypeName(const std::filesystem::path& file) {
    return [file](HWND dialog) {
        wchar_t type[64] = {};
        GetWindowTextW(GetDlgItem(dialog, 0x470), type, 64); // cmb1, the list of file types
        EXPECT_STREQ(L"Прошивка Zarvel (*.bin)", type);
        HWND name = GetDlgItem(dialog, 0x480); // the explorer-style dialog's edt1, else cmb13
        SetWindowTextW(name != nullptr ? name : GetDlgItem(dialog, 0x47C), file.c_str());
        Press(dialog, IDOK);
    };
}

// A good file is shown and logged with its blocks and both versions; a cancel or a refusal keeps it and logs
// nothing, a refusal's box in the system's own words where the system refused (not the library's ANSI text).
TEST_F(MainWindow, AChosenFileIsShownAndLoggedUntilAnotherIsChosen) {
    const std::filesystem::path good = dir_.path() / L"fw_v1.2.3.bin", empty = dir_.path() / L"empty.bin";
    std::ofstream(good, std::ios::binary) << std::string(300, 'Z');
    std::ofstream(empty, std::ios::binary).flush();
    static const FirmwareFileHooks heldElsewhere = {
        .open = [](const std::wstring&) -> std::FILE* { throw std::system_error(ERROR_SHARING_VIOLATION, std::system_category()); },
        .size = OpenFileSize, .read = std::fread};
    wchar_t words[512] = {};
    std::wstring system(words, FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_SHARING_VIOLATION, 0, words, 512, nullptr));
    system.erase(system.find_last_not_of(L"\r\n") + 1);
    const struct { const char* choice; std::function<void(HWND)> answer; const FirmwareFileHooks* files;
                   std::wstring refusal; size_t logs; } rows[] = {
        {"a good file", TypeName(good), nullptr, L"", 2},
        {"the dialog cancelled, no failure", [](HWND dialog) { Press(dialog, IDCANCEL); }, nullptr, L"", 0},
        {"an empty file", TypeName(empty), nullptr, L"Firmware file is empty", 0},
        {"a file another program holds", TypeName(good), &heldElsewhere, system, 0},
    };
    App().instrumentVersion = "1.1.0";
    ReachCheckPage(4.1);
    Click(IDC_ACCEPT_RISK);
    for (const auto& row : rows) {
        const size_t logged = LogLines().size();
        SetFirmwareFileHooks(row.files);
        ExpectDialog(row.answer);
        if (!row.refusal.empty()) ExpectDialog(AnswerBox(&box_));
        Click(IDC_CHOOSE_FILE);
        SetFirmwareFileHooks(nullptr);
        EXPECT_EQ(row.refusal, box_.text) << row.choice;
        EXPECT_EQ(row.refusal.empty(), Enabled(IDC_START)) << row.choice;
        EXPECT_EQ(L"fw_v1.2.3.bin", Text(IDC_FILE_BOX)) << row.choice;
        EXPECT_EQ(logged + row.logs, LogLines().size()) << row.choice;
    }
    EXPECT_EQ(L"Файл прошивки", box_.caption);
    const std::vector<std::string> log = LogLines();
    EXPECT_EQ("Instrument version: 1.1.0; file version: 1.2.3", log.end()[-1]);
    EXPECT_EQ(0u, log.end()[-2].rfind("Firmware selected: " + good.string() + ", blocks=3, crc32=", 0)) << log.end()[-2];
}

// Through the real monitor and discovery, COM5 and COM7 refused as access denied as Windows refuses a port another
// program holds (Wine does not): line 3, hidden there otherwise, names them while no station is found.
TEST_F(MainWindow, ThePortsAnotherProgramHoldsAreNamedOnTheConnectPageUntilTheStationIsFound) {
    Rig rig; // the ports only: the window and the clock are the real ones
    SetPostHooks(nullptr);
    SetClockHooks(nullptr);
    rig.Unplug(3);
    rig.Add(5, std::ref(rig.station), Rig::Held); // a terminal left open on the station's port
    rig.Add(7, [](const std::string&) { return ""; }, Rig::Held);
    rig.station.replies["BIC"] = {"0\r\n"};
    StartDetachedWorker(InstrumentMonitor); // as the window starts it
    const auto line3 = [&] { return IsWindowVisible(Item(IDC_STATUS3)) ? Text(IDC_STATUS3) : L"(hidden)"; };
    EXPECT_TRUE(PumpUntil([&] { return line3() == L"✕  Порты COM5, COM7 заняты другой программой"; })) << line3();
    ExpectGolden(window_, "connect-ports-taken");
    const struct { int freed; const wchar_t* line3; } rows[] = { // freed: the program lets go of it
        {7, L"✕  Порт COM5 занят другой программой"},
        {5, L"(hidden)"}, // the station found on COM5
    };
    for (const auto& row : rows) {
        {
            const std::lock_guard<std::recursive_mutex> lock(rig.mutex);
            rig.ports[row.freed].kind = Rig::Answers;
        }
        EXPECT_TRUE(PumpUntil([&] { return line3() == row.line3; })) << line3();
    }
    App().appClosing.exchange(true);
    EXPECT_TRUE(WaitForWorkers(20000));
    const std::vector<std::string> log = rig.Log();
    for (const char* line : {"COM5 is in use by another program", "COM7 is in use by another program"})
        EXPECT_EQ(1, std::count(log.begin(), log.end(), line)) << line;
}

HICON IconOf(HWND dialog) {
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) return reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    return nullptr;
}

// A service centre that places an updated instrument back must not flash it again unasked. The
// check page names the version (escaped and capped as in the log) and the log names both.
TEST_F(MainWindow, StartAsksBeforeTheSameOrAnOlderVersion) {
    App().instrumentVersion = "1.2.0";
    App().firmware.version = "1.3.0";
    ReadyToStart();
    EXPECT_EQ(L"✓  Прибор подключён, версия 1.2.0", Text(IDC_STATUS1));
    EXPECT_EQ("Instrument version: 1.2.0; file version: 1.3.0", LogLines().back());
    const wchar_t* const same = L"На приборе уже установлена версия 1.2.0. Установить её повторно?";
    const struct { const char* file; const wchar_t* question; int answer; const char* log; int step; bool startOffered; } rows[] = {
        {"1.2.0", same, IDNO, "Update not started: same version declined", 2, true},
        {"1.1.9", L"Версия файла 1.1.9 старше версии прибора 1.2.0. Установить более старую версию?", IDNO,
         "Update not started: older version declined", 2, true},
        {"1.2.0", same, IDYES, "Reinstall of the same version confirmed", 3, false},
    };
    for (const auto& row : rows) {
        App().firmware.version = row.file;
        ExpectDialog([&](HWND dialog) {
            EXPECT_EQ(window_, GetWindow(dialog, GW_OWNER));
            EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongW(GetDlgItem(dialog, IDNO), GWL_STYLE) & BS_TYPEMASK) << "No is the default";
            EXPECT_TRUE(GetDlgItem(dialog, IDYES) != nullptr && GetDlgItem(dialog, IDOK) == nullptr);
            EXPECT_EQ(LoadIconW(nullptr, IDI_QUESTION), IconOf(dialog));
            box_ = {dialog, WindowTextOf(dialog, 512), WindowTextOf(GetDlgItem(dialog, 0xFFFF), 512)};
            Press(dialog, row.answer);
        });
        Click(IDC_START);
        EXPECT_EQ(L"Версия прошивки", box_.caption);
        EXPECT_EQ(row.question, box_.text);
        EXPECT_EQ(row.log, LogLines().back());
        EXPECT_EQ(row.step, App().wizardStep);
        EXPECT_EQ(row.startOffered, IsWindowVisible(Item(IDC_START)) && Enabled(IDC_START));
    }
    Command(IDC_START); // the second click of a double click on Start
    EXPECT_EQ((Workers{InstrumentMonitor, UpdateWorker}), launched) << "only the Yes started an update, once";
}

// A change of DPI meanwhile only rescales the pop-up: the update, its page and its lines go on.
TEST_F(MainWindow, TheReinstallPopupHoldsTheWindowUntilItsButtonWhileTheWorkerAndTheDisplayGoOn) {
    StartUpdate();
    ExpectDialog([&](HWND popup) {
        EXPECT_FALSE(IsWindowEnabled(window_));
        SendMessageW(popup, WM_CLOSE, 0, 0); // what Alt+F4 sends
        EXPECT_TRUE(IsWindowVisible(popup));
        ExpectGolden(window_, "reinstall-popup");
        Post(MSG_STATUS_LINE, 5, L"✓  Прибор повторно подключён");
        const SIZE before = SizeOf(RectOf(popup));
        ChangeDpi(144);
        EXPECT_NEAR(before.cx * 1.5, SizeOf(RectOf(popup)).cx, 1.0);
        EXPECT_NEAR(before.cy * 1.5, SizeOf(RectOf(popup)).cy, 1.0);
        Press(popup, IDC_DLG_CONFIRM);
    });
    SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0); // returns once the pop-up has closed
    EXPECT_EQ(std::make_pair(3, true), std::make_pair(App().wizardStep, App().operationBusy.load()));
    EXPECT_EQ((Workers{InstrumentMonitor, UpdateWorker}), launched);
    EXPECT_EQ(kReinstallInstruction, Text(IDC_DESCRIPTION));
    EXPECT_EQ(L"●  Передача прошивки: 37 из 74", Text(IDC_STATUS3));
    EXPECT_EQ(L"✓  Команда Reset выполнена", Text(IDC_STATUS4));
    EXPECT_EQ(L"✓  Прибор повторно подключён", Text(IDC_STATUS5)) << "served while the pop-up was open";
    EXPECT_TRUE(IsWindowEnabled(window_));
    EXPECT_EQ(window_, GetForegroundWindow());
}

// The pop-up is topmost: a failure's box would open underneath it.
TEST_F(MainWindow, AFailureWhileThePopupIsOpenClosesItBeforeItsBox) {
    StartUpdate();
    ExpectDialog([&](HWND popup) {
        ExpectDialog(AnswerBox(&box_, [&] {
            EXPECT_FALSE(IsWindow(popup));
            EXPECT_EQ(box_.box, GetForegroundWindow());
        }));
        Post(MSG_OPERATION_DONE, Failed, L"Прибор не подключился повторно.");
        PumpUntil([&] { return box_.box != nullptr; });
    });
    SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
    EXPECT_TRUE(IsWindowEnabled(window_));
}

TEST_F(MainWindow, ThePopupsButtonLeavesTheWindowToABoxOfOursStillOpen) {
    StartUpdate();
    ExpectDialog(AnswerBox(&box_, [&] {
        ExpectDialog([](HWND popup) { Press(popup, IDC_DLG_CONFIRM); });
        SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
        EXPECT_FALSE(IsWindowEnabled(window_));
    }));
    SendMessageW(window_, WM_CLOSE, 0, 0); // refused during the update, with a box
    EXPECT_EQ(L"Обновление выполняется", box_.caption);
    EXPECT_EQ(L"Во время обновления закрывать программу нельзя.", box_.text);
    EXPECT_TRUE(IsWindowEnabled(window_)) << "the box gave it back as it closed";
}

} // namespace
