// The window at the display's DPI: one scale for the window, its controls, fonts and the pop-up,
// every text inside its box; and a change of DPI while the window is open.

#include <cmath>
#include <cstdlib>
#include <map>

#include "tests/wine/window_harness.h"

namespace {

RECT Times(const RECT& r, double s) { return {std::lround(r.left * s), std::lround(r.top * s), std::lround(r.right * s), std::lround(r.bottom * s)}; }
bool Inside(const RECT& inner, const RECT& outer, int slack = 1) {
    return inner.left >= outer.left - slack && inner.top >= outer.top - slack && inner.right <= outer.right + slack && inner.bottom <= outer.bottom + slack;
}
SIZE SizeOf(const RECT& r) { return {r.right - r.left, r.bottom - r.top}; }
SIZE FrameAt(HWND window, int dpi) { // as the system draws it around the main window
    RECT frame = {0, 0, 0, 0};
    SystemFunction<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")(
        &frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE, 0, static_cast<UINT>(dpi));
    return SizeOf(frame);
}

class AtTheDisplaysDpi : public WindowTest {
protected:
    void ExpectPageFits(const char* page) { // every control inside the client area and its card, every text inside its box
        RECT client = {};
        GetClientRect(window_, &client);
        for (int id : Shown()) {
            const RECT card = id == IDC_TITLE ? client : id <= IDC_STEP3 && id >= IDC_STEP1 ? RECT{50, 112, 1390, 190}
                            : id == IDC_FILE_BOX || id == IDC_CHOOSE_FILE ? RECT{780, 555, 1340, 625} : RECT{715, 210, 1390, 930};
            EXPECT_TRUE(Inside(BoxOf(id), client, 0) && Inside(BoxOf(id), id == IDC_TITLE ? card : Times(card, LayoutScale()))) << page << " " << id;
        }
        EXPECT_EQ(std::vector<std::string>{}, TextsThatDoNotFit(window_)) << page;
    }
};

TEST_F(AtTheDisplaysDpi, TheWindowTakesTheDpisScaleWithinTheWorkAreaAndEveryTextFitsItsBox) {
    Open();
    const int dpi = static_cast<int>(SystemFunction<UINT(WINAPI*)(HWND)>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")(window_));
    RECT work = {}, outer = {}, client = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(window_, &outer), GetClientRect(window_, &client);
    const SIZE frame96 = FrameAt(window_, 96), frame = FrameAt(window_, dpi), design = {1440 - frame96.cx, 1040 - frame96.cy};
    const double s = LayoutScale(), fit = std::min(double(SizeOf(work).cx - frame.cx) / design.cx, double(SizeOf(work).cy - frame.cy) / design.cy);
    EXPECT_NEAR(std::min(dpi / 96.0, fit), s, 0.005) << "the DPI's scale, or the largest that fits";
    EXPECT_NEAR(design.cx * s, client.right, 1.0);
    EXPECT_NEAR(design.cy * s, client.bottom, 1.0);
    EXPECT_TRUE(Inside(outer, work, 0));
    ExpectPageFits("connect");
    ReadyToStart();
    ExpectPageFits("check");
    const std::string face = std::getenv("ZARVEL_UI_FACE") != nullptr ? std::getenv("ZARVEL_UI_FACE") : "Open Sans"; // as the Wine set-up names it
    const auto at = [s](const char* what, int x, int y, COLORREF colour) { return At(what, std::lround(x * s), std::lround(y * s), colour, 30); };
    ExpectShows(window_, {at("step 2, blue", 620, 144, RGB(32, 168, 223)), at("line 1's circle, green", 805, 400, RGB(47, 177, 99)),
                          at("Start, blue", 810, 718, RGB(32, 168, 223)), at("the right card", 1370, 900, RGB(255, 255, 255))},
                "page2_check_" + std::to_string(dpi) + "dpi_" + face);
    LOGFONTW row = {};
    GetObjectW(ControlFont(Item(IDC_STATUS3)), sizeof(row), &row);
    EXPECT_TRUE(face != "DejaVu Sans" || row.lfHeight < static_cast<LONG>(30 * s)) << "a wide face: the lowest voltage's line made smaller";
    Click(IDC_START);
    ExpectDialog([&](HWND popup) {
        RECT place = {};
        GetWindowRect(popup, &place);
        EXPECT_TRUE(Inside(place, work, 0));
        EXPECT_EQ(std::vector<std::string>{}, TextsThatDoNotFit(popup)) << "pop-up";
        Press(popup, IDC_DLG_CONFIRM);
    });
    SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
    ExpectPageFits("update");
    Post(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.3.");
    ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 4; }));
    ExpectPageFits("done");
}

