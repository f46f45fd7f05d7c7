// The four pages as the user sees them: controls, texts, places, the pixels that carry meaning; the window on
// smaller screens, at the display's DPI, through a change of DPI and without monitor information.

#include <cmath>
#include <cstdlib>
#include <map>

#include "tests/wine/window_harness.h"

namespace {

constexpr COLORREF kBlue = RGB(32, 168, 223), kGreen = RGB(47, 177, 99), kWhite = RGB(255, 255, 255), kFileCard = RGB(248, 252, 254);

// A place in or beside a control's box.
enum class Where { Box, Middle, NearLeft, TopLeft, TopEdge, FirstQuarter, LastQuarter, DiscBottom };
RECT PlaceIn(const RECT& b, Where where) {
    const int w = b.right - b.left, h = b.bottom - b.top, midX = (b.left + b.right) / 2, midY = (b.top + b.bottom) / 2;
    const auto dot = [](int x, int y) { return RECT{x, y, x + 1, y + 1}; };
    switch (where) {
    case Where::Box: return b;
    case Where::Middle: return {b.left + h / 2, b.top + h / 8, b.right - h / 2, b.bottom - h / 8}; // clear of rounded corners
    case Where::NearLeft: return dot(NearLeftEdge(b).x, midY);
    case Where::TopLeft: return dot(b.left, b.top);
    case Where::TopEdge: return {midX, b.top, midX + 1, b.top + 2};
    case Where::FirstQuarter: return dot(b.left + w / 4, midY);
    case Where::LastQuarter: return dot(b.right - w / 4, midY);
    case Where::DiscBottom: return dot(b.left + 16, b.bottom - 7); // a status line's disc, its lowest row
    }
    return b;
}
struct Spot { const char* what; int id; Where where; COLORREF colour; int tolerance; Cover cover = Cover::All; };

using Pages = WindowTest;

// lines: the status lines' texts from the first on; pixels: at fixed places; spots: at the controls'.
struct Page { int step; const char* shot; const wchar_t* heading; std::vector<std::wstring> lines;
              std::vector<int> shown; std::vector<PixelCheck> pixels; std::vector<Spot> spots; };

class EachPage : public Pages, public ::testing::WithParamInterface<Page> {};

// Its controls and no other, its texts; one column (the right card's controls on the heading's axis, the file
// row on the lines' edges, the five lines at one pitch); the file card on the check page only; no black, which
// a default pen or text colour would show (the system draws the check box, its focus frame included).
TEST_P(EachPage, ShowsItsControlsAndTextsInOneColumnAndItsMeaningInColour) {
    const Page& page = GetParam();
    Open();
    if (page.step > 1) Reach(page.step);
    std::vector<int> shown = page.shown; // and on every page the title, the step labels, the heading, the description
    shown.insert(shown.end(), {IDC_TITLE, IDC_STEP1, IDC_STEP2, IDC_STEP3, IDC_HEADING, IDC_DESCRIPTION});
    std::sort(shown.begin(), shown.end());
    EXPECT_EQ(shown, Shown());
    EXPECT_EQ(FW_BOLD, FontOf(IDC_HEADING).lfWeight);
    EXPECT_EQ(FW_NORMAL, FontOf(IDC_DESCRIPTION).lfWeight);
    EXPECT_EQ(page.heading, Text(IDC_HEADING));
    EXPECT_EQ(std::vector<std::string>{}, LogLines()) << "the design's size and faces: nothing to report";
    EXPECT_EQ((std::vector<std::wstring>{L"1. Подключение", L"2. Проверка", L"3. Обновление"}),
              (std::vector<std::wstring>{Text(IDC_STEP1), Text(IDC_STEP2), Text(IDC_STEP3)}));
    for (size_t i = 0; i < page.lines.size(); ++i) EXPECT_EQ(page.lines[i], Text(IDC_STATUS1 + static_cast<int>(i)));
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_));
    const RECT heading = BoxOf(IDC_HEADING), line = BoxOf(IDC_STATUS1);
    RECT column = heading;
    for (int id : shown) {
        const RECT box = BoxOf(id);
        const bool step = id >= IDC_STEP1 && id <= IDC_STEP3, fileRow = id == IDC_FILE_BOX || id == IDC_CHOOSE_FILE;
        EXPECT_TRUE(!fileRow || box.left == line.left || box.right == line.right) << id;
        EXPECT_TRUE(fileRow || step || id == IDC_TITLE || heading.left + heading.right == box.left + box.right) << id;
        if (id >= IDC_HEADING) UnionRect(&column, &column, &box);
    }
    for (int id = IDC_STATUS2; id <= IDC_STATUS5; ++id) {
        EXPECT_EQ(line.bottom - line.top, BoxOf(id).bottom - BoxOf(id).top) << id;
        EXPECT_EQ(BoxOf(IDC_STATUS2).top - line.top, BoxOf(id).top - BoxOf(id - 1).top) << id;
    }
    std::vector<PixelCheck> pixels = page.pixels;
    for (const Spot& spot : page.spots) pixels.push_back({spot.what, PlaceIn(BoxOf(spot.id), spot.where), spot.colour, spot.tolerance, spot.cover});
    const RECT risk = IsWindowVisible(Item(IDC_ACCEPT_RISK)) ? BoxOf(IDC_ACCEPT_RISK) : RECT{0, column.bottom, 0, column.bottom};
    const RECT file = BoxOf(IDC_FILE_BOX); // where it stays when hidden
    pixels.insert(pixels.end(), {At("the right card", 1370, 900, kWhite, 1),
                                 {"the file card, or none", {file.left - 10, file.top, file.left, file.bottom},
                                  page.step == 2 ? kFileCard : kWhite, 1, Cover::All},
                                 {"no black above the check box", {column.left, column.top, column.right, risk.top},
                                  0, 12, Cover::None},
                                 {"no black below it", {column.left, risk.bottom, column.right, column.bottom}, 0, 12, Cover::None}});
    ExpectShows(window_, pixels, page.shot);
}

