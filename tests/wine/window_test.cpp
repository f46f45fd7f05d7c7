// What only the window does: the Start rule, the buttons, the workers' results, the refused
// close, the reinstall pop-up's own loop, and a port another program holds, on the connect page.

#include <system_error>

#include "core/clock.h"
#include "firmware/firmware_file.h"
#include "tests/support/fakes.h"
#include "tests/wine/window_harness.h"

namespace {

class MainWindow : public WindowTest {
protected:
    void SetUp() override { WindowTest::SetUp(), Open(); }
    void Command(int id) { SendMessageW(window_, WM_COMMAND, static_cast<WPARAM>(id), 0); }
    void Prompt() { SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0); } // returns once the pop-up has closed
};

TEST_F(MainWindow, StartIsEnabledOnlyWhenEveryConditionHolds) {
    for (int mask = 0; mask < 32; ++mask) {
        App().firmwareReady = (mask & 1) != 0;
        App().operationBusy.exchange((mask & 2) == 0);
        SendMessageW(Item(IDC_ACCEPT_RISK), BM_SETCHECK, (mask & 4) != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
        ReachCheckPage((mask & 8) != 0 ? 3.9 : 3.896, (mask & 16) != 0); // the line cut to two decimals, not rounded
        EXPECT_EQ(mask == 31, Enabled(IDC_START)) << "conditions " << mask;
        EXPECT_EQ((mask & 8) != 0 ? L"✓  Напряжение аккумулятора: 3.90 В" : L"✕  Напряжение аккумулятора: 3.89 В", Text(IDC_STATUS2));
        EXPECT_EQ((mask & 16) != 0 ? L"✓  Механизм DFWU доступен" : L"✕  Механизм DFWU не подтверждён", Text(IDC_STATUS4));
    }
    App().operationBusy.exchange(false);
    Click(IDC_ACCEPT_RISK); // unticking disables Start at once, ticking enables it
    EXPECT_FALSE(Enabled(IDC_START));
    ExpectShows(window_, {At("disabled Start, grey", 810, 718, RGB(222, 230, 236), 1)}, "page2_check_start_disabled");
    Click(IDC_ACCEPT_RISK);
    EXPECT_TRUE(Enabled(IDC_START));
}

// From Start to the result the PC neither sleeps nor shuts down; a sleep it cannot refuse is logged.
TEST_F(MainWindow, AnUpdateKeepsThePcAwakeTakesACancelWhenAllowedAndFailsBackToTheCheckPage) {
    EXPECT_TRUE(SendMessageW(window_, WM_QUERYENDSESSION, 0, 0));
    App().cancelRequested.exchange(true);
    StartUpdate();
    Command(IDC_START); // a second click before the page is drawn
    EXPECT_FALSE(App().cancelRequested.load());
    EXPECT_EQ(ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED, SetThreadExecutionState(0)) << "0 only reads it";
    EXPECT_FALSE(SendMessageW(window_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    SendMessageW(window_, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageW(window_, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    Click(IDC_CANCEL); // before the worker allows it
    EXPECT_TRUE(Enabled(IDC_CANCEL));
    App().cancelAllowed.exchange(true);
    App().cancelRequested.exchange(false); // as the worker's start leaves it
    Click(IDC_CANCEL);
    EXPECT_TRUE(App().cancelRequested.load());
    EXPECT_EQ(L"Отмена…", Text(IDC_CANCEL));
    EXPECT_FALSE(Enabled(IDC_CANCEL));
    SendMessageW(window_, MSG_PROGRESS, 90, 1); // the last block is on its way
    EXPECT_EQ(L"Завершение обновления…", Text(IDC_CANCEL));
    EXPECT_EQ((Workers{InstrumentMonitor, UpdateWorker}), launched) << "one for two clicks, and no disconnect";
    SeenBox box;
    ExpectDialog(AnswerBox(&box, [&] { EXPECT_EQ(3, App().wizardStep) << "the page changes after the box"; }));
    Post(MSG_OPERATION_DONE, Failed, L"Дата-станция потеряна.");
    ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 2; }));
    EXPECT_EQ(L"Ошибка обновления", box.caption);
    EXPECT_EQ(L"✕  Дата-станция потеряна.", Text(IDC_STATUS4));
    EXPECT_TRUE(Enabled(IDC_START)) << "the file and the ticked box stay for a second attempt";
    EXPECT_EQ(static_cast<EXECUTION_STATE>(ES_CONTINUOUS), SetThreadExecutionState(0));
    EXPECT_TRUE(SendMessageW(window_, WM_QUERYENDSESSION, 0, 0));
    SendMessageW(window_, WM_POWERBROADCAST, PBT_APMSUSPEND, 0); // outside an update: not logged
    const std::vector<std::string> log = LogLines();
    EXPECT_EQ((std::vector<std::string>{"Shutdown or log-off refused: firmware update in progress",
                                        "System is going to sleep during a firmware update", "System resumed",
                                        "Cancellation requested by user"}),
              std::vector<std::string>(log.end() - 4, log.end()));
}

TEST_F(MainWindow, NoUpdateStartsWhileTheStationIsBeingReleased) {
    ReadyToStart();
    Click(IDC_CANCEL);
    Command(IDC_CANCEL); // a click while the disconnect runs
    EXPECT_EQ((Workers{InstrumentMonitor, DisconnectWorker}), launched);
    EXPECT_EQ(L"Отключение…", Text(IDC_CANCEL));
    EXPECT_FALSE(Enabled(IDC_CANCEL));
    SeenBox refused;
    ExpectDialog(AnswerBox(&refused));
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(L"Во время обновления закрывать программу нельзя.", refused.text);
    App().operationBusy.exchange(false); // the worker clears it before it posts Cancelled
    Click(IDC_ACCEPT_RISK);
    Click(IDC_ACCEPT_RISK);
    EXPECT_FALSE(Enabled(IDC_START)) << "the Start rule looked again while the Cancelled was on its way";
    Command(IDC_START);
    ExpectDialog(AnswerBox(&refused));
    Post(MSG_OPERATION_DONE, Cancelled, L"Обновление отменено. Прибор отключён от дата-станции.");
    ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 1; }));
    EXPECT_EQ(L"Обновление отменено", refused.caption);
    EXPECT_EQ((Workers{InstrumentMonitor, DisconnectWorker, InstrumentMonitor}), launched) << "no update, a new monitor";
}