class DpiChange : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        static const WorkAreaHooks large{.workArea = [](const RECT&, RECT* area) { return *area = {0, 0, 2560, 1600}, true; }};
        SetWorkAreaHooks(&large);
        Open();
    }
    void ChangeDpi(UINT dpi) { // as Windows sends it: the new DPI twice, the place it suggests
        RECT suggested = {};
        GetWindowRect(window_, &suggested);
        SendMessageW(window_, kDpiChangedMessage, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    }
    std::map<int, std::pair<RECT, LONG>> ControlsAndFontHeights() {
        std::map<int, std::pair<RECT, LONG>> seen;
        LOGFONTW font = {};
        for (int id : Shown()) GetObjectW(ControlFont(Item(id)), sizeof(font), &font), seen[id] = {BoxOf(id), font.lfHeight};
        return seen;
    }
};

TEST_F(DpiChange, ScalesEveryControlAndItsFontAndBackAgainRestoresEveryPixel) {
    ReadyToStart();
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const std::vector<uint32_t> before = ClientPixels(window_);
    const auto at96 = ControlsAndFontHeights();
    SIZE answered = {};
    SendMessageW(window_, kGetDpiScaledSizeMessage, 144, reinterpret_cast<LPARAM>(&answered));
    ChangeDpi(144);
    RECT outer = {};
    GetWindowRect(window_, &outer);
    EXPECT_EQ(std::make_pair(answered.cx, answered.cy), std::make_pair(SizeOf(outer).cx, SizeOf(outer).cy)) << "the size it answered beforehand";
    for (const auto& [id, seen] : ControlsAndFontHeights()) {
        const RECT wanted = Times(at96.at(id).first, 1.5);
        EXPECT_TRUE(Inside(seen.first, wanted) && Inside(wanted, seen.first)) << "control " << id;
        EXPECT_NEAR(at96.at(id).second * 1.5, seen.second, 2.0) << "font of control " << id;
    }
    ChangeDpi(96);
    EXPECT_TRUE(PumpUntil([&] { return before == ClientPixels(window_); }, 3000)) << "every pixel as before";
    EXPECT_EQ((std::vector<std::string>{"Window scale: 1.50 (144 dpi, work area 2560x1600)", "Window scale: 1.00 (96 dpi, work area 2560x1600)"}), LogLines());
}

TEST_F(DpiChange, AnUnusableDpiCountsAs96AndIsLogged) {
    for (UINT dpi : {0u, 72u, 481u, 9600u}) {
        ChangeDpi(144), ChangeDpi(dpi);
        EXPECT_EQ(1.0, LayoutScale()) << dpi;
        EXPECT_EQ("Display DPI " + std::to_string(dpi) + " is not usable; 96 dpi assumed", LogLines().end()[-2]);
    }
}

TEST_F(DpiChange, DuringAnUpdateResizesThePopupAndLosesNothing) {
    StartUpdate();
    Post(MSG_STATUS_LINE, 3, L"●  Передача прошивки: 37 из 74");
    RECT popupPlace = {};
    ExpectDialog([&](HWND popup) { ChangeDpi(144), GetWindowRect(popup, &popupPlace), Press(popup, IDC_DLG_CONFIRM); });
    SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
    EXPECT_EQ(std::make_pair(1020L, 683L), std::make_pair(SizeOf(popupPlace).cx, SizeOf(popupPlace).cy)) << "680 x 455 at 1.5";
    EXPECT_EQ(std::make_pair(3, true), std::make_pair(App().wizardStep, App().operationBusy.load()));
    EXPECT_EQ(L"●  Передача прошивки: 37 из 74", Text(IDC_STATUS3));
    EXPECT_EQ((Workers{InstrumentMonitor, UpdateWorker}), launched);
}

} // namespace
