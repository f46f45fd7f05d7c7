// What the window does with each notification the workers post.

#include <gtest/gtest.h>

#include <string>

#include "core/app_state.h"
#include "core/notifications.h"
#include "serial/serial_io.h"
#include "tests/wine/page_tables.h"
#include "tests/wine/ui_harness.h"
#include "ui/main_window.h"

namespace {

class Notifications : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        CreateWindowWithAssetsIn(SourceAssetsParent());
    }

    // An update running on the update page, started from a ready check page.
    void UpdateRunning() {
        StartUpdateFromCheckPage();
        ASSERT_EQ(3, App().wizardStep);
        App().cancelAllowed.exchange(true);
    }

    // Sends a text notification as a worker would post it; true when the window freed the text.
    bool Deliver(UINT code, WPARAM wParam, const std::wstring& text) {
        auto* payload = new std::wstring(text);
        WatchFree(payload);
        SendMessageW(window_, code, wParam, reinterpret_cast<LPARAM>(payload));
        return WasFreed();
    }

    std::wstring Lines() {
        std::wstring all;
        for (int id = IDC_STATUS1; id <= IDC_STATUS5; ++id) all += Text(id) + L"|";
        return all;
    }
};

TEST_F(Notifications, StatusLineSetsOneOfTheFiveLinesAndFreesTheText) {
    UpdateRunning();
    for (int line = 1; line <= 5; ++line) {
        const std::wstring text = L"●  строка " + std::to_wstring(line);
        EXPECT_TRUE(Deliver(MSG_STATUS_LINE, static_cast<WPARAM>(line), text));
        EXPECT_EQ(text, Text(IDC_STATUS1 + line - 1));
    }
}

TEST_F(Notifications, StatusLineOutsideOneToFiveChangesNothingAndFreesTheText) {
    UpdateRunning();
    const std::wstring before = Lines();
    for (WPARAM line : {WPARAM{0}, WPARAM{6}, static_cast<WPARAM>(-1)}) {
        EXPECT_TRUE(Deliver(MSG_STATUS_LINE, line, L"✕  мимо")) << line;
        EXPECT_EQ(before, Lines());
        EXPECT_EQ(L"Обновление выполняется", Text(IDC_HEADING));
    }
}

TEST_F(Notifications, PostedTextsReachTheLinesInOrder) {
    PostText(MSG_STATUS_LINE, 1, L"○  Дата-станция не обнаружена");
    PostText(MSG_STATUS_LINE, 1, L"✓  Дата-станция подключена (COM7)");
    PostText(MSG_STATUS_LINE, 2, L"✓  Прибор обнаружен");
    PumpPending();
    EXPECT_EQ(L"✓  Дата-станция подключена (COM7)", Text(IDC_STATUS1));
    EXPECT_EQ(L"✓  Прибор обнаружен", Text(IDC_STATUS2));
}

TEST_F(Notifications, ProgressStoresThePercentAndTheFinalPhaseLocksCancel) {
    UpdateRunning();
    SendMessageW(window_, MSG_PROGRESS, 50, 2); // any lParam but 1: the value only
    EXPECT_EQ(50, App().progressPercent);
    EXPECT_TRUE(Enabled(IDC_CANCEL));
    EXPECT_EQ(L"Отменить обновление", Text(IDC_CANCEL));

    SendMessageW(window_, MSG_PROGRESS, 90, 1);
    EXPECT_EQ(90, App().progressPercent);
    EXPECT_FALSE(Enabled(IDC_CANCEL));
    EXPECT_EQ(L"Завершение обновления…", Text(IDC_CANCEL));

    SendMessageW(window_, MSG_PROGRESS, static_cast<WPARAM>(0x1FFFFFFFFull), 0); // low 32 bits, signed
    EXPECT_EQ(-1, App().progressPercent);
}

TEST_F(Notifications, FinalPhaseLocksCancelOnWhateverPageIsShown) {
    ReachCheckPage(4.1);
    SendMessageW(window_, MSG_PROGRESS, 0, 1);
    EXPECT_FALSE(Enabled(IDC_CANCEL));
    EXPECT_EQ(L"Завершение обновления…", Text(IDC_CANCEL));
    EXPECT_EQ(2, App().wizardStep);
}

