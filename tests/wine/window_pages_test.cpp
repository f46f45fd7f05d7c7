// The pages as the user sees them: controls, texts and every pixel against approved pictures; the window on
// smaller screens, at the display's DPI, through a change of DPI and without monitor information.

#include <cmath>
#include <cstdlib>
#include <map>

#include "tests/wine/golden.h"

namespace {

using Pages = WindowTest;

// lines: the status lines' texts from the first on; volts: a battery read again on the check page; line3: a
// worker's text over the one there.
struct Page { int step; const char* golden; const wchar_t* heading; std::vector<std::wstring> lines = {}; double volts = 0; const wchar_t* line3 = nullptr; };

class EachPage : public Pages, public ::testing::WithParamInterface<Page> {};

// Its heading and lines as screen readers read them, every pixel as approved.
TEST_P(EachPage, ShowsItsTextsAndEveryPixelAsApproved) {
    const Page& page = GetParam();
    Open();
    if (page.step > 1) Reach(page.step);
    if (page.volts > 0) ReachCheckPage(page.volts);
    if (page.line3 != nullptr) Post(MSG_STATUS_LINE, 3, page.line3);
    ASSERT_TRUE(PumpUntil([&] { return page.line3 == nullptr || Text(IDC_STATUS3) == page.line3; }));
    EXPECT_EQ(page.heading, Text(IDC_HEADING));
    EXPECT_EQ(std::vector<std::string>{}, LogLines()) << "the design's size and faces: nothing to report";
    for (size_t i = 0; i < page.lines.size(); ++i) EXPECT_EQ(page.lines[i], Text(IDC_STATUS1 + static_cast<int>(i)));
    ExpectGolden(window_, page.golden);
}

INSTANTIATE_TEST_SUITE_P(
    Wizard, EachPage,
    ::testing::Values(
        Page{1, "connect-searching", L"Подключите дата-станцию", {L"○  Поиск дата-станции…", L"○  Ожидание прибора"}},
        Page{2, "check-file-ticked", L"Проверка перед обновлением"},
        Page{2, "check-low-battery", L"Проверка перед обновлением", {}, 3.85},
        Page{3, "update-half", L"Обновление выполняется", // lines 1 and 3 as the worker posted them
             {L"✓  Подключение к прибору", L"○  Переход в режим обновления", L"●  Передача прошивки: 37 из 74", L"○  Проверка и перезапуск", L""}},
        Page{3, "update-shorter-line", L"Обновление выполняется", {}, 0, L"✓  Прошивка передана"},
        Page{4, "done", L"Обновление завершено"}),
    [](const ::testing::TestParamInfo<Page>& page) {
        std::string name = page.param.golden;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

TEST_F(Pages, WithoutMonitorInformationTheWindowKeepsTheDesignSize) {
    static const WorkAreaHooks unknown{.workArea = [](const RECT&, RECT*) { return false; }};
    SetWorkAreaHooks(&unknown);
    Open();
    const SIZE outer = SizeOf(RectOf(window_));
    EXPECT_EQ(std::make_pair(1440L, 1040L), std::make_pair(outer.cx, outer.cy)) << "unscaled";
}

RECT Times(const RECT& r, double s) { return {std::lround(r.left * s), std::lround(r.top * s), std::lround(r.right * s), std::lround(r.bottom * s)}; }
SIZE FrameAt(HWND window, int dpi) { // as the system draws it around the main window
    RECT frame = {0, 0, 0, 0};
    SystemFunction<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")(
        &frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE, 0, static_cast<UINT>(dpi));
    return SizeOf(frame);
}

// work: a screen of that work area at 96 dpi, or (empty) the display's own; fits: else too small even for the
// smallest scale; logged: the scale's line (the display's depends on its DPI); golden: the check page's picture.
struct Screen { const char* name; RECT work; bool fits; const char* logged; const char* golden = nullptr; };
class OnScreen : public WindowTest, public ::testing::WithParamInterface<Screen> {};

// One scale for the window, its controls, fonts and the pop-up: the DPI's, or the largest that fits the work area
// (on our screens the logged one); centred, or where it cannot fit, at the corner; every page and the pop-up in their layout.
TEST_P(OnScreen, TheWindowTakesTheLargestScaleThatFitsWithEveryPageInItsLayout) {
    const Screen& screen = GetParam();
    RECT work = fakeWorkArea = screen.work;
    if (IsRectEmpty(&work)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    else SetWorkAreaHooks(&kFakeWorkArea);
    Open();
    const int dpi = static_cast<int>(SystemFunction<UINT(WINAPI*)(HWND)>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")(window_));
    const SIZE outer = SizeOf(RectOf(window_)), frame96 = FrameAt(window_, 96), frame = FrameAt(window_, dpi);
    const SIZE design = {1440 - frame96.cx, 1040 - frame96.cy};
    const RECT client = RectOf(window_, GetClientRect);
    const double s = LayoutScale(), fit = std::min(double(SizeOf(work).cx - frame.cx) / design.cx, double(SizeOf(work).cy - frame.cy) / design.cy);
    EXPECT_NEAR(screen.logged == nullptr ? std::min(dpi / 96.0, fit) : s, s, 0.005) << "on the display its scale, or the largest that fits";
    EXPECT_NEAR(design.cx * s, client.right, 1.0);
    EXPECT_NEAR(design.cy * s, client.bottom, 1.0);
    EXPECT_EQ(screen.fits, Inside(RectOf(window_), work));
    if (screen.logged != nullptr) { // a screen of ours; on the display at the design size the system places it
        const double placedAt = screen.fits ? 0.5 : 0.0; // of the room left beside the window
        EXPECT_EQ(std::vector<std::string>{screen.logged}, LogLines());
        EXPECT_NEAR(work.left + placedAt * (SizeOf(work).cx - outer.cx), RectOf(window_).left, 1.0) << "across";
        EXPECT_NEAR(work.top + placedAt * (SizeOf(work).cy - outer.cy), RectOf(window_).top, 1.0) << "down";
    }
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_)) << "connect";
    ReadyToStart();
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_)) << "check";
    if (screen.golden != nullptr) ExpectGolden(window_, screen.golden);
    EXPECT_EQ(s > 1.0, Ui().logoLarge.status == Gdiplus::Ok) << "the twice-size pictures decoded where drawn, only there";
    const std::string face = std::getenv("ZARVEL_UI_FACE") != nullptr ? std::getenv("ZARVEL_UI_FACE") : "Open Sans"; // as the Wine set-up names it
    EXPECT_TRUE(face != "DejaVu Sans" || FontOf(IDC_STATUS3).lfHeight < static_cast<LONG>(30 * s))
        << "a wide face: the lowest voltage's line made smaller";
    Click(IDC_START);
    ExpectDialog([&](HWND popup) {
        EXPECT_TRUE(Inside(RectOf(popup), work));
        EXPECT_EQ(std::vector<std::string>{}, TextsThatDoNotFit(popup)) << "pop-up";
        Press(popup, IDC_DLG_CONFIRM);
    });
    SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_)) << "update";
    Post(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.3.");
    ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 4; }));
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_)) << "done";
}