INSTANTIATE_TEST_SUITE_P(
    Wizard, EachPage,
    ::testing::Values(
        Page{1, "page1_connect", L"Подключите дата-станцию", {L"○  Поиск дата-станции…", L"○  Ожидание прибора"},
             {IDC_STATUS1, IDC_STATUS2, IDC_NOTE},
             {At("logo", 50, 59, RGB(44, 165, 216), 30), At("instrument picture", 375, 560, kBlue, 30),
              At("step 1 current, blue", 190, 144, kBlue), At("step 2 to come, white", 620, 144, kWhite, 2)},
             {{"step 1 label in blue", IDC_STEP1, Where::Box, kBlue, 16, Cover::Some},
              {"step 2 label not blue", IDC_STEP2, Where::Box, kBlue, 40, Cover::None}}},
        Page{2, "page2_check_start_enabled", L"Проверка перед обновлением", {},
             {IDC_STATUS1, IDC_STATUS2, IDC_STATUS3, IDC_STATUS4, IDC_FILE_BOX, IDC_CHOOSE_FILE, IDC_ACCEPT_RISK,
              IDC_START, IDC_CANCEL, IDC_NOTE},
             {At("step 1 done, green", 190, 144, kGreen), At("step 2 current, blue", 620, 144, kBlue)},
             {{"step 1 label no longer blue", IDC_STEP1, Where::Box, kBlue, 40, Cover::None},
              {"step 1 label in dark text", IDC_STEP1, Where::Box, RGB(20, 31, 43), 16, Cover::Some},
              {"file box's blue block", IDC_FILE_BOX, Where::NearLeft, kBlue, 4},
              {"enabled Start, blue", IDC_START, Where::NearLeft, kBlue, 4},
              {"Start's caption in white", IDC_START, Where::Middle, kWhite, 16, Cover::Some},
              // the rounded buttons' corners show what lies behind them
              {"Start's corner, the card", IDC_START, Where::TopLeft, kWhite, 1},
              {"choose-file's corner, the file card", IDC_CHOOSE_FILE, Where::TopLeft, kFileCard, 1},
              {"cancel's corner, the card", IDC_CANCEL, Where::TopLeft, kWhite, 1},
              {"cancel's red outline", IDC_CANCEL, Where::TopEdge, RGB(221, 92, 79), 16, Cover::Some}}},
        Page{3, "page3_update", L"Обновление выполняется", // lines 1 and 3 as the worker posted them
             {L"✓  Подключение к прибору", L"○  Переход в режим обновления", L"●  Передача прошивки: 37 из 74", L"○  Проверка и перезапуск", L""},
             {IDC_STATUS1, IDC_STATUS2, IDC_STATUS3, IDC_STATUS4, IDC_STATUS5, IDC_PROGRESS, IDC_CANCEL, IDC_NOTE},
             {At("step 3 current, blue", 1050, 144, kBlue)},
             {{"progress, done half", IDC_PROGRESS, Where::FirstQuarter, kBlue, 2},
              {"progress, half to go", IDC_PROGRESS, Where::LastQuarter, RGB(174, 186, 196), 2},
              {"line in progress, its disc down to its lowest row", IDC_STATUS3, Where::DiscBottom, kBlue, 4},
              {"line done, its disc", IDC_STATUS1, Where::DiscBottom, kGreen, 4}}},
        Page{4, "page4_done", L"Обновление завершено", {},
             {IDC_STATUS1, IDC_STATUS2, IDC_STATUS3, IDC_STATUS4, IDC_STATUS5, IDC_NEXT_INSTRUMENT, IDC_NOTE},
             {At("step 3 done, green", 1050, 144, kGreen)},
             {{"the note, green", IDC_NOTE, Where::NearLeft, RGB(239, 252, 245), 1},
              {"next instrument, blue", IDC_NEXT_INSTRUMENT, Where::NearLeft, kBlue, 4},
              {"its caption in white", IDC_NEXT_INSTRUMENT, Where::Middle, kWhite, 16, Cover::Some}}}),
    [](const ::testing::TestParamInfo<Page>& page) { return std::string(page.param.shot); });

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
// smallest scale; logged: the scale's line (the display's depends on its DPI).
struct Screen { const char* name; RECT work; bool fits; const char* logged; };
class OnScreen : public WindowTest, public ::testing::WithParamInterface<Screen> {};

