// The window by keyboard alone: each page's focus and tab stops, Enter and Esc, focus kept off dead controls,
// the pop-up's keys, the focus ring only after a key.
#include "tests/wine/golden.h"
#include "ui/keyboard_focus.h"

namespace {

// A key pressed (repeats: auto-repeated downs) and let go, each message as the loop fetches it for the focus.
void Key(HWND dialog, WPARAM key, bool shift = false, int repeats = 0) {
    BYTE keys[256] = {};
    keys[VK_SHIFT] = shift ? 0x80 : 0, SetKeyboardState(keys);
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
    std::vector<int> seen, expected(page.tabs);
    expected.insert(expected.end(), page.tabs.rbegin() + 1, page.tabs.rend()), expected.push_back(page.tabs.back());
    SetFocus(page.tabs.back() == 0 ? window_ : Item(page.tabs.back()));
    for (size_t i = 0; i < expected.size(); ++i) Key(window_, VK_TAB, i >= page.tabs.size()), seen.push_back(Focused());
    EXPECT_EQ(expected, seen);
}
INSTANTIATE_TEST_SUITE_P(Pages, KeyboardPage, ::testing::Values(TabPage{1, 0, {0}}, // the user's click left it on the box
    TabPage{2, IDC_ACCEPT_RISK, {IDC_ACCEPT_RISK, IDC_START, IDC_CANCEL, IDC_CHOOSE_FILE}}, TabPage{3, IDC_CANCEL, {IDC_CANCEL}}, TabPage{4, IDC_NEXT_INSTRUMENT, {IDC_NEXT_INSTRUMENT}}));

using Keyboard = WindowTest;

// A battery drop takes focus off the Start it disables; Esc presses nothing, a held Enter one Start, never the Cancel
// it focuses; Enter, Space and Esc close the named pop-up that opens on its button; the final phase takes focus off
// Cancel; back from a failure Start has it; a held Enter on the done page takes one next-instrument step.
TEST_F(Keyboard, AnUpdateByKeysAloneNeverLeavesFocusOnADeadControl) {
    Open();
    Reach(2);
    SetFocus(Item(IDC_START)), ReachCheckPage(3.5);
    EXPECT_EQ(IDC_CHOOSE_FILE, Focused());
    SetFocus(Item(IDC_ACCEPT_RISK)), Key(window_, VK_RETURN), ReachCheckPage(4.1);
    Key(window_, VK_ESCAPE), Key(window_, VK_RETURN, false, 3);
    EXPECT_FALSE(App().cancelRequested.load());
    for (WPARAM key : {VK_RETURN, VK_SPACE, VK_ESCAPE}) {
        std::wstring seen;
        ExpectDialog([&](HWND popup) { seen = WindowTextOf(popup, 64) + std::to_wstring(GetDlgCtrlID(GetFocus())), Key(popup, key); });
        SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
        EXPECT_EQ(L"Повторная установка прибора" + std::to_wstring(IDC_DLG_CONFIRM) + std::to_wstring(IDC_CANCEL), seen + std::to_wstring(Focused()));
    }
    SendMessageW(window_, MSG_PROGRESS, 99, 1);
    EXPECT_EQ(0, Focused());
    Key(window_, VK_RETURN), Key(window_, VK_ESCAPE);
    ExpectDialog([](HWND failureBox) { Press(failureBox, IDOK); });
    SendMessageW(window_, MSG_OPERATION_DONE, Failed, reinterpret_cast<LPARAM>(new std::wstring(L"Сбой")));
    EXPECT_EQ(IDC_START, Focused());
    Key(window_, VK_RETURN);
    SendMessageW(window_, MSG_OPERATION_DONE, Succeeded, reinterpret_cast<LPARAM>(new std::wstring(L"Готово")));
    Key(window_, VK_RETURN, false, 3);
    EXPECT_EQ((Workers{InstrumentMonitor, UpdateWorker, UpdateWorker, NextInstrumentMonitor}), launched);
    EXPECT_EQ(1, App().wizardStep);
}

// Back from another program (Alt+Tab), focus is on the control the user left, not on the page's first one.
TEST_F(Keyboard, AnotherWindowInBetweenLeavesFocusWhereItWas) {
    Open();
    Reach(2);
    SetFocus(Item(IDC_CHOOSE_FILE));
    SendMessageW(window_, WM_ACTIVATE, WA_INACTIVE, 0); // as Windows sends it, the other window then taking focus
    SetFocus(nullptr);
    SendMessageW(window_, WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(IDC_CHOOSE_FILE, Focused());
}

// Start focused with no key pressed (as a click leaves it) shows today's pixels; after Shift+Tab onto it, its ring.
TEST_F(Keyboard, FocusRingShowsOnlyAfterAKey) {
    Open();
    Reach(2);
    const auto pixels = [&] { return RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN), ClientPixels(window_); };
    SetFocus(Item(IDC_START));
    const std::vector<uint32_t> focusedByMouse = pixels();
    SetFocus(Item(IDC_CANCEL));
    EXPECT_EQ(pixels(), focusedByMouse);
    Key(window_, VK_TAB, true);
    ExpectGolden(window_, "check-start-key-focus");
}

} // namespace
