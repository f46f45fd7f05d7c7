// The window by keyboard alone: each page's focus and tab stops, Enter and Esc, focus kept off dead controls,
// the pop-up's keys, the focus ring only after a key.
#include "tests/wine/window_harness.h"
#include "ui/keyboard_focus.h"

namespace {

// A key pressed (repeats: auto-repeated downs) and let go, each message as the loop fetches it for the focus.
void Key(HWND dialog, WPARAM key, bool shift = false, int repeats = 0) {
    BYTE keys[256] = {};
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    std::vector<MSG> messages(repeats + 1, MSG{nullptr, WM_KEYDOWN, key, 1 | 1 << 30, 0, {}});
    messages.front().lParam = 1, messages.push_back({nullptr, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001), 0, {}});
    for (MSG message : messages)
        if (message.hwnd = GetFocus() ? GetFocus() : GetActiveWindow(); !HandleDialogKeys(dialog, message)) DispatchMessageW(&message);
}
int Focused() { return GetFocus() == MainWindow() ? 0 : GetDlgCtrlID(GetFocus()); }

// first: the page's focus; tabs: where Tab leads from the last of them (0: the window); Shift+Tab goes back.
struct TabPage { int step, first; std::vector<int> tabs; };
class KeyboardPage : public WindowTest, public ::testing::WithParamInterface<TabPage> {};
TEST_P(KeyboardPage, FocusesItsNaturalControlAndTabWrapsThroughItsStopsBothWays) {
    const TabPage& page = GetParam();
    Open();
    if (page.step > 1) Reach(page.step);
    EXPECT_EQ(page.first, Focused());
    std::vector<int> tabs, backs, expectedBacks(page.tabs.rbegin() + 1, page.tabs.rend());
    expectedBacks.push_back(page.tabs.back());
    SetFocus(page.tabs.back() == 0 ? window_ : Item(page.tabs.back()));
    for (size_t i = 0; i < page.tabs.size(); ++i) Key(window_, VK_TAB), tabs.push_back(Focused());
    for (size_t i = 0; i < page.tabs.size(); ++i) Key(window_, VK_TAB, true), backs.push_back(Focused());
    EXPECT_EQ(page.tabs, tabs);
    EXPECT_EQ(expectedBacks, backs);
}
INSTANTIATE_TEST_SUITE_P(Pages, KeyboardPage, ::testing::Values(TabPage{1, 0, {0}}, // the user's click left it on the box
    TabPage{2, IDC_ACCEPT_RISK, {IDC_ACCEPT_RISK, IDC_START, IDC_CANCEL, IDC_CHOOSE_FILE}}, TabPage{3, IDC_CANCEL, {IDC_CANCEL}}, TabPage{4, IDC_NEXT_INSTRUMENT, {IDC_NEXT_INSTRUMENT}}));

using Keyboard = WindowTest;

// The file by Enter, the box by Space; a battery drop disables the focused Start; Enter then starts nothing.
TEST_F(Keyboard, CheckPageFocusFollowsTheChoicesAndLeavesStartWhenABatteryDropDisablesIt) {
    const std::filesystem::path file = dir_.path() / L"fw_v1.2.3.bin";
    std::ofstream(file, std::ios::binary) << std::string(300, 'Z');
    Open();
    ReachCheckPage(4.1);
    EXPECT_EQ(IDC_CHOOSE_FILE, Focused());
    ExpectDialog([file](HWND dialog) { SetWindowTextW(GetDlgItem(dialog, 0x480) ? GetDlgItem(dialog, 0x480) : GetDlgItem(dialog, 0x47C), file.c_str()), Press(dialog, IDOK); });
    Key(window_, VK_RETURN);
    EXPECT_EQ(IDC_ACCEPT_RISK, Focused());
    Key(window_, VK_SPACE);
    SetFocus(Item(IDC_START));
    ReachCheckPage(3.5);
    EXPECT_EQ(IDC_CHOOSE_FILE, Focused());
    SetFocus(Item(IDC_ACCEPT_RISK)), Key(window_, VK_RETURN);
    EXPECT_EQ((Workers{InstrumentMonitor}), launched);
}

// Esc nothing; a held Enter starts one update and never presses the Cancel it focuses; the final phase takes
// focus off Cancel; back from a failure Start has it; a held Enter on the done page takes one next step.
TEST_F(Keyboard, EnterPressesTheDefaultButtonOnceAndEscNothing) {
    Open();
    Reach(2);
    Key(window_, VK_ESCAPE), Key(window_, VK_RETURN, false, 3);
    EXPECT_EQ(IDC_CANCEL, Focused());
    SendMessageW(window_, MSG_PROGRESS, 99, 1);
    EXPECT_EQ(0, Focused());
    Key(window_, VK_RETURN), Key(window_, VK_ESCAPE);
    SeenBox box;
    ExpectDialog(AnswerBox(&box));
    SendMessageW(window_, MSG_OPERATION_DONE, Failed, reinterpret_cast<LPARAM>(new std::wstring(L"Сбой")));
    EXPECT_EQ(IDC_START, Focused());
    Key(window_, VK_RETURN);
    SendMessageW(window_, MSG_OPERATION_DONE, Succeeded, reinterpret_cast<LPARAM>(new std::wstring(L"Готово")));
    Key(window_, VK_RETURN, false, 3);
    EXPECT_EQ((Workers{InstrumentMonitor, UpdateWorker, UpdateWorker, NextInstrumentMonitor}), launched);
    EXPECT_FALSE(App().cancelRequested.load());
    EXPECT_EQ(1, App().wizardStep);
}

// Named, opened with its button focused; Enter, Space and Esc each close it, and the focus returns to Cancel.
TEST_F(Keyboard, ReinstallPopupClosesByEnterSpaceOrEsc) {
    Open();
    Reach(3);
    for (WPARAM key : {VK_RETURN, VK_SPACE, VK_ESCAPE}) {
        std::wstring name;
        ExpectDialog([&](HWND popup) { name = WindowTextOf(popup, 64) + std::to_wstring(GetDlgCtrlID(GetFocus())), Key(popup, key); });
        SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
        EXPECT_EQ(L"Повторная установка прибора" + std::to_wstring(IDC_DLG_CONFIRM), name);
        EXPECT_EQ(IDC_CANCEL, Focused()) << key;
    }
}

// Start focused with no key pressed (as a click leaves it) looks unfocused; after Shift+Tab onto it, a white ring.
TEST_F(Keyboard, FocusRingShowsOnlyAfterAKey) {
    BOOL cues = TRUE; // Wine shows them always; Windows, as set out of the box, after a key
    SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &cues, 0);
    SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0, nullptr, 0);
    Open();
    Reach(2);
    const RECT start = BoxOf(IDC_START);
    const auto pixels = [&] { return RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN), ClientPixels(window_); };
    SetFocus(Item(IDC_START));
    const std::vector<uint32_t> focusedByMouse = pixels();
    SetFocus(Item(IDC_CANCEL));
    EXPECT_EQ(pixels(), focusedByMouse);
    Key(window_, VK_TAB, true);
    ExpectShows(window_, {At("the ring", start.left + 4, (start.top + start.bottom) / 2, RGB(255, 255, 255))}, "Start focused by a key");
    SystemParametersInfoW(SPI_SETKEYBOARDCUES, 0, reinterpret_cast<void*>(static_cast<INT_PTR>(cues)), 0);
}

} // namespace
