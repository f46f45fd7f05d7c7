// The main window's controls, pages, Start rule, buttons and close handling.

#include <windows.h>

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/notifications.h"
#include "tests/wine/page_tables.h"
#include "tests/wine/ui_harness.h"
#include "ui/main_window.h"
#include "ui/ui_resources.h"
#include "workflows/workflows.h"

namespace {


struct CreatedControl {
    int id;
    const wchar_t* className;
    LONG style;
    const wchar_t* text;
    ControlBox box;
    UiFont font;
};

// The controls as created, before any page moves them.
const CreatedControl kCreated[] = {
    {IDC_TITLE, L"Static", 0x50000001, L"Обновление прошивки Zarvel Ксарон 4", {345, 29, 760, 66}, HeaderFont},
    {IDC_STEP1, L"Static", 0x50000000, L"1. Подключение", {220, 139, 220, 38}, StepLabelFont},
    {IDC_STEP2, L"Static", 0x50000000, L"2. Проверка", {650, 139, 210, 38}, StepLabelFont},
    {IDC_STEP3, L"Static", 0x50000000, L"3. Обновление", {1080, 139, 250, 38}, StepLabelFont},
    {IDC_FILE_BOX, L"Static", 0x5000000D, L"Файл прошивки не выбран", {800, 525, 295, 50}, BaseFont},
    {IDC_CHOOSE_FILE, L"Button", 0x5000000B, L"Выбрать другой файл", {1110, 548, 215, 48}, BaseFont},
    {IDC_ACCEPT_RISK, L"Button", 0x50000003, L"Я понимаю возможные риски и хочу продолжить", {755, 620, 570, 36}, BaseFont},
    {IDC_START, L"Button", 0x5000000B, L"Начать обновление", {755, 665, 570, 52}, BaseFont},
    {IDC_CANCEL, L"Button", 0x5000000B, L"Отменить обновление", {755, 727, 570, 48}, BaseFont},
    {IDC_PROGRESS, L"Static", 0x5000000D, L"", {790, 350, 540, 22}, BaseFont},
};

class MainWindow : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        CreateWindowWithAssetsIn(SourceAssetsParent());
    }

    // Every condition of the Start rule true; Start enabled.
    void ReadyToStart() {
        App().firmwareReady = true;
        ReachCheckPage(4.1);
        SetRiskAccepted(true);
        Command(IDC_ACCEPT_RISK);
        ASSERT_TRUE(Enabled(IDC_START));
    }
};

