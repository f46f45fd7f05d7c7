// The window at the display's DPI: one scale for the window, its controls, fonts and the pop-up,
// every text inside its box; and a change of DPI while the window is open.

#include <cmath>
#include <map>

#include "tests/wine/window_harness.h"

namespace {

constexpr RECT kStepBar = {50, 112, 1390, 190}, kRightCard = {715, 210, 1390, 930}, kFileCard = {780, 555, 1340, 625};

RECT Times(const RECT& r, double s) {
    return {std::lround(r.left * s), std::lround(r.top * s), std::lround(r.right * s), std::lround(r.bottom * s)};
}
bool Inside(const RECT& inner, const RECT& outer, int slack = 1) {
    return inner.left >= outer.left - slack && inner.top >= outer.top - slack && inner.right <= outer.right + slack &&
           inner.bottom <= outer.bottom + slack;
}
SIZE SizeOf(const RECT& r) { return {r.right - r.left, r.bottom - r.top}; }

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return dpi;
}

// The frame the system draws around the main window at dpi.
SIZE FrameAt(HWND window, int dpi) {
    RECT frame = {0, 0, 0, 0};
    using Adjust = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    SystemFunction<Adjust>(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")(
        &frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE, 0, static_cast<UINT>(dpi));
    return SizeOf(frame);
}

std::wstring UiFace() {
    wchar_t face[64] = {};
    DWORD size = sizeof(face);
    RegGetValueW(HKEY_CURRENT_USER, L"Software\\Wine\\Fonts\\Replacements", L"Segoe UI Variable Text", RRF_RT_REG_SZ, nullptr, face, &size);
    return face;
}

class AtTheDisplaysDpi : public WindowTest {
protected:
    // Every visible control inside the client area and its card, every text inside its box.
    void ExpectPageFits(const char* page) {
        RECT client = {};
        GetClientRect(window_, &client);
        const double s = LayoutScale();
        for (int id : Shown()) {
            const bool step = id >= IDC_STEP1 && id <= IDC_STEP3, fileRow = id == IDC_FILE_BOX || id == IDC_CHOOSE_FILE;
            const RECT card = id == IDC_TITLE ? client : Times(step ? kStepBar : fileRow ? kFileCard : kRightCard, s);
            EXPECT_TRUE(Inside(BoxOf(id), client, 0) && Inside(BoxOf(id), card)) << page << ", control " << id;
        }
        EXPECT_EQ(std::vector<std::string>{}, TextsThatDoNotFit(window_)) << page;
    }
};