TEST_F(MainWindow, TheNextInstrumentStartsOnTheConnectPageWithTheSameChoices) {
    StartUpdate();
    Post(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.3.");
    ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 4; }));
    EXPECT_EQ(L"Прошивка успешно обновлена до версии 1.2.3.", Text(IDC_DESCRIPTION));
    Click(IDC_NEXT_INSTRUMENT);
    Command(IDC_NEXT_INSTRUMENT); // the second click of a double click
    EXPECT_EQ(1, App().wizardStep);
    EXPECT_EQ(L"○  Снимите обновлённый прибор и установите следующий", Text(IDC_STATUS2));
    EXPECT_EQ((Workers{InstrumentMonitor, UpdateWorker, NextInstrumentMonitor}), launched);
    EXPECT_EQ("Next instrument requested by user", LogLines().back());
    EXPECT_TRUE(App().firmwareReady);
    EXPECT_EQ(BST_CHECKED, SendMessageW(Item(IDC_ACCEPT_RISK), BM_GETCHECK, 0, 0));
}

TEST_F(MainWindow, AChosenFileIsShownAndLoggedACancelOrARefusedOneChangesNothing) {
    const std::filesystem::path good = dir_.path() / L"fw_v1.2.3.bin";
    std::ofstream(good, std::ios::binary) << std::string(300, 'Z');
    std::ofstream(dir_.path() / L"empty.bin", std::ios::binary).flush();
    const auto typeName = [](const std::filesystem::path& file) {
        return [file](HWND dialog) {
            HWND name = GetDlgItem(dialog, 0x480); // the explorer-style dialog's edt1, else cmb13
            SetWindowTextW(name != nullptr ? name : GetDlgItem(dialog, 0x47C), file.c_str());
            Press(dialog, IDOK);
        };
    };
    App().instrumentVersion = "1.1.0";
    ReachCheckPage(4.1);
    Click(IDC_ACCEPT_RISK);
    ExpectDialog(typeName(good));
    Click(IDC_CHOOSE_FILE);
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_EQ("Instrument version: 1.1.0; file version: 1.2.3", LogLines().back());
    EXPECT_EQ(0u, LogLines().end()[-2].rfind("Firmware selected: " + good.string() + ", blocks=3, crc32=", 0)) << LogLines().end()[-2];
    const size_t lines = LogLines().size();
    SeenBox box;
    ExpectDialog([](HWND dialog) { Press(dialog, IDCANCEL); }); // no failure of the dialog
    ExpectDialog(typeName(dir_.path() / L"empty.bin"));
    ExpectDialog(AnswerBox(&box));
    Click(IDC_CHOOSE_FILE);
    Click(IDC_CHOOSE_FILE);
    EXPECT_EQ(L"Файл прошивки", box.caption);
    EXPECT_EQ(L"Firmware file is empty", box.text);
    EXPECT_FALSE(Enabled(IDC_START));
    EXPECT_EQ(L"fw_v1.2.3.bin", Text(IDC_FILE_BOX));
    EXPECT_EQ(lines, LogLines().size());
    // A refusal the system explains in its own words, not the C++ library's narrow ANSI text.
    const FirmwareFileHooks heldElsewhere = {
        .open = [](const std::wstring&) -> std::FILE* { throw std::system_error(ERROR_SHARING_VIOLATION, std::system_category()); },
        .size = OpenFileSize, .read = std::fread};
    wchar_t words[512] = {};
    std::wstring system(words, FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_SHARING_VIOLATION, 0, words, 512, nullptr));
    SetFirmwareFileHooks(&heldElsewhere);
    ExpectDialog(typeName(good));
    ExpectDialog(AnswerBox(&box));
    Click(IDC_CHOOSE_FILE);
    SetFirmwareFileHooks(nullptr);
    EXPECT_EQ(system.erase(system.find_last_not_of(L"\r\n") + 1), box.text);
}