TEST_F(MainWindow, IsTheFixedSizeWindowWithItsTitle) {
    wchar_t className[64] = {};
    GetClassNameW(window_, className, 64);
    EXPECT_EQ(std::wstring(L"ZarvelUpdateWindow"), className);
    wchar_t title[64] = {};
    GetWindowTextW(window_, title, 64);
    EXPECT_EQ(std::wstring(L"Zarvel Update - Zarvel Ксарон 4"), title);
    RECT outer = {};
    GetWindowRect(window_, &outer);
    EXPECT_EQ(1440, outer.right - outer.left);
    EXPECT_EQ(1040, outer.bottom - outer.top);
    const LONG_PTR style = GetWindowLongPtrW(window_, GWL_STYLE);
    // Caption, system menu and minimise box; no sizing border, no maximise box.
    EXPECT_EQ(0xCA0000, style & (WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
    EXPECT_EQ(window_, static_cast<HWND>(App().mainWindow));
}

TEST_F(MainWindow, CreatesEveryControlWithItsClassStyleTextAndFont) {
    for (const CreatedControl& control : kCreated) {
        SCOPED_TRACE(testing::Message() << "control " << control.id);
        HWND item = Item(control.id);
        ASSERT_NE(nullptr, item);
        wchar_t className[32] = {};
        GetClassNameW(item, className, 32);
        EXPECT_EQ(0, lstrcmpiW(control.className, className)) << "class";
        // Pages hide some controls; everything else about the style is as created.
        EXPECT_EQ(control.style, static_cast<LONG>(GetWindowLongPtrW(item, GWL_STYLE) | WS_VISIBLE));
        EXPECT_EQ(0, GetWindowLongPtrW(item, GWL_EXSTYLE));
        EXPECT_EQ(control.text, Text(control.id));
        EXPECT_EQ(control.box, BoxOf(control.id));
        EXPECT_EQ(Font(control.font), reinterpret_cast<HFONT>(SendMessageW(item, WM_GETFONT, 0, 0)));
        EXPECT_TRUE(Enabled(control.id));
    }
    for (int id = IDC_STATUS1; id <= IDC_STATUS5; ++id)
        EXPECT_EQ(Font(RowFont), reinterpret_cast<HFONT>(SendMessageW(Item(id), WM_GETFONT, 0, 0)));
    EXPECT_EQ(nullptr, GetDlgItem(window_, 1018));
}

TEST_F(MainWindow, CreatesTheElevenFontsAndFiveBrushesOfTheDesign) {
    struct ExpectedFont {
        UiFont font;
        const wchar_t* face;
        LONG height;
        LONG weight;
    };
    const ExpectedFont fonts[] = {
        {BaseFont, L"Segoe UI Variable Text", 22, 400},      {CaptionFont, L"Segoe UI Variable Text", 24, 600},
        {HeaderFont, L"Segoe UI Variable Display", 45, 600}, {StepLabelFont, L"Segoe UI Variable Text", 24, 600},
        {RowFont, L"Segoe UI Variable Text", 30, 400},       {PageTitleFont, L"Segoe UI Variable Display", 34, 700},
        {PageTextFont, L"Segoe UI Variable Text", 28, 400},  {PercentFont, L"Segoe UI Variable Text", 30, 700},
        {DialogTitleFont, L"Segoe UI Variable Display", 38, 700}, {DialogTextFont, L"Segoe UI Variable Text", 31, 400},
        {DialogLabelFont, L"Segoe UI Variable Text", 25, 600},
    };
    for (const ExpectedFont& expected : fonts) {
        LOGFONTW font = {};
        ASSERT_EQ(static_cast<int>(sizeof(font)), GetObjectW(Font(expected.font), sizeof(font), &font));
        EXPECT_EQ(std::wstring(expected.face), font.lfFaceName);
        EXPECT_EQ(expected.height, font.lfHeight);
        EXPECT_EQ(expected.weight, font.lfWeight);
        EXPECT_EQ(CLEARTYPE_QUALITY, font.lfQuality);
        EXPECT_EQ(0, font.lfItalic + font.lfUnderline + font.lfStrikeOut + font.lfWidth);
    }
    const COLORREF brushes[] = {RGB(246, 251, 254), RGB(255, 255, 255), RGB(248, 252, 254), RGB(244, 251, 255),
                                RGB(255, 248, 238)};
    for (int i = 0; i < BrushCount; ++i) {
        LOGBRUSH brush = {};
        ASSERT_EQ(static_cast<int>(sizeof(brush)), GetObjectW(Brush(static_cast<UiBrush>(i)), sizeof(brush), &brush));
        EXPECT_EQ(brushes[i], brush.lbColor) << "brush " << i;
    }
}

TEST_F(MainWindow, OpensOnTheConnectPageAndStartsTheMonitor) {
    EXPECT_EQ(1, App().wizardStep);
    ExpectPage(kConnectPage);
    for (int id : kHiddenOnConnect) EXPECT_FALSE(Visible(id)) << id;
    EXPECT_EQ(1, Launches().monitors);
    EXPECT_TRUE(Launches().operations.empty());
}

TEST_F(MainWindow, ShowsTheCheckPageWhenTheInstrumentWasChecked) {
    ReachCheckPage(4.1);
    EXPECT_EQ(2, App().wizardStep);
    ExpectPage(kCheckPage);
    EXPECT_TRUE(Enabled(IDC_CANCEL));
    EXPECT_FALSE(Enabled(IDC_START)) << "no file chosen, box not ticked";
}

TEST_F(MainWindow, CheckPageTellsWhetherTheUpdateMechanismWasConfirmed) {
    ReachCheckPage(4.1, false);
    EXPECT_EQ(L"✕  Механизм DFWU не подтверждён", Text(IDC_STATUS4));
}

TEST_F(MainWindow, BatteryLineHasTwoDecimalsAndTheThresholdMark) {
    struct Case {
        double volts;
        const wchar_t* line;
        bool startEnabled;
    };
    const Case cases[] = {
        {4.1, L"✓  Напряжение аккумулятора: 4.10 В", true},
        {3.9, L"✓  Напряжение аккумулятора: 3.90 В", true},
        {3.89, L"✕  Напряжение аккумулятора: 3.89 В", false},
        // Cut, not rounded: the number never contradicts its mark.
        {3.896, L"✕  Напряжение аккумулятора: 3.89 В", false},
        {3.8999, L"✕  Напряжение аккумулятора: 3.89 В", false},
        {4.995, L"✓  Напряжение аккумулятора: 4.99 В", true},
    };
    App().firmwareReady = true;
    SetRiskAccepted(true);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.volts);
        ReachCheckPage(c.volts);
        EXPECT_EQ(c.line, Text(IDC_STATUS2));
        EXPECT_EQ(c.startEnabled, Enabled(IDC_START));
    }
}

