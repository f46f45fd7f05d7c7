// The four pages as the user sees them: which controls each shows, where they stand against
// each other and the cards, the pixels that carry meaning; and the window on smaller screens.

#include "tests/wine/window_harness.h"

namespace {

constexpr COLORREF kBlue = RGB(32, 168, 223), kGreen = RGB(47, 177, 99), kWhite = RGB(255, 255, 255), kFileCard = RGB(248, 252, 254);

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}
PixelCheck Some(const char* what, RECT area, COLORREF colour) { return {what, area, colour, 16, Cover::Some}; }
PixelCheck No(const char* what, RECT area, COLORREF colour, int tolerance = 40) { return {what, area, colour, tolerance, Cover::None}; }

using Pages = WindowTest;

struct Page { int step; const char* shot; const wchar_t* heading; std::vector<int> shown; std::vector<PixelCheck> pixels; };

class EachPage : public Pages, public ::testing::WithParamInterface<Page> {};

TEST_P(EachPage, ShowsItsControlsInTheirCardsAndItsMeaningInColour) {
    const Page& page = GetParam();
    Open();
    if (page.step > 1) Reach(page.step);
    EXPECT_EQ(page.heading, Text(IDC_HEADING));
    LOGFONTW fonts[2] = {};
    for (int i : {0, 1}) GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(IDC_HEADING + i), WM_GETFONT, 0, 0)), sizeof(fonts[i]), &fonts[i]);
    EXPECT_EQ(FW_BOLD, fonts[0].lfWeight) << "the page's title";
    EXPECT_EQ(FW_NORMAL, fonts[1].lfWeight) << "its description";
    EXPECT_EQ(std::vector<std::string>{}, LogLines()) << "the design's size and faces: nothing to report";
    ASSERT_EQ(page.shown, Shown());
    // One column: the right card's controls share the heading's axis, the file row the lines' edges.
    const RECT heading = BoxOf(IDC_HEADING), line = BoxOf(IDC_STATUS1);
    for (int id : page.shown) {
        const RECT box = BoxOf(id);
        for (int other : page.shown) {
            RECT overlap, otherBox = BoxOf(other);
            EXPECT_TRUE(other == id || !IntersectRect(&overlap, &box, &otherBox)) << id << " overlaps " << other;
        }
        const bool step = id >= IDC_STEP1 && id <= IDC_STEP3, fileRow = id == IDC_FILE_BOX || id == IDC_CHOOSE_FILE;
        EXPECT_TRUE(!fileRow || box.left == line.left || box.right == line.right) << id;
        EXPECT_TRUE(fileRow || step || id == IDC_TITLE || heading.left + heading.right == box.left + box.right) << id;
    }
    // The five status lines, shown or not, are rows of one height at one pitch.
    for (int id = IDC_STATUS2; id <= IDC_STATUS5; ++id) {
        EXPECT_EQ(line.bottom - line.top, BoxOf(id).bottom - BoxOf(id).top) << id;
        EXPECT_EQ(BoxOf(IDC_STATUS2).top - line.top, BoxOf(id).top - BoxOf(id - 1).top) << id;
    }
    // The design has no black: a default pen or text colour would show as one. The system draws
    // the check box, its focus frame included.
    const RECT risk = IsWindowVisible(Item(IDC_ACCEPT_RISK)) ? BoxOf(IDC_ACCEPT_RISK) : RECT{0, 930, 0, 930};
    std::vector<PixelCheck> pixels = page.pixels;
    pixels.insert(pixels.end(), {At("the right card", 1370, 900, kWhite, 1), No("no black above the check box", {715, 210, 1390, risk.top}, 0, 12),
                                 No("no black below it", {715, risk.bottom, 1390, 930}, 0, 12)});
    ExpectShows(window_, pixels, page.shot);
}

std::vector<int> With(std::vector<int> ids) { // the title, step labels, heading and description too
    ids.insert(ids.end(), {IDC_TITLE, IDC_STEP1, IDC_STEP2, IDC_STEP3, IDC_HEADING, IDC_DESCRIPTION});
    std::sort(ids.begin(), ids.end());
    return ids;
}