// Through the real monitor and discovery, COM5 and COM7 refused as access denied as Windows refuses a port another
// program holds (Wine does not): line 3, hidden there otherwise, names them while no station is found.
TEST_F(MainWindow, ThePortsAnotherProgramHoldsAreNamedOnTheConnectPageUntilTheStationIsFound) {
    Rig rig; // the ports only: the window and the clock are the real ones
    SetPostHooks(nullptr), SetClockHooks(nullptr);
    rig.Unplug(3);
    rig.Add(5, std::ref(rig.station), Rig::Held); // a terminal left open on the station's port
    rig.Add(7, [](const std::string&) { return ""; }, Rig::Held);
    rig.station.replies["BIC"] = {"0\r\n"};
    StartDetachedWorker(InstrumentMonitor); // as the window starts it
    const auto line3 = [&] { return IsWindowVisible(Item(IDC_STATUS3)) ? Text(IDC_STATUS3) : L"(hidden)"; };
    for (const auto& [freed, shown] : {std::pair{0, L"✕  Порты COM5, COM7 заняты другой программой"}, {7, L"✕  Порт COM5 занят другой программой"},
                                       {5, L"(hidden)"}}) {
        if (freed != 0) std::lock_guard<std::recursive_mutex>(rig.mutex), rig.ports[freed].kind = Rig::Answers; // the program lets go
        EXPECT_TRUE(PumpUntil([&] { return line3() == shown; })) << line3();
        if (freed == 0) ExpectShows(window_, {{"its cross, red", BoxOf(IDC_STATUS3), RGB(215, 63, 63), 16, Cover::Some}}, "page1_connect_ports_taken");
        EXPECT_EQ(freed == 5 ? L"✓  Дата-станция подключена (COM5)" : L"○  Дата-станция не обнаружена", Text(IDC_STATUS1));
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
TEST_F(MainWindow, StartAsksBeforeTheSameOrAnOlderVersionAndOnlyYesStartsTheUpdate) {
    App().instrumentVersion = "1.2.0";
    App().firmware.version = "1.3.0";
    ReadyToStart();
    EXPECT_EQ(L"✓  Прибор подключён, версия 1.2.0", Text(IDC_STATUS1));
    EXPECT_EQ("Instrument version: 1.2.0; file version: 1.3.0", LogLines().back());
    const wchar_t* const same = L"На приборе уже установлена версия 1.2.0. Установить её повторно?";
    const struct {
        const char* file;
        const wchar_t* question;
        int answer;
        const char* log;
    } rows[] = {
        {"1.2.0", same, IDNO, "Update not started: same version declined"},
        {"1.1.9", L"Версия файла 1.1.9 старше версии прибора 1.2.0. Установить более старую версию?", IDNO,
         "Update not started: older version declined"},
        {"1.2.0", same, IDYES, "Reinstall of the same version confirmed"},
    };
    for (const auto& row : rows) {
        App().firmware.version = row.file;
        SeenBox box;
        ExpectDialog([&](HWND dialog) {
            EXPECT_EQ(window_, GetWindow(dialog, GW_OWNER));
            EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongW(GetDlgItem(dialog, IDNO), GWL_STYLE) & BS_TYPEMASK) << "No is the default";
            EXPECT_TRUE(GetDlgItem(dialog, IDYES) != nullptr && GetDlgItem(dialog, IDOK) == nullptr);
            EXPECT_EQ(LoadIconW(nullptr, IDI_QUESTION), IconOf(dialog));
            box = {dialog, WindowTextOf(dialog, 512), WindowTextOf(GetDlgItem(dialog, 0xFFFF), 512)};
            Press(dialog, row.answer);
        });
        Click(IDC_START);
        EXPECT_EQ(L"Версия прошивки", box.caption);
        EXPECT_EQ(row.question, box.text);
        EXPECT_EQ(row.log, LogLines().back());
        EXPECT_EQ(row.answer == IDYES ? 3 : 2, App().wizardStep);
        EXPECT_TRUE(row.answer == IDYES || Enabled(IDC_START)) << "No leaves the check page as it was";
    }
    EXPECT_EQ((Workers{InstrumentMonitor, UpdateWorker}), launched) << "only the Yes started an update";
}

TEST_F(MainWindow, TheReinstallPopupHoldsTheWindowUntilItsButtonWhileTheWorkerGoesOn) {
    StartUpdate();
    ExpectDialog([&](HWND popup) {
        EXPECT_FALSE(IsWindowEnabled(window_));
        SendMessageW(popup, WM_CLOSE, 0, 0); // what Alt+F4 sends
        EXPECT_TRUE(IsWindowVisible(popup));
        Post(MSG_STATUS_LINE, 5, L"✓  Прибор повторно подключён");
        POINT at = {0, 0}; // the pop-up's band and its button's corner, over the window
        MapWindowPoints(popup, window_, &at, 1);
        ExpectShows(window_,
                    {{"the pop-up's band in front", {at.x, at.y, at.x + 600, at.y + 8}, RGB(32, 168, 223), 1, Cover::All},
                     At("the card in its button's corner", at.x + 132, at.y + 364, RGB(255, 255, 255), 1)},
                    "reinstall_window");
        Press(popup, IDC_DLG_CONFIRM);
    });
    Prompt();
    EXPECT_EQ(kReinstallInstruction, Text(IDC_DESCRIPTION));
    EXPECT_EQ(L"✓  Команда Reset выполнена", Text(IDC_STATUS4));
    EXPECT_EQ(L"✓  Прибор повторно подключён", Text(IDC_STATUS5)) << "served while the pop-up was open";
    EXPECT_TRUE(IsWindowEnabled(window_));
    EXPECT_EQ(window_, GetForegroundWindow());
}

// The pop-up is topmost: a failure's box would open underneath it.
TEST_F(MainWindow, AFailureWhileThePopupIsOpenClosesItBeforeItsBox) {
    StartUpdate();
    SeenBox box;
    ExpectDialog([&](HWND popup) {
        ExpectDialog(AnswerBox(&box, [&] {
            EXPECT_FALSE(IsWindow(popup));
            EXPECT_EQ(box.box, GetForegroundWindow());
        }));
        Post(MSG_OPERATION_DONE, Failed, L"Прибор не подключился повторно.");
        PumpUntil([&] { return box.box != nullptr; });
    });
    Prompt();
    EXPECT_EQ(L"✕  Прибор не подключился повторно.", Text(IDC_STATUS4));
    EXPECT_TRUE(IsWindowEnabled(window_));
}

TEST_F(MainWindow, ThePopupsButtonLeavesTheWindowToABoxOfOursStillOpen) {
    StartUpdate();
    SeenBox box;
    ExpectDialog(AnswerBox(&box, [&] {
        ExpectDialog([](HWND popup) { Press(popup, IDC_DLG_CONFIRM); });
        Prompt();
        EXPECT_FALSE(IsWindowEnabled(window_));
    }));
    SendMessageW(window_, WM_CLOSE, 0, 0); // refused during the update, with a box
    EXPECT_EQ(L"Обновление выполняется", box.caption);
    EXPECT_EQ(L"Во время обновления закрывать программу нельзя.", box.text);
    EXPECT_TRUE(IsWindowEnabled(window_)) << "the box gave it back as it closed";
}

// Wine reports no GDI counts: the guards' own count shows that nothing the window, its pages,
// its pictures and the pop-up made outlives them.
using GdiObjects = WindowTest;

TEST_F(GdiObjects, AFullUpdateWithThePopupLeavesNoneBehind) {
    const auto paintNow = [](HWND window) { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN); };
    const int before = LiveGdiObjects();
    Open();
    EXPECT_LT(before, LiveGdiObjects()) << "the fonts, brushes and pictures count";
    paintNow(window_);
    ReadyToStart();
    paintNow(window_);
    Click(IDC_START);
    SendMessageW(window_, MSG_PROGRESS, 50, 0);
    paintNow(window_);
    ExpectDialog([&](HWND popup) {
        paintNow(popup);
        Press(popup, IDC_DLG_CONFIRM);
    });
    SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
    Post(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.3.");
    ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 4; }));
    paintNow(window_);
    DestroyWindow(std::exchange(window_, nullptr));
    DeleteFontsAndBrushes();
    ReleasePictures();
    EXPECT_EQ(before, LiveGdiObjects());
}

} // namespace