TEST_F(MainWindow, StartIsEnabledOnlyWhenEveryConditionHolds) {
    ReachCheckPage(4.1);
    for (int mask = 0; mask < 32; ++mask) {
        const bool firmware = (mask & 1) != 0;
        const bool voltage = (mask & 2) != 0;
        const bool ready = (mask & 4) != 0;
        const bool accepted = (mask & 8) != 0;
        const bool idle = (mask & 16) != 0;
        App().firmwareReady = firmware;
        App().batteryVoltage = voltage ? 3.9 : 3.89;
        App().instrumentReady = ready;
        App().operationBusy.exchange(!idle);
        SetRiskAccepted(accepted);
        UpdateStartButton();
        EXPECT_EQ(mask == 31, Enabled(IDC_START)) << "conditions " << mask;
        EXPECT_EQ(mask == 31, StartAllowed(firmware, App().batteryVoltage, ready, accepted, !idle));
    }
    App().operationBusy.exchange(false);
}

TEST_F(MainWindow, TickingTheRiskBoxEnablesStartAtOnceAndUntickingDisablesIt) {
    App().firmwareReady = true;
    ReachCheckPage(4.1);
    EXPECT_FALSE(Enabled(IDC_START));
    Click(IDC_ACCEPT_RISK);
    EXPECT_EQ(BST_CHECKED, SendMessageW(Item(IDC_ACCEPT_RISK), BM_GETCHECK, 0, 0));
    EXPECT_TRUE(Enabled(IDC_START));
    Click(IDC_ACCEPT_RISK);
    EXPECT_FALSE(Enabled(IDC_START));
}

TEST_F(MainWindow, StartShowsTheUpdatePageAndStartsOneUpdateWorker) {
    ReadyToStart();
    App().cancelRequested.exchange(true);
    App().progressPercent = 37;
    Click(IDC_START);
    Command(IDC_START); // a second click before the page is drawn
    ASSERT_EQ(1u, Launches().operations.size());
    EXPECT_EQ(&UpdateWorker, Launches().operations[0]);
    EXPECT_TRUE(App().operationBusy.load());
    EXPECT_FALSE(App().cancelRequested.load());
    EXPECT_EQ(3, App().wizardStep);
    EXPECT_EQ(0, App().progressPercent);
    ExpectPage(kUpdatePage);
    EXPECT_TRUE(Enabled(IDC_CANCEL));
}

TEST_F(MainWindow, CancelOnTheCheckPageStartsOneDisconnect) {
    ReachCheckPage(4.1);
    Click(IDC_CANCEL);
    EXPECT_TRUE(App().operationBusy.load());
    EXPECT_FALSE(Enabled(IDC_CANCEL));
    EXPECT_EQ(L"Отключение…", Text(IDC_CANCEL));
    Command(IDC_CANCEL); // a click that arrives while the disconnect runs
    ASSERT_EQ(1u, Launches().operations.size());
    EXPECT_EQ(&DisconnectWorker, Launches().operations[0]);
    EXPECT_FALSE(App().cancelRequested.load());
}

TEST_F(MainWindow, NoUpdateStartsWhileTheStationIsBeingReleased) {
    ReadyToStart();
    Click(IDC_CANCEL);
    EXPECT_FALSE(Enabled(IDC_START));
    App().operationBusy.exchange(false); // the disconnect worker clears it before it posts Cancelled
    Click(IDC_ACCEPT_RISK);
    Click(IDC_ACCEPT_RISK);
    EXPECT_FALSE(Enabled(IDC_START)) << "the Start rule looked again while the Cancelled was on its way";
    Command(IDC_START);
    EXPECT_EQ(1u, Launches().operations.size()) << "the disconnect alone";
    SeenBox box;
    ExpectDialog(AnswerBox(&box));
    PostText(MSG_OPERATION_DONE, Cancelled, L"Обновление отменено. Прибор отключён от дата-станции.");
    ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 1; }));
    EXPECT_FALSE(App().operationBusy.load());
}