// One scale for the window, its controls, fonts and the pop-up: the DPI's, or the largest that fits the work
// area but not below the smallest; centred, or where it cannot fit, at the corner; every page and the pop-up
// in their layout, the check page in its colours.
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
    EXPECT_NEAR(std::max(0.5, std::min(dpi / 96.0, fit)), s, 0.005);
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
    const std::string face = std::getenv("ZARVEL_UI_FACE") != nullptr ? std::getenv("ZARVEL_UI_FACE") : "Open Sans"; // as the Wine set-up names it
    const RECT line1 = BoxOf(IDC_STATUS1), start = BoxOf(IDC_START);
    ExpectShows(window_, {At("step 2, blue", std::lround(620 * s), std::lround(144 * s), kBlue, 30),
                          At("line 1's circle, green", line1.left + std::lround(5 * s), (line1.top + line1.bottom) / 2,
                             kGreen, 30),
                          At("Start, blue", NearLeftEdge(start), kBlue, 30),
                          At("the right card", std::lround(1370 * s), std::lround(900 * s), kWhite, 30)},
                "page2_check_" + std::string(screen.name) + "_" + std::to_string(dpi) + "dpi_" + face);
    EXPECT_EQ(s > 1.0, Ui().logoLarge.status == Gdiplus::Ok) << "the twice-size pictures decoded where drawn, only there";
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
                      Screen{"1366x768", {0, 0, 1366, 768}, true, "Window scale: 0.73 (96 dpi, work area 1366x768)"},
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
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const std::vector<uint32_t> before = ClientPixels(window_);
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
    EXPECT_TRUE(PumpUntil([&] { return before == ClientPixels(window_); }, 3000));
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