INSTANTIATE_TEST_SUITE_P(
    Wizard, EachPage,
    ::testing::Values(
        Page{1, "page1_connect", L"Подключите дата-станцию", With({IDC_STATUS1, IDC_STATUS2, IDC_NOTE}),
             {At("logo", 50, 59, RGB(44, 165, 216), 30), At("instrument picture", 375, 560, kBlue, 30),
              At("step 1 current, blue", 190, 144, kBlue), At("step 2 to come, white", 620, 144, kWhite, 2),
              Some("step 1 label in blue", {220, 139, 440, 177}, kBlue), No("step 2 label not blue", {650, 139, 860, 177}, kBlue)}},
        Page{2, "page2_check_start_enabled", L"Проверка перед обновлением",
             With({IDC_STATUS1, IDC_STATUS2, IDC_STATUS3, IDC_STATUS4, IDC_FILE_BOX, IDC_CHOOSE_FILE, IDC_ACCEPT_RISK,
                   IDC_START, IDC_CANCEL, IDC_NOTE}),
             {At("step 1 done, green", 190, 144, kGreen), At("step 2 current, blue", 620, 144, kBlue),
              No("step 1 label no longer blue", {220, 139, 440, 177}, kBlue),
              Some("step 1 label in dark text", {220, 139, 440, 177}, RGB(20, 31, 43)), At("file card", 785, 590, kFileCard, 1),
              At("file box's blue block", 821, 595, kBlue), At("enabled Start, blue", 810, 718, kBlue),
              Some("Start's caption in white", {820, 700, 1300, 736}, kWhite),
              // the rounded buttons' corners show what lies behind them
              At("Start's corner, the card", 800, 695, kWhite, 1),
              At("choose-file's corner, the file card", 1110, 570, kFileCard, 1),
              At("cancel's corner, the card", 1319, 800, kWhite, 1),
              Some("cancel's red outline", {1059, 754, 1062, 757}, RGB(221, 92, 79))}},
        Page{3, "page3_update", L"Обновление выполняется",
             With({IDC_STATUS1, IDC_STATUS2, IDC_STATUS3, IDC_STATUS4, IDC_STATUS5, IDC_PROGRESS, IDC_CANCEL, IDC_NOTE}),
             {At("step 3 current, blue", 1050, 144, kBlue), At("progress, done half", 1000, 406, kBlue, 2),
              At("progress, half to go", 1120, 406, RGB(174, 186, 196), 2),
              At("line in progress, its disc down to its lowest row", 816, 566, kBlue), At("line done, its disc", 816, 465, kGreen)}},
        Page{4, "page4_done", L"Обновление завершено",
             With({IDC_STATUS1, IDC_STATUS2, IDC_STATUS3, IDC_STATUS4, IDC_STATUS5, IDC_NEXT_INSTRUMENT, IDC_NOTE}),
             {At("step 3 done, green", 1050, 144, kGreen), At("the note, green", 785, 790, RGB(239, 252, 245), 1),
              At("next instrument, blue", 810, 883, kBlue), Some("its caption in white", {820, 865, 1300, 901}, kWhite)}}),
    [](const ::testing::TestParamInfo<Page>& page) { return std::string(page.param.shot); });

RECT fakeWorkArea = {};
const WorkAreaHooks kFakeWorkArea{.workArea = [](const RECT&, RECT* area) { return *area = fakeWorkArea, true; }};
// fits: else the smallest scale, at the work area's top-left corner; shot: the check page's screenshot, or none.
struct Screen { RECT work; const char* logged; bool fits; const char* shot; };
class OnScreen : public Pages, public ::testing::WithParamInterface<Screen> {};

TEST_P(OnScreen, TheWindowShrinksByOneScaleToTheWorkAreaAndEveryPageToTheClientArea) {
    const Screen& screen = GetParam();
    fakeWorkArea = screen.work;
    SetWorkAreaHooks(&kFakeWorkArea);
    Open();
    RECT outer = {}, client = {};
    GetWindowRect(window_, &outer);
    GetClientRect(window_, &client);
    EXPECT_EQ(std::vector<std::string>{screen.logged}, LogLines());
    EXPECT_EQ(screen.fits, Inside(outer, screen.work));
    if (screen.fits) {
        EXPECT_LE(std::abs(outer.left + outer.right - screen.work.left - screen.work.right), 1) << "centred across";
        EXPECT_LE(std::abs(outer.top + outer.bottom - screen.work.top - screen.work.bottom), 1) << "centred down";
    } else {
        EXPECT_EQ(screen.work.left, outer.left);
        EXPECT_EQ(screen.work.top, outer.top);
    }
    const auto expectInside = [&](const char* page) {
        for (int id : Shown()) EXPECT_TRUE(Inside(BoxOf(id), client)) << page << ", control " << id;
        EXPECT_EQ(std::vector<std::string>{}, TextsThatDoNotFit(window_)) << page;
    };
    expectInside("connect");
    Reach(2);
    expectInside("check");
    if (screen.shot != nullptr) ExpectShows(window_, {At("enabled Start, blue", Scaled(810), Scaled(718), kBlue)}, screen.shot);
    Click(IDC_START);
    expectInside("update");
    Post(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.3.");
    ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 4; }));
    expectInside("done");
}

INSTANTIATE_TEST_SUITE_P(
    WorkAreas, OnScreen,
    ::testing::Values(Screen{{0, 0, 1366, 768}, "Window scale: 0.73 (96 dpi, work area 1366x768)", true, "page2_check_1366x768"},
                      Screen{{100, 50, 1380, 770}, "Window scale: 0.68 (96 dpi, work area 1280x720)", true, nullptr},
                      Screen{{20, 10, 620, 410}, "Window scale: 0.50 (96 dpi, work area 600x400); the smallest scale, placed at "
                                                 "the work area's top-left corner", false, nullptr}));

TEST_F(Pages, WithoutMonitorInformationTheWindowKeepsTheDesignSize) {
    static const WorkAreaHooks unknown{.workArea = [](const RECT&, RECT*) { return false; }};
    SetWorkAreaHooks(&unknown);
    Open();
    RECT outer = {};
    GetWindowRect(window_, &outer);
    EXPECT_EQ(std::make_pair(1440L, 1040L), std::make_pair(outer.right - outer.left, outer.bottom - outer.top)) << "unscaled";
}

} // namespace