TEST_F(MainWindow, CancelDuringAnUpdateActsOnlyWhileCancellingIsAllowed) {
    ReadyToStart();
    Click(IDC_START);

    Command(IDC_CANCEL); // the worker has not yet allowed it
    EXPECT_TRUE(Enabled(IDC_CANCEL));
    EXPECT_EQ(L"Отменить обновление", Text(IDC_CANCEL));

    App().cancelAllowed.exchange(true);
    Click(IDC_CANCEL);
    EXPECT_TRUE(App().cancelRequested.load());
    EXPECT_FALSE(Enabled(IDC_CANCEL));
    EXPECT_EQ(L"Отмена…", Text(IDC_CANCEL));
    EXPECT_EQ(1u, Launches().operations.size()) << "no disconnect during an update";
    const std::vector<std::string> log = LogLines();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("Cancellation requested by user", log.back());
}

TEST_F(MainWindow, CancelAfterTheFinalPhaseBeganDoesNothing) {
    ReadyToStart();
    Click(IDC_START);
    App().cancelAllowed.exchange(true);
    SendMessageW(window_, MSG_PROGRESS, 90, 1);
    App().cancelAllowed.exchange(false); // the worker cleared it before the last block
    Command(IDC_CANCEL);
    EXPECT_EQ(L"Завершение обновления…", Text(IDC_CANCEL));
    const std::vector<std::string> log = LogLines();
    EXPECT_EQ(log.end(), std::find(log.begin(), log.end(), "Cancellation requested by user"));
}

// From Start to the result the PC neither sleeps nor shuts down; a sleep it cannot refuse is logged.
TEST_F(MainWindow, AnUpdateKeepsThePcAwakeAndRefusesShutdownUntilItsResult) {
    constexpr EXECUTION_STATE kAwake = ES_CONTINUOUS | ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED;
    ReadyToStart();
    EXPECT_TRUE(SendMessageW(window_, WM_QUERYENDSESSION, 0, 0));
    Click(IDC_START);
    EXPECT_EQ(kAwake, SetThreadExecutionState(0)) << "0 reads the state without changing it";
    EXPECT_FALSE(SendMessageW(window_, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF));
    SendMessageW(window_, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageW(window_, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    SendMessageW(window_, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    SeenBox box;
    ExpectDialog(AnswerBox(&box));
    PostText(MSG_OPERATION_DONE, Failed, L"Передача прошивки прервана. Не снимайте прибор и обратитесь в поддержку.");
    ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 2; }));
    EXPECT_EQ(static_cast<EXECUTION_STATE>(ES_CONTINUOUS), SetThreadExecutionState(0));
    EXPECT_TRUE(SendMessageW(window_, WM_QUERYENDSESSION, 0, 0));
    SendMessageW(window_, WM_POWERBROADCAST, PBT_APMSUSPEND, 0); // outside an update: not logged
    const std::vector<std::string> log = LogLines();
    EXPECT_EQ((std::vector<std::string>(log.end() - 3, log.end())),
              (std::vector<std::string>{"Shutdown or log-off refused: firmware update in progress",
                                        "System is going to sleep during a firmware update", "System resumed"}));
}

struct StartFailureCase {
    const char* name;
    int button;
    const char* logLine;
};

TEST_F(MainWindow, AWorkerThatCannotStartLeavesNoOperationRunning) {
    const StartFailureCase cases[] = {
        {"update", IDC_START, "Could not start the update worker: "},
        {"disconnect", IDC_CANCEL, "Could not start the disconnect worker: "},
    };
    for (const StartFailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        ReadyToStart();
        Launches().failNext = true;
        SeenBox box;
        bool busyDuringBox = true;
        ExpectDialog(AnswerBox(&box, [&] { busyDuringBox = App().operationBusy.load(); }));
        Click(c.button);
        EXPECT_TRUE(box.seen);
        EXPECT_FALSE(busyDuringBox);
        EXPECT_FALSE(App().operationBusy.load());
        EXPECT_EQ(L"Ошибка запуска", box.caption);
        EXPECT_EQ(L"Не удалось запустить операцию: система не смогла создать поток. Повторите попытку.", box.text);
        EXPECT_EQ(LoadIconW(nullptr, IDI_ERROR), box.icon);
        EXPECT_EQ(0u, LogLines().back().rfind(c.logLine, 0)) << LogLines().back();
        // Back on the check page, ready to try again.
        EXPECT_EQ(2, App().wizardStep);
        EXPECT_TRUE(Enabled(IDC_CANCEL));
        EXPECT_EQ(L"Отменить обновление", Text(IDC_CANCEL));
        EXPECT_TRUE(Enabled(IDC_START));
    }
    EXPECT_TRUE(Launches().operations.empty());
}

