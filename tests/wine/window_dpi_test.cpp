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
    void SetUp() override {
        WindowTest::SetUp();
        Open();
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &work_, 0);
    }
    RECT work_ = {};
};

TEST_F(AtTheDisplaysDpi, TheWindowTakesTheDpisScaleOrTheLargestThatFitsTheWorkArea) {
    const int dpi = static_cast<int>(SystemFunction<UINT(WINAPI*)(HWND)>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")(window_));
    RECT outer = {}, client = {};
    GetWindowRect(window_, &outer);
    GetClientRect(window_, &client);
    const SIZE frame96 = FrameAt(window_, 96), frame = FrameAt(window_, dpi), design = {1440 - frame96.cx, 1040 - frame96.cy};
    const double s = LayoutScale(), fit = std::min(double(SizeOf(work_).cx - frame.cx) / design.cx, double(SizeOf(work_).cy - frame.cy) / design.cy);
    EXPECT_NEAR(std::min(dpi / 96.0, fit), s, 0.005);
    EXPECT_NEAR(design.cx * s, client.right, 1.0);
    EXPECT_NEAR(design.cy * s, client.bottom, 1.0);
    EXPECT_TRUE(Inside(outer, work_, 0));
}

TEST_F(AtTheDisplaysDpi, EveryPageAndThePopupKeepTheirLayout) {
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_)) << "connect";
    ReadyToStart();
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_)) << "check";
    Click(IDC_START);
    ExpectDialog([&](HWND popup) {
        RECT place = {};
        GetWindowRect(popup, &place);
        EXPECT_TRUE(Inside(place, work_, 0));
        EXPECT_EQ(std::vector<std::string>{}, TextsThatDoNotFit(popup)) << "pop-up";
        Press(popup, IDC_DLG_CONFIRM);
    });
    SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_)) << "update";
    Post(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.3.");
    ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 4; }));
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_)) << "done";
}

TEST_F(AtTheDisplaysDpi, TheCheckPageShowsItsMeaningInColour) {
    ReadyToStart();
    const std::string face = std::getenv("ZARVEL_UI_FACE") != nullptr ? std::getenv("ZARVEL_UI_FACE") : "Open Sans"; // as the Wine set-up names it
    const double s = LayoutScale();
    const RECT line1 = BoxOf(IDC_STATUS1), start = BoxOf(IDC_START);
    ExpectShows(window_, {At("step 2, blue", std::lround(620 * s), std::lround(144 * s), RGB(32, 168, 223), 30),
                          At("line 1's circle, green", line1.left + std::lround(5 * s), (line1.top + line1.bottom) / 2, RGB(47, 177, 99), 30),
                          At("Start, blue", NearLeftEdge(start), RGB(32, 168, 223), 30),
                          At("the right card", std::lround(1370 * s), std::lround(900 * s), RGB(255, 255, 255), 30)},
                "page2_check_" + std::to_string(GetDeviceCaps(WindowDc(nullptr).Get(), LOGPIXELSX)) + "dpi_" + face);
    LOGFONTW row = {};
    GetObjectW(ControlFont(Item(IDC_STATUS3)), sizeof(row), &row);
    EXPECT_TRUE(face != "DejaVu Sans" || row.lfHeight < static_cast<LONG>(30 * s)) << "a wide face: the lowest voltage's line made smaller";
}

class DpiChange : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        static const WorkAreaHooks large{.workArea = [](const RECT&, RECT* area) {
            *area = {0, 0, 2560, 1600};
            return true;
        }};
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
        for (int id : Shown()) {
            LOGFONTW font = {};
            GetObjectW(ControlFont(Item(id)), sizeof(font), &font);
            seen[id] = {BoxOf(id), font.lfHeight};
        }
        return seen;
    }
};

TEST_F(DpiChange, ScalesEveryControlWithItsFontToTheSizeItAnswered) {
    ReadyToStart();
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
    EXPECT_EQ(std::vector<std::string>{"Window scale: 1.50 (144 dpi, work area 2560x1600)"}, LogLines());
}

TEST_F(DpiChange, BackAtTheFirstDpiEveryPixelIsAsBefore) {
    ReadyToStart();
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const std::vector<uint32_t> before = ClientPixels(window_);
    ChangeDpi(144);
    ChangeDpi(96);
    EXPECT_TRUE(PumpUntil([&] { return before == ClientPixels(window_); }, 3000));
    EXPECT_EQ("Window scale: 1.00 (96 dpi, work area 2560x1600)", LogLines().back());
}

TEST_F(DpiChange, AnUnusableDpiCountsAs96WithALogLine) {
    for (UINT dpi : {0u, 72u, 481u, 9600u}) {
        ChangeDpi(144);
        ChangeDpi(dpi);
        EXPECT_EQ(1.0, LayoutScale()) << dpi;
        EXPECT_EQ("Display DPI " + std::to_string(dpi) + " is not usable; 96 dpi assumed", LogLines().end()[-2]);
    }
}

// The open pop-up takes the new scale; the update, its page and its lines go on as they were.
TEST_F(DpiChange, DuringAnUpdateOnlyRescales) {
    StartUpdate();
    Post(MSG_STATUS_LINE, 3, L"●  Передача прошивки: 37 из 74");
    SIZE before = {}, after = {};
    ExpectDialog([&](HWND popup) {
        RECT place = {};
        GetWindowRect(popup, &place);
        before = SizeOf(place);
        ChangeDpi(144);
        GetWindowRect(popup, &place);
        after = SizeOf(place);
        Press(popup, IDC_DLG_CONFIRM);
    });
    SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
    EXPECT_NEAR(before.cx * 1.5, after.cx, 1.0);
    EXPECT_NEAR(before.cy * 1.5, after.cy, 1.0);
    EXPECT_EQ(std::make_pair(3, true), std::make_pair(App().wizardStep, App().operationBusy.load()));
    EXPECT_EQ(L"●  Передача прошивки: 37 из 74", Text(IDC_STATUS3));
    EXPECT_EQ((Workers{InstrumentMonitor, UpdateWorker}), launched);
}

} // namespace