TEST_F(Notifications, FailedShowsTheBoxThenTheCheckPageWithTheReasonOnLineFour) {
    UpdateRunning();
    SeenBox box;
    bool busy = true;
    bool allowed = true;
    std::wstring headingDuringBox;
    ExpectDialog(AnswerBox(&box, [&] {
        busy = App().operationBusy.load();
        allowed = App().cancelAllowed.load();
        headingDuringBox = Text(IDC_HEADING);
    }));
    EXPECT_TRUE(Deliver(MSG_OPERATION_DONE, Failed, L"Дата-станция потеряна."));
    ASSERT_TRUE(box.seen);
    EXPECT_FALSE(busy) << "cleared before the box";
    EXPECT_FALSE(allowed) << "cleared before the box";
    EXPECT_EQ(L"Обновление выполняется", headingDuringBox) << "the page switches after the box";
    EXPECT_EQ(L"Ошибка обновления", box.caption);
    EXPECT_EQ(L"Дата-станция потеряна.", box.text);
    EXPECT_EQ(LoadIconW(nullptr, IDI_ERROR), box.icon);

    EXPECT_EQ(2, App().wizardStep);
    EXPECT_EQ(L"✕  Дата-станция потеряна.", Text(IDC_STATUS4));
    EXPECT_EQ(L"✓  Напряжение аккумулятора: 4.10 В", Text(IDC_STATUS2));
    // The earlier choices stay, so Start is available again at once.
    EXPECT_EQ(BST_CHECKED, SendMessageW(Item(IDC_ACCEPT_RISK), BM_GETCHECK, 0, 0));
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_EQ(0, Launches().monitors - 1) << "no new monitor after a failure";
}

TEST_F(Notifications, AnUnknownResultIsAFailure) {
    UpdateRunning();
    SeenBox box;
    ExpectDialog(AnswerBox(&box));
    EXPECT_TRUE(Deliver(MSG_OPERATION_DONE, 7, L"Что-то пошло не так."));
    EXPECT_EQ(L"Ошибка обновления", box.caption);
    EXPECT_EQ(L"✕  Что-то пошло не так.", Text(IDC_STATUS4));
}

TEST_F(Notifications, CancelledShowsTheBoxThenTheConnectPageAndANewMonitor) {
    UpdateRunning();
    SeenBox box;
    bool busy = true;
    std::wstring headingDuringBox;
    int monitorsDuringBox = -1;
    ExpectDialog(AnswerBox(&box, [&] {
        busy = App().operationBusy.load();
        headingDuringBox = Text(IDC_HEADING);
        monitorsDuringBox = Launches().monitors;
    }));
    EXPECT_TRUE(Deliver(MSG_OPERATION_DONE, Cancelled, L"Обновление отменено. Основная прошивка прибора не изменена."));
    ASSERT_TRUE(box.seen);
    EXPECT_FALSE(busy);
    EXPECT_EQ(L"Обновление выполняется", headingDuringBox);
    EXPECT_EQ(1, monitorsDuringBox);
    EXPECT_EQ(L"Обновление отменено", box.caption);
    EXPECT_EQ(L"Обновление отменено. Основная прошивка прибора не изменена.", box.text);
    EXPECT_EQ(LoadIconW(nullptr, IDI_INFORMATION), box.icon);
    EXPECT_EQ(1, App().wizardStep);
    ExpectPage(kConnectPage);
    EXPECT_EQ(2, Launches().monitors);
}

TEST_F(Notifications, AMonitorThatCannotStartAfterACancellationIsReported) {
    UpdateRunning();
    Launches().failNext = true;
    SeenBox cancelled;
    SeenBox failure;
    ExpectDialog(AnswerBox(&cancelled));
    ExpectDialog(AnswerBox(&failure));
    EXPECT_TRUE(Deliver(MSG_OPERATION_DONE, Cancelled, L"Обновление отменено. Основная прошивка прибора не изменена."));
    EXPECT_EQ(L"Обновление отменено", cancelled.caption);
    EXPECT_EQ(L"Ошибка запуска", failure.caption);
    EXPECT_EQ(1, Launches().monitors);
    EXPECT_EQ(1, App().wizardStep);
    EXPECT_EQ(0u, LogLines().back().rfind("Could not start the instrument monitor: ", 0)) << LogLines().back();
}