TEST_F(MainWindow, CloseIsRefusedWhileAnOperationRuns) {
    struct Case {
        const char* name;
        int button;
    };
    const Case cases[] = {{"update", IDC_START}, {"disconnecting", IDC_CANCEL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ReadyToStart();
        Click(c.button);
        SeenBox box;
        ExpectDialog(AnswerBox(&box));
        SendMessageW(window_, WM_CLOSE, 0, 0);
        EXPECT_TRUE(box.seen);
        EXPECT_EQ(L"Обновление выполняется", box.caption);
        EXPECT_EQ(L"Во время обновления закрывать программу нельзя.", box.text);
        EXPECT_EQ(LoadIconW(nullptr, IDI_WARNING), box.icon);
        EXPECT_TRUE(IsWindow(window_));
        EXPECT_FALSE(App().appClosing.load());
        SeenBox cancelled;
        ExpectDialog(AnswerBox(&cancelled));
        PostText(MSG_OPERATION_DONE, Cancelled, L"Обновление отменено.");
        ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 1; }));
    }
}

TEST_F(MainWindow, CloseWhileIdleDestroysTheWindowAndQuitsWithZero) {
    SendMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window_));
    EXPECT_TRUE(App().appClosing.load());
    MSG quit = {};
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, quit.wParam);
    EXPECT_EQ(0u, Ui().trayIcon.cbSize) << "the notification-area icon was removed";
}

TEST_F(MainWindow, HasTheProgramIconInTitleAndNotificationArea) {
    ASSERT_NE(nullptr, Ui().icon);
    EXPECT_EQ(Ui().icon, reinterpret_cast<HICON>(SendMessageW(window_, WM_GETICON, ICON_BIG, 0)));
    EXPECT_EQ(Ui().icon, reinterpret_cast<HICON>(SendMessageW(window_, WM_GETICON, ICON_SMALL, 0)));
    EXPECT_EQ(Ui().icon, reinterpret_cast<HICON>(GetClassLongPtrW(window_, GCLP_HICON)));
    const NOTIFYICONDATAW& tray = Ui().trayIcon;
    EXPECT_EQ(976u, tray.cbSize);
    EXPECT_EQ(window_, tray.hWnd);
    EXPECT_EQ(1u, tray.uID);
    EXPECT_EQ(7u, tray.uFlags);
    EXPECT_EQ(MSG_TRAY_ICON, tray.uCallbackMessage);
    EXPECT_EQ(Ui().icon, tray.hIcon);
    EXPECT_EQ(std::wstring(L"Zarvel Update - Zarvel Ксарон 4"), tray.szTip);
}

TEST_F(MainWindow, NotificationAreaClickRestoresTheWindowOnlyForTheLeftButton) {
    ShowWindow(window_, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(window_));
    SendMessageW(window_, MSG_TRAY_ICON, 1, WM_RBUTTONUP);
    EXPECT_TRUE(IsIconic(window_));
    SendMessageW(window_, MSG_TRAY_ICON, 1, WM_LBUTTONUP);
    EXPECT_FALSE(IsIconic(window_));
    ShowWindow(window_, SW_MINIMIZE);
    SendMessageW(window_, MSG_TRAY_ICON, 1, WM_LBUTTONDBLCLK);
    EXPECT_FALSE(IsIconic(window_));
}

TEST_F(MainWindow, OtherCommandsAndMessagesChangeNothing) {
    Command(IDC_NOTE);
    Command(1018);
    EXPECT_EQ(1, App().wizardStep);
    EXPECT_TRUE(Launches().operations.empty());
    EXPECT_EQ(0, SendMessageW(window_, 0x8007, 0, 0));
}

class WithoutAssets : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        CreateWindowWithAssetsIn(dir_.path()); // holds no assets folder
    }
};

TEST_F(WithoutAssets, TheWindowWorksWithTheStandardIconAndNoNotificationAreaIcon) {
    EXPECT_EQ(nullptr, Ui().icon);
    EXPECT_NE(GpOk, Ui().logo.status);
    EXPECT_NE(GpOk, Ui().instrument.status);
    EXPECT_EQ(nullptr, reinterpret_cast<HICON>(SendMessageW(window_, WM_GETICON, ICON_BIG, 0)));
    EXPECT_EQ(LoadIconW(nullptr, IDI_APPLICATION), reinterpret_cast<HICON>(GetClassLongPtrW(window_, GCLP_HICON)));
    EXPECT_EQ(0u, Ui().trayIcon.cbSize);
    EXPECT_EQ(L"○  Поиск дата-станции…", Text(IDC_STATUS1));
    StartUpdateFromCheckPage();
    EXPECT_EQ(3, App().wizardStep);
    EXPECT_TRUE(UpdateWindow(window_));
}

} // namespace