TEST_F(AtTheDisplaysDpi, EveryPageFitsTheWorkAreaAndEveryTextItsBox) {
    Open();
    const int dpi = ScreenDpi();
    RECT work = {}, outer = {}, client = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    GetWindowRect(window_, &outer);
    GetClientRect(window_, &client);
    const SIZE frame96 = FrameAt(window_, 96), frame = FrameAt(window_, dpi);
    const SIZE design = {1440 - frame96.cx, 1040 - frame96.cy};
    const double fit = std::min(double(SizeOf(work).cx - frame.cx) / design.cx, double(SizeOf(work).cy - frame.cy) / design.cy);
    const double s = LayoutScale();
    EXPECT_NEAR(std::min(dpi / 96.0, fit), s, 0.005) << "the DPI's scale, or the largest that fits";
    EXPECT_NEAR(design.cx * s, client.right, 1.0);
    EXPECT_NEAR(design.cy * s, client.bottom, 1.0);
    EXPECT_TRUE(Inside(outer, work, 0));
    ExpectPageFits("connect");
    ReadyToStart();
    ExpectPageFits("check");
    std::string face;
    for (wchar_t c : UiFace()) face += c == L' ' ? '_' : static_cast<char>(c);
    const auto at = [s](const char* what, int x, int y, COLORREF colour) { return At(what, std::lround(x * s), std::lround(y * s), colour, 30); };
    ExpectShows(window_, {at("step 2 current, blue", 620, 144, RGB(32, 168, 223)), at("line 1's circle, green", 805, 400, RGB(47, 177, 99)),
                          at("Start, blue", 810, 718, RGB(32, 168, 223)), at("the right card", 1370, 900, RGB(255, 255, 255))},
                "page2_check_" + std::to_string(dpi) + "dpi_" + face);
    if (UiFace() == L"DejaVu Sans") { // wider than the design's face: some line needs a smaller font
        LOGFONTW row = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(IDC_STATUS3), WM_GETFONT, 0, 0)), sizeof(row), &row);
        EXPECT_LT(row.lfHeight, static_cast<LONG>(30 * s)) << "the lowest voltage's line, made smaller to fit";
    }
    Click(IDC_START);
    ExpectDialog([&](HWND popup) {
        RECT place = {};
        GetWindowRect(popup, &place);
        EXPECT_NEAR(680 * s, SizeOf(place).cx, 1.0);
        EXPECT_NEAR(455 * s, SizeOf(place).cy, 1.0);
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
        SetWorkAreaSource([](const RECT&, RECT* area) { return *area = {0, 0, 2560, 1600}, true; });
        Open();
    }
    // As Windows sends it: the new DPI twice, the place it suggests.
    void ChangeDpi(UINT dpi) {
        RECT suggested = {};
        GetWindowRect(window_, &suggested);
        SendMessageW(window_, kDpiChangedMessage, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    }
    std::map<int, std::pair<RECT, LONG>> ControlsAndFontHeights() {
        std::map<int, std::pair<RECT, LONG>> seen;
        for (int id : Shown()) {
            LOGFONTW font = {};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(id), WM_GETFONT, 0, 0)), sizeof(font), &font);
            seen[id] = {BoxOf(id), font.lfHeight};
        }
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
    EXPECT_EQ(answered.cx, SizeOf(outer).cx) << "the size it answered beforehand";
    EXPECT_EQ(answered.cy, SizeOf(outer).cy);
    for (const auto& [id, seen] : ControlsAndFontHeights()) {
        const RECT design = at96.at(id).first, wanted = Times(design, 1.5);
        EXPECT_TRUE(Inside(seen.first, wanted, 1) && Inside(wanted, seen.first, 1)) << "control " << id;
        EXPECT_NEAR(at96.at(id).second * 1.5, seen.second, 2.0) << "font of control " << id;
    }
    ChangeDpi(96);
    EXPECT_TRUE(PumpUntil([&] { return before == ClientPixels(window_); }, 3000)) << "every pixel as before";
    EXPECT_EQ((std::vector<std::string>{"Window scale: 1.50 (144 dpi, work area 2560x1600)",
                                        "Window scale: 1.00 (96 dpi, work area 2560x1600)"}),
              LogLines());
}

TEST_F(DpiChange, AnUnusableDpiCountsAs96AndIsLogged) {
    for (UINT dpi : {0u, 72u, 481u, 9600u}) {
        ChangeDpi(144);
        ChangeDpi(dpi);
        EXPECT_EQ(1.0, LayoutScale()) << dpi;
        const std::vector<std::string> log = LogLines();
        EXPECT_EQ("Display DPI " + std::to_string(dpi) + " is not usable; 96 dpi assumed", log[log.size() - 2]);
    }
}

// Behind a message box and the reinstall pop-up, during an update: the layout follows, nothing else changes.
TEST_F(DpiChange, DuringAnUpdateLosesNothingAndResizesThePopup) {
    StartUpdate();
    Post(MSG_STATUS_LINE, 3, L"●  Передача прошивки: 37 из 74");
    SeenBox refused;
    ExpectDialog(AnswerBox(&refused, [&] { ChangeDpi(144); }));
    SendMessageW(window_, WM_CLOSE, 0, 0);
    ExpectDialog([&](HWND popup) {
        ChangeDpi(96);
        RECT place = {};
        GetWindowRect(popup, &place);
        EXPECT_EQ(680, SizeOf(place).cx);
        EXPECT_EQ(455, SizeOf(place).cy);
        ChangeDpi(144);
        GetWindowRect(popup, &place);
        EXPECT_EQ(1020, SizeOf(place).cx) << "the open pop-up follows";
        Press(popup, IDC_DLG_CONFIRM);
    });
    SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
    EXPECT_EQ(3, App().wizardStep);
    EXPECT_TRUE(App().operationBusy.load());
    EXPECT_EQ(L"●  Передача прошивки: 37 из 74", Text(IDC_STATUS3));
    EXPECT_EQ(kReinstallInstruction, Text(IDC_DESCRIPTION));
    EXPECT_EQ((Workers{InstrumentMonitor, UpdateWorker}), launched);
    EXPECT_TRUE(IsWindowEnabled(window_));
}

} // namespace
