// The reinstall pop-up: where it opens, how it looks, what closes it and what keeps running
// behind it. Each test acts from inside the pop-up's own message loop, as the user would while
// it is open, then lets its button close it.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/notifications.h"
#include "tests/wine/screen_capture.h"
#include "tests/wine/ui_harness.h"
#include "ui/main_window.h"
#include "ui/reinstall_dialog.h"
#include "ui/ui_resources.h"

namespace {

constexpr COLORREF kBlue = RGB(32, 168, 223);
constexpr COLORREF kDark = RGB(20, 31, 43);
constexpr COLORREF kWhite = RGB(255, 255, 255);

const wchar_t kInstruction[] =
    L"Дождитесь, пока прибор перестанет мигать. Затем поднимите его и снова установите на дата-станцию.";

struct ExpectedDialogControl {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    ControlBox box;
    UiFont font;
};

const ExpectedDialogControl kDialogControls[] = {
    {IDC_DLG_KICKER, L"Static", L"Завершение обновления", {132, 58, 500, 30}, DialogLabelFont},
    {IDC_DLG_TITLE, L"Static", L"Повторно установите прибор", {132, 94, 500, 48}, DialogTitleFont},
    {IDC_DLG_TEXT, L"Static", kInstruction, {132, 154, 500, 104}, DialogTextFont},
    {IDC_DLG_HINT, L"Static", L"ⓘ  Программа автоматически проверит подключение и версию прошивки.", {132, 280, 500, 62},
     DialogLabelFont},
    {IDC_DLG_CONFIRM, L"Button", L"Прибор установлен", {132, 364, 500, 58}, DialogLabelFont},
};

std::wstring TextOfWindow(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

ControlBox ClientBoxOf(HWND control, HWND parent) {
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

POINT CentreOnScreen(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// The messages the pop-up got, seen by a hook on the thread.
std::vector<MSG>& SeenMessages() {
    static std::vector<MSG> messages;
    return messages;
}

LRESULT CALLBACK RecordPosted(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && wParam == PM_REMOVE) SeenMessages().push_back(*reinterpret_cast<const MSG*>(lParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK RecordSent(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
        SeenMessages().push_back({sent->hwnd, sent->message, sent->wParam, sent->lParam, 0, {0, 0}});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool Got(HWND window, UINT message, WPARAM wParam) {
    for (const MSG& seen : SeenMessages())
        if (seen.hwnd == window && seen.message == message && seen.wParam == wParam) return true;
    return false;
}

class ReinstallDialog : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        CreateWindowWithAssetsIn(SourceAssetsParent());
        PlaceAndStartUpdate();
    }

    // The main window at (100, 50), an update running on the update page.
    void PlaceAndStartUpdate() {
        SetWindowPos(window_, nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        StartUpdateFromCheckPage();
        ASSERT_EQ(3, App().wizardStep);
    }

    // The worker's prompt; returns once the pop-up has closed.
    void Prompt() { EXPECT_EQ(0, SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0)); }

    // The pop-up's button pressed with the mouse; true once the pop-up is gone.
    static bool ConfirmWithTheMouse(HWND popup) {
        ClickAt(CentreOnScreen(GetDlgItem(popup, IDC_DLG_CONFIRM)));
        return PumpUntil([popup] { return !IsWindow(popup); }, 5000);
    }

    void ExpectPopupShows(HWND popup, const std::vector<AreaCheck>& checks, const std::string& name) {
        for (const std::string& failure : WaitForScreen([popup] { return CaptureClient(popup); }, checks, name))
            ADD_FAILURE() << name << ": " << failure;
    }
};

TEST_F(ReinstallDialog, FillsTheUpdatePageThenOpensCentredOnTheMainWindow) {
    RECT frame = {};
    HWND owner = nullptr;
    std::wstring className;
    LONG_PTR style = 0;
    LONG_PTR exStyle = 0;
    std::wstring title;
    bool ownerEnabled = true;
    bool foreground = false;
    int progressWhileOpen = 0;
    std::wstring headingWhileOpen;
    ExpectReinstallDialog([&](HWND popup) {
        GetWindowRect(popup, &frame);
        owner = GetWindow(popup, GW_OWNER);
        wchar_t name[64] = {};
        GetClassNameW(popup, name, 64);
        className = name;
        style = GetWindowLongPtrW(popup, GWL_STYLE);
        exStyle = GetWindowLongPtrW(popup, GWL_EXSTYLE);
        title = TextOfWindow(popup);
        ownerEnabled = IsWindowEnabled(window_) != FALSE;
        foreground = GetForegroundWindow() == popup;
        progressWhileOpen = App().progressPercent;
        headingWhileOpen = Text(IDC_HEADING);
        for (const ExpectedDialogControl& expected : kDialogControls) {
            SCOPED_TRACE(testing::Message() << "control " << expected.id);
            HWND control = GetDlgItem(popup, expected.id);
            ASSERT_NE(nullptr, control);
            wchar_t controlClass[32] = {};
            GetClassNameW(control, controlClass, 32);
            EXPECT_EQ(0, lstrcmpiW(expected.className, controlClass));
            EXPECT_EQ(expected.text, TextOfWindow(control));
            EXPECT_EQ(expected.box, ClientBoxOf(control, popup));
            EXPECT_EQ(Font(expected.font), reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        }
        const LONG_PTR confirmStyle = GetWindowLongPtrW(GetDlgItem(popup, IDC_DLG_CONFIRM), GWL_STYLE);
        EXPECT_EQ(BS_OWNERDRAW, confirmStyle & BS_TYPEMASK);
        EXPECT_TRUE(ConfirmWithTheMouse(popup));
    });
    Prompt();

    EXPECT_EQ(L"ZarvelReinstallDialog", className);
    EXPECT_EQ(480, frame.left);
    EXPECT_EQ(342, frame.top);
    EXPECT_EQ(680, frame.right - frame.left);
    EXPECT_EQ(455, frame.bottom - frame.top);
    EXPECT_EQ(window_, owner);
    EXPECT_EQ(WS_POPUP | WS_BORDER, style & (WS_POPUP | WS_BORDER | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CHILD));
    EXPECT_EQ(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, exStyle & (WS_EX_DLGMODALFRAME | WS_EX_TOPMOST));
    EXPECT_EQ(L"", title);
    EXPECT_FALSE(ownerEnabled) << "the main window is disabled while the pop-up is open";
    EXPECT_TRUE(foreground);
    EXPECT_EQ(95, progressWhileOpen);
    EXPECT_EQ(L"Повторная установка прибора", headingWhileOpen);
    EXPECT_EQ(kInstruction, Text(IDC_DESCRIPTION)) << "the page repeats the pop-up's instruction";
    EXPECT_EQ(L"✓  Команда Reset выполнена", Text(IDC_STATUS4));
    EXPECT_EQ(L"●  Ожидание повторной установки…", Text(IDC_STATUS5));
    EXPECT_EQ(L"ПОДНИМИТЕ И СНОВА УСТАНОВИТЕ ПРИБОР\r\nПроверка продолжится автоматически.", Text(IDC_NOTE));
    // Its button closed it; the main window is usable and in front again.
    EXPECT_TRUE(IsWindowEnabled(window_));
    EXPECT_EQ(window_, GetForegroundWindow());
    EXPECT_EQ(nullptr, FindWindowW(L"ZarvelReinstallDialog", nullptr));
}

TEST_F(ReinstallDialog, LooksAsDesigned) {
    ExpectReinstallDialog([&](HWND popup) {
        RECT client = {};
        GetClientRect(popup, &client);
        const int width = client.right;
        ExpectPopupShows(popup,
                         {
                             Everywhere("blue band along the top", {0, 0, width, 8}, kBlue, 1),
                             Everywhere("white below the band", {0, 8, 30, 40}, kWhite, 1),
                             // the circle at (40, 60), 66 x 66, centre (73, 93)
                             At("blue circle", 50, 93, kBlue, 4),
                             At("blue circle, lower part", 73, 120, kBlue, 4),
                             At("white left of the circle", 36, 93, kWhite, 1),
                             Somewhere("white symbol inside the circle", {60, 78, 88, 108}, kWhite, 24),
                             Somewhere("kicker in blue", {132, 58, 632, 88}, kBlue, 24),
                             Nowhere("kicker has no dark text", {132, 58, 632, 88}, kDark, 40),
                             Somewhere("title in dark text", {132, 94, 632, 142}, kDark, 16),
                             Somewhere("instruction in dark text", {132, 154, 632, 258}, kDark, 16),
                             Somewhere("hint in dark text", {132, 280, 632, 342}, kDark, 16),
                             // the button at (132, 364), 500 x 58
                             At("blue button", 140, 393, kBlue, 4),
                             At("blue button, right", 624, 393, kBlue, 4),
                             Somewhere("white caption", {150, 368, 614, 418}, kWhite, 16),
                             At("white around the button", 120, 393, kWhite, 1),
                             At("white in the button's rounded corner", 132, 364, kWhite, 1),
                         },
                         "reinstall_dialog");
        // And the whole window as the user sees it, the pop-up in front.
        POINT origin = {0, 0};
        ClientToScreen(popup, &origin);
        ScreenToClient(window_, &origin);
        const RECT band = {origin.x, origin.y, origin.x + 600, origin.y + 8};
        for (const std::string& failure :
             WaitForScreen([this] { return CaptureClient(window_); },
                           {Everywhere("the pop-up's band in front of the window", band, kBlue, 1)}, "reinstall_window"))
            ADD_FAILURE() << failure;
        const Screenshot shot = CaptureClient(popup);
        // Centred on the button like the button itself, without its rounded corners.
        EXPECT_EQ("", CompareText(shot, {{150, 368, 614, 418}, Font(DialogLabelFont), L"Прибор установлен",
                                         DT_CENTER | DT_VCENTER | DT_SINGLELINE, kWhite, kBlue}))
            << "the button's caption";
        EXPECT_TRUE(ConfirmWithTheMouse(popup));
    });
    Prompt();
}

TEST_F(ReinstallDialog, EscapeAndAltF4LeaveItOpen) {
    HHOOK posted = SetWindowsHookExW(WH_GETMESSAGE, RecordPosted, nullptr, GetCurrentThreadId());
    HHOOK sent = SetWindowsHookExW(WH_CALLWNDPROC, RecordSent, nullptr, GetCurrentThreadId());
    SeenMessages().clear();
    HWND shown = nullptr;
    bool openAfterKeys = false;
    ExpectReinstallDialog([&](HWND popup) {
        shown = popup;
        ASSERT_TRUE(PumpUntil([popup] { return GetForegroundWindow() == popup && GetFocus() == popup; }, 5000));
        PressKeys({VK_ESCAPE});
        PressKeys({VK_RETURN});
        PressKeys({VK_MENU, VK_F4});
        // The keys arrived, and Alt+F4 became a close request that the pop-up ignored.
        EXPECT_TRUE(PumpUntil([popup] { return Got(popup, WM_CLOSE, 0); }, 5000)) << "Alt+F4 reached the pop-up";
        EXPECT_TRUE(Got(popup, WM_KEYDOWN, VK_ESCAPE)) << "Escape reached the pop-up";
        PumpPending();
        openAfterKeys = IsWindow(popup) && IsWindowVisible(popup);
        EXPECT_TRUE(ConfirmWithTheMouse(popup));
    });
    Prompt();
    UnhookWindowsHookEx(posted);
    UnhookWindowsHookEx(sent);
    EXPECT_NE(nullptr, shown);
    EXPECT_TRUE(openAfterKeys);
}

TEST_F(ReinstallDialog, TheMainWindowKeepsShowingWhatTheWorkerReportsBehindIt) {
    std::vector<std::string> progressFailures;
    std::vector<std::string> doneFailures;
    std::wstring lineFive;
    bool stillOpenWhenDone = false;
    ExpectReinstallDialog([&](HWND popup) {
        // The update worker goes on while the pop-up is open.
        PostText(MSG_STATUS_LINE, 5, L"✓  Прибор повторно подключён");
        PostMessageW(window_, MSG_PROGRESS, 100, 0);
        // The right end of the bar (800, 390, 520 x 32) shows beside the pop-up: grey at 95, blue at 100.
        progressFailures = WaitForScreen([this] { return CaptureClient(window_); },
                                         {At("progress bar end blue", 1310, 406, kBlue, 2)}, "reinstall_behind_progress");
        lineFive = Text(IDC_STATUS5);
        PostText(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.0.");
        // The done page's green note (780, 735, 560 x 110) shows below and beside the pop-up.
        doneFailures = WaitForScreen([this] { return CaptureClient(window_); },
                                     {At("done note, green fill", 1330, 800, RGB(239, 252, 245), 1),
                                      At("step 3 completed", 1032 + 18, 144, RGB(47, 177, 99), 4)},
                                     "reinstall_behind_done");
        stillOpenWhenDone = IsWindow(popup) && IsWindowVisible(popup);
        EXPECT_TRUE(ConfirmWithTheMouse(popup));
    });
    Prompt();
    for (const std::string& failure : progressFailures) ADD_FAILURE() << failure;
    for (const std::string& failure : doneFailures) ADD_FAILURE() << failure;
    EXPECT_EQ(L"✓  Прибор повторно подключён", lineFive);
    EXPECT_TRUE(stillOpenWhenDone) << "the pop-up waits for its button even after the update ended";
    EXPECT_EQ(4, App().wizardStep);
    EXPECT_FALSE(App().operationBusy.load());
}

// The pop-up is topmost: a failure's box would open underneath it.
TEST_F(ReinstallDialog, AFailureWhileItIsOpenClosesItAndShowsItsBoxInFront) {
    const std::wstring notBack = L"Прибор не подключился повторно. Поднимите его и снова установите на дата-станцию.";
    SeenBox box;
    bool popupGone = false;
    bool boxInFront = false;
    ExpectReinstallDialog([&](HWND popup) {
        ExpectDialog(AnswerBox(&box, [&] {
            popupGone = !IsWindow(popup);
            wchar_t foreground[32] = {};
            GetClassNameW(GetForegroundWindow(), foreground, 32);
            boxInFront = std::wstring(L"#32770") == foreground;
        }));
        PostText(MSG_OPERATION_DONE, Failed, notBack);
        PumpUntil([&] { return box.seen; }, 10000);
    });
    Prompt();
    ASSERT_TRUE(box.seen);
    EXPECT_TRUE(popupGone);
    EXPECT_TRUE(boxInFront);
    EXPECT_EQ(notBack, box.text);
    EXPECT_TRUE(IsWindowEnabled(window_));
    EXPECT_EQ(2, App().wizardStep);
    EXPECT_EQ(L"✕  " + notBack, Text(IDC_STATUS4));
}

// A box of ours open behind the pop-up keeps the main window disabled after the pop-up's button.
TEST_F(ReinstallDialog, ItsButtonLeavesTheMainWindowToAMessageBoxStillOpen) {
    SeenBox box;
    bool enabledAfterConfirm = true;
    ExpectDialog(AnswerBox(&box, [&] {
        ExpectReinstallDialog([&](HWND popup) { EXPECT_TRUE(ConfirmWithTheMouse(popup)); });
        Prompt();
        enabledAfterConfirm = IsWindowEnabled(window_) != FALSE;
    }));
    SendMessageW(window_, WM_CLOSE, 0, 0); // refused during the update, with a box
    ASSERT_TRUE(box.seen);
    EXPECT_FALSE(enabledAfterConfirm);
    EXPECT_TRUE(IsWindowEnabled(window_)) << "the box gave it back when it closed";
}

TEST_F(ReinstallDialog, ClicksOnTheMainWindowAreRefusedWhileItIsOpen) {
    App().cancelAllowed.exchange(true); // an enabled window would take this click as a cancellation
    ASSERT_TRUE(Enabled(IDC_CANCEL));
    ExpectReinstallDialog([&](HWND popup) {
        // The cancel button shows below the pop-up. Input comes in order: once the second
        // click has closed the pop-up, the first has been dealt with.
        ClickAt(CentreOnScreen(Item(IDC_CANCEL)));
        EXPECT_TRUE(ConfirmWithTheMouse(popup));
    });
    Prompt();
    EXPECT_FALSE(App().cancelRequested.load());
    EXPECT_EQ(L"Отменить обновление", Text(IDC_CANCEL));
}

TEST_F(ReinstallDialog, ASecondShowingInTheSameRunOpensAFreshPopup) {
    HWND first = nullptr;
    HWND second = nullptr;
    ExpectReinstallDialog([&](HWND popup) {
        first = popup;
        EXPECT_TRUE(ConfirmWithTheMouse(popup));
    });
    Prompt();
    ExpectReinstallDialog([&](HWND popup) {
        second = popup;
        ExpectPopupShows(popup, {At("blue circle", 50, 93, kBlue, 4), At("blue button", 140, 393, kBlue, 4)},
                         "reinstall_dialog_second");
        EXPECT_TRUE(ConfirmWithTheMouse(popup));
    });
    Prompt();
    EXPECT_NE(nullptr, first);
    EXPECT_NE(nullptr, second);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_TRUE(IsWindowEnabled(window_));
    WNDCLASSW registered = {};
    EXPECT_TRUE(GetClassInfoW(GetModuleHandleW(nullptr), L"ZarvelReinstallDialog", &registered));
}

TEST_F(ReinstallDialog, AQuitTakenWhileOpenReachesTheMainLoop) {
    bool posted = false;
    ExpectReinstallDialog([&](HWND) {
        PostQuitMessage(7);
        posted = true;
    });
    Prompt();
    EXPECT_TRUE(posted);
    EXPECT_EQ(nullptr, FindWindowW(L"ZarvelReinstallDialog", nullptr)) << "the pop-up went with the loop";
    EXPECT_TRUE(IsWindowEnabled(window_));
    MSG quit = {};
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(7u, quit.wParam);
}

// Run in a process of its own: the pop-up's class is registered by the first showing of a run.
class ReinstallDialogWithoutIcon : public ReinstallDialog {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        CreateWindowWithAssetsIn(dir_.path()); // no assets folder, so no icon
        PlaceAndStartUpdate();
    }
};

TEST_F(ReinstallDialogWithoutIcon, StillOpens) {
    ASSERT_EQ(nullptr, Ui().icon);
    bool shown = false;
    HICON classIcon = reinterpret_cast<HICON>(1);
    ExpectReinstallDialog([&](HWND popup) {
        shown = IsWindowVisible(popup) != FALSE;
        classIcon = reinterpret_cast<HICON>(GetClassLongPtrW(popup, GCLP_HICON));
        ExpectPopupShows(popup, {At("blue circle", 50, 93, kBlue, 4)}, "reinstall_dialog_without_icon");
        EXPECT_TRUE(ConfirmWithTheMouse(popup));
    });
    Prompt();
    EXPECT_TRUE(shown);
    EXPECT_EQ(nullptr, classIcon);
    EXPECT_TRUE(IsWindowEnabled(window_));
}

} // namespace