TEST_F(Notifications, SucceededShowsTheDonePageWithoutABox) {
    UpdateRunning();
    SendMessageW(window_, MSG_PROGRESS, 95, 0);
    Deliver(MSG_STATUS_LINE, 1, L"✓  Подключение к прибору");
    Deliver(MSG_STATUS_LINE, 5, L"✓  Прибор повторно подключён");
    EXPECT_TRUE(Deliver(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.3."));
    EXPECT_FALSE(App().operationBusy.load());
    EXPECT_FALSE(App().cancelAllowed.load());
    EXPECT_EQ(4, App().wizardStep);
    ExpectPage(kDonePage);
    EXPECT_EQ(1, Launches().monitors);
    EXPECT_EQ(1u, Launches().operations.size());
    SendMessageW(window_, WM_CLOSE, 0, 0); // nothing runs any more
    EXPECT_FALSE(IsWindow(window_));
}

// The next instrument without a restart: the connect page, a monitor that first waits for the
// updated instrument to be lifted, the choices of file and risk kept.
TEST_F(Notifications, TheNextInstrumentButtonGoesBackToTheConnectPageOnce) {
    UpdateRunning();
    SetControlText(IDC_FILE_BOX, L"fw_v1.2.3.bin");
    EXPECT_TRUE(Deliver(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.3."));
    Click(IDC_NEXT_INSTRUMENT);
    Command(IDC_NEXT_INSTRUMENT); // the second click of a double click
    EXPECT_EQ(1, App().wizardStep);
    EXPECT_EQ(L"○  Снимите обновлённый прибор и установите следующий", Text(IDC_STATUS2));
    EXPECT_FALSE(Visible(IDC_NEXT_INSTRUMENT));
    EXPECT_EQ(1, Launches().nextMonitors);
    EXPECT_EQ(1, Launches().monitors) << "the one of the window's creation";
    EXPECT_EQ("Next instrument requested by user", LogLines().back());
    EXPECT_TRUE(App().firmwareReady);
    EXPECT_EQ(L"fw_v1.2.3.bin", Text(IDC_FILE_BOX));
    EXPECT_EQ(BST_CHECKED, SendMessageW(Item(IDC_ACCEPT_RISK), BM_GETCHECK, 0, 0));
}

// The real workers, over a machine without COM ports.
class WithRealWorkers : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        keepLaunchers_ = true;
        CreateWindowWithAssetsIn(SourceAssetsParent());
    }
};

TEST_F(WithRealWorkers, ADisconnectEndsOnTheConnectPageWithANewMonitor) {
    ReachCheckPage(4.1);
    SeenBox box;
    int listersDuringBox = 0;
    ExpectDialog(AnswerBox(&box, [&] { listersDuringBox = ThreadsThatListedPorts(); }));
    Click(IDC_CANCEL);
    ASSERT_TRUE(PumpUntil([&] { return box.seen && App().wizardStep == 1; }));
    EXPECT_EQ(L"Обновление отменено", box.caption);
    EXPECT_EQ(L"Обновление отменено. Прибор отключён от дата-станции.", box.text);
    EXPECT_FALSE(App().operationBusy.load());
    // Line 1 already belongs to the new monitor, which finds no station here.
    EXPECT_EQ(L"Подключите дата-станцию", Text(IDC_HEADING));
    EXPECT_EQ(L"○  Ожидание прибора", Text(IDC_STATUS2));
    // The new monitor is a thread that had not listed the ports before the box closed.
    EXPECT_TRUE(PumpUntil([&] { return ThreadsThatListedPorts() > listersDuringBox; }));
}

TEST_F(WithRealWorkers, AnUpdateWithoutTheStationFailsBackToTheCheckPage) {
    App().firmwareReady = true;
    App().firmware.bytes.assign(120, 0x41);
    ReachCheckPage(4.1);
    SetRiskAccepted(true);
    Command(IDC_ACCEPT_RISK);
    SeenBox box;
    ExpectDialog(AnswerBox(&box));
    Click(IDC_START);
    ASSERT_TRUE(PumpUntil([&] { return box.seen && App().wizardStep == 2; }));
    EXPECT_EQ(L"Ошибка обновления", box.caption);
    EXPECT_EQ(L"Дата-станция потеряна.", box.text);
    EXPECT_EQ(L"✕  Дата-станция потеряна.", Text(IDC_STATUS4));
    EXPECT_FALSE(App().operationBusy.load());
}

} // namespace