INSTANTIATE_TEST_SUITE_P(
    Screens, OnScreen,
    ::testing::Values(Screen{"display", {}, true, nullptr},
                      Screen{"1366x768", {0, 0, 1366, 768}, true, "Window scale: 0.73 (96 dpi, work area 1366x768)", "check-1366x768"},
                      Screen{"1280x720", {100, 50, 1380, 770}, true, "Window scale: 0.68 (96 dpi, work area 1280x720)"},
                      Screen{"600x400", {20, 10, 620, 410}, false,
                             "Window scale: 0.50 (96 dpi, work area 600x400); the smallest scale, placed at the "
                             "work area's top-left corner"}),
    [](const ::testing::TestParamInfo<Screen>& screen) { return std::string(screen.param.name); });

using DpiChange = WindowTest;

// To the size it answered beforehand; back at the first DPI, every pixel as before.
TEST_F(DpiChange, ScalesEveryControlWithItsFontAndBackAgain) {
    fakeWorkArea = {0, 0, 2560, 1600}; // as the log names it
    SetWorkAreaHooks(&kFakeWorkArea);
    Open();
    const auto controlsAndFontHeights = [&] {
        std::map<int, std::pair<RECT, LONG>> seen;
        for (int id : Shown()) seen[id] = {BoxOf(id), FontOf(id).lfHeight};
        return seen;
    };
    ReadyToStart();
    const auto at96 = controlsAndFontHeights();
    SIZE answered = {};
    SendMessageW(window_, kGetDpiScaledSizeMessage, 144, reinterpret_cast<LPARAM>(&answered));
    ChangeDpi(144);
    const SIZE outer = SizeOf(RectOf(window_));
    EXPECT_EQ(std::make_pair(answered.cx, answered.cy), std::make_pair(outer.cx, outer.cy));
    for (const auto& [id, seen] : controlsAndFontHeights()) {
        const RECT wanted = Times(at96.at(id).first, 1.5);
        EXPECT_TRUE(Inside(seen.first, wanted, 1) && Inside(wanted, seen.first, 1)) << "control " << id;
        EXPECT_NEAR(at96.at(id).second * 1.5, seen.second, 2.0) << "font of control " << id;
    }
    ChangeDpi(96);
    ExpectGolden(window_, "check-file-ticked");
    EXPECT_EQ((std::vector<std::string>{"Window scale: 1.50 (144 dpi, work area 2560x1600)",
                                        "Window scale: 1.00 (96 dpi, work area 2560x1600)"}),
              LogLines());
}

TEST_F(DpiChange, AnUnusableDpiCountsAs96WithALogLine) {
    Open();
    for (UINT dpi : {0u, 72u, 481u, 9600u}) {
        ChangeDpi(144);
        ChangeDpi(dpi);
        EXPECT_EQ(1.0, LayoutScale()) << dpi;
        EXPECT_EQ("Display DPI " + std::to_string(dpi) + " is not usable; 96 dpi assumed", LogLines().end()[-2]);
    }
}

} // namespace
