// The four pages as the user sees them: which controls each shows, its texts, where they stand
// against each other, the pixels that carry meaning; and the window on smaller screens.

#include "tests/wine/window_harness.h"

namespace {

constexpr COLORREF kBlue = RGB(32, 168, 223), kGreen = RGB(47, 177, 99), kWhite = RGB(255, 255, 255), kFileCard = RGB(248, 252, 254);

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}

// A place in or beside a control's box.
enum class Where { Box, Middle, NearLeft, TopLeft, TopEdge, FirstQuarter, LastQuarter, DiscBottom, LeftOf };
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
    case Where::LeftOf: return {b.left - 10, b.top, b.left, b.bottom};
    }
    return b;
}
struct Spot { const char* what; int id; Where where; COLORREF colour; int tolerance; Cover cover = Cover::All; };

using Pages = WindowTest;

// lines: the status lines' texts from the first on; pixels: at fixed places; spots: at the controls'.
struct Page {
    int step;
    const char* shot;
    const wchar_t* heading;
    std::vector<std::wstring> lines;
    std::vector<int> shown;
    std::vector<PixelCheck> pixels;
    std::vector<Spot> spots;
};

class EachPage : public Pages, public ::testing::WithParamInterface<Page> {
protected:
    void SetUp() override {
        Pages::SetUp();
        Open();
        if (GetParam().step > 1) Reach(GetParam().step);
    }
};

// Its controls and no other; its title in bold over the description, the step labels, the
// lines as the page sets them.
TEST_P(EachPage, ShowsItsOwnControlsWithTheirTexts) {
    EXPECT_EQ(GetParam().shown, Shown());
    LOGFONTW fonts[2] = {};
    for (int i : {0, 1}) GetObjectW(ControlFont(Item(IDC_HEADING + i)), sizeof(fonts[i]), &fonts[i]);
    EXPECT_EQ(std::make_pair(LONG{FW_BOLD}, LONG{FW_NORMAL}), std::make_pair(fonts[0].lfWeight, fonts[1].lfWeight));
    EXPECT_EQ(GetParam().heading, Text(IDC_HEADING));
    EXPECT_EQ((std::vector<std::wstring>{L"1. Подключение", L"2. Проверка", L"3. Обновление"}),
              (std::vector<std::wstring>{Text(IDC_STEP1), Text(IDC_STEP2), Text(IDC_STEP3)}));
    std::vector<std::wstring> lines;
    for (int id = IDC_STATUS1; id < IDC_STATUS1 + static_cast<int>(GetParam().lines.size()); ++id) lines.push_back(Text(id));
    EXPECT_EQ(GetParam().lines, lines);
}

// One column: the right card's controls share the heading's axis, the file row the lines' edges;
// the five status lines, shown or not, are rows of one height at one pitch.
TEST_P(EachPage, LaysItsControlsOutInOneColumn) {
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_));
    const RECT heading = BoxOf(IDC_HEADING), line = BoxOf(IDC_STATUS1);
    for (int id : GetParam().shown) {
        const RECT box = BoxOf(id);
        const bool step = id >= IDC_STEP1 && id <= IDC_STEP3, fileRow = id == IDC_FILE_BOX || id == IDC_CHOOSE_FILE;
        EXPECT_TRUE(!fileRow || box.left == line.left || box.right == line.right) << id;
        EXPECT_TRUE(fileRow || step || id == IDC_TITLE || heading.left + heading.right == box.left + box.right) << id;
    }
    for (int id = IDC_STATUS2; id <= IDC_STATUS5; ++id) {
        EXPECT_EQ(line.bottom - line.top, BoxOf(id).bottom - BoxOf(id).top) << id;
        EXPECT_EQ(BoxOf(IDC_STATUS2).top - line.top, BoxOf(id).top - BoxOf(id - 1).top) << id;
    }
}

// The design has no black: a default pen or text colour would show as one, around the right
// card's controls. The system draws the check box, its focus frame included.
TEST_P(EachPage, ShowsItsMeaningInColour) {
    const Page& page = GetParam();
    std::vector<PixelCheck> pixels = page.pixels;
    for (const Spot& spot : page.spots) pixels.push_back({spot.what, PlaceIn(BoxOf(spot.id), spot.where), spot.colour, spot.tolerance, spot.cover});
    RECT column = BoxOf(IDC_HEADING);
    for (int id : page.shown) {
        const RECT box = BoxOf(id);
        if (id >= IDC_HEADING) UnionRect(&column, &column, &box);
    }
    const RECT risk = IsWindowVisible(Item(IDC_ACCEPT_RISK)) ? BoxOf(IDC_ACCEPT_RISK) : RECT{0, column.bottom, 0, column.bottom};
    pixels.insert(pixels.end(), {{"no black above the check box", {column.left, column.top, column.right, risk.top}, 0, 12, Cover::None},
                                 {"no black below it", {column.left, risk.bottom, column.right, column.bottom}, 0, 12, Cover::None}});
    ExpectShows(window_, pixels, page.shot);
}

std::vector<int> With(std::vector<int> ids) { // the title, step labels, heading and description too
    ids.insert(ids.end(), {IDC_TITLE, IDC_STEP1, IDC_STEP2, IDC_STEP3, IDC_HEADING, IDC_DESCRIPTION});
    std::sort(ids.begin(), ids.end());
    return ids;
}

// The file card stands on the check page only; left of the file box, where it stays when hidden.
INSTANTIATE_TEST_SUITE_P(
    Wizard, EachPage,
    ::testing::Values(
        Page{1, "page1_connect", L"Подключите дата-станцию", {L"○  Поиск дата-станции…", L"○  Ожидание прибора"},
             With({IDC_STATUS1, IDC_STATUS2, IDC_NOTE}),
             {At("logo", 50, 59, RGB(44, 165, 216), 30), At("instrument picture", 375, 560, kBlue, 30), At("the right card", 1370, 900, kWhite, 1),
              At("step 1 current, blue", 190, 144, kBlue), At("step 2 to come, white", 620, 144, kWhite, 2)},
             {{"step 1 label in blue", IDC_STEP1, Where::Box, kBlue, 16, Cover::Some},
              {"step 2 label not blue", IDC_STEP2, Where::Box, kBlue, 40, Cover::None},
              {"no file card", IDC_FILE_BOX, Where::LeftOf, kWhite, 1}}},
        Page{2, "page2_check_start_enabled", L"Проверка перед обновлением", {},
             With({IDC_STATUS1, IDC_STATUS2, IDC_STATUS3, IDC_STATUS4, IDC_FILE_BOX, IDC_CHOOSE_FILE, IDC_ACCEPT_RISK, IDC_START, IDC_CANCEL, IDC_NOTE}),
             {At("step 1 done, green", 190, 144, kGreen), At("step 2 current, blue", 620, 144, kBlue), At("the right card", 1370, 900, kWhite, 1)},
             {{"step 1 label no longer blue", IDC_STEP1, Where::Box, kBlue, 40, Cover::None},
              {"step 1 label in dark text", IDC_STEP1, Where::Box, RGB(20, 31, 43), 16, Cover::Some},
              {"the file card", IDC_FILE_BOX, Where::LeftOf, kFileCard, 1},
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
             With({IDC_STATUS1, IDC_STATUS2, IDC_STATUS3, IDC_STATUS4, IDC_STATUS5, IDC_PROGRESS, IDC_CANCEL, IDC_NOTE}),
             {At("step 3 current, blue", 1050, 144, kBlue), At("the right card", 1370, 900, kWhite, 1)},
             {{"progress, done half", IDC_PROGRESS, Where::FirstQuarter, kBlue, 2},
              {"progress, half to go", IDC_PROGRESS, Where::LastQuarter, RGB(174, 186, 196), 2},
              {"line in progress, its disc down to its lowest row", IDC_STATUS3, Where::DiscBottom, kBlue, 4},
              {"line done, its disc", IDC_STATUS1, Where::DiscBottom, kGreen, 4},
              {"no file card", IDC_FILE_BOX, Where::LeftOf, kWhite, 1}}},
        Page{4, "page4_done", L"Обновление завершено", {},
             With({IDC_STATUS1, IDC_STATUS2, IDC_STATUS3, IDC_STATUS4, IDC_STATUS5, IDC_NEXT_INSTRUMENT, IDC_NOTE}),
             {At("step 3 done, green", 1050, 144, kGreen), At("the right card", 1370, 900, kWhite, 1)},
             {{"the note, green", IDC_NOTE, Where::NearLeft, RGB(239, 252, 245), 1},
              {"next instrument, blue", IDC_NEXT_INSTRUMENT, Where::NearLeft, kBlue, 4},
              {"its caption in white", IDC_NEXT_INSTRUMENT, Where::Middle, kWhite, 16, Cover::Some},
              {"no file card", IDC_FILE_BOX, Where::LeftOf, kWhite, 1}}}),
    [](const ::testing::TestParamInfo<Page>& page) { return std::string(page.param.shot); });

RECT fakeWorkArea = {};
const WorkAreaHooks kFakeWorkArea{.workArea = [](const RECT&, RECT* area) {
    *area = fakeWorkArea;
    return true;
}};

// The window opened on a screen of that work area.
class SmallScreen : public Pages {
protected:
    void Open(const RECT& work) {
        fakeWorkArea = work;
        SetWorkAreaHooks(&kFakeWorkArea);
        Pages::Open();
        GetWindowRect(window_, &outer_);
    }
    RECT outer_ = {};
};

struct Screen { RECT work; const char* logged; const char* shot; }; // shot: the check page's screenshot, or none
class OnScreen : public SmallScreen, public ::testing::WithParamInterface<Screen> {};

// Centred in the work area, one scale for the whole window: every page keeps its layout.
TEST_P(OnScreen, TheWindowShrinksToTheWorkAreaWithEveryPage) {
    const Screen& screen = GetParam();
    Open(screen.work);
    EXPECT_EQ(std::vector<std::string>{screen.logged}, LogLines());
    EXPECT_TRUE(Inside(outer_, screen.work));
    EXPECT_LE(std::abs(outer_.left + outer_.right - screen.work.left - screen.work.right), 1) << "centred across";
    EXPECT_LE(std::abs(outer_.top + outer_.bottom - screen.work.top - screen.work.bottom), 1) << "centred down";
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_)) << "connect";
    Reach(2);
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_)) << "check";
    if (screen.shot != nullptr) ExpectShows(window_, {At("enabled Start, blue", NearLeftEdge(BoxOf(IDC_START)), kBlue)}, screen.shot);
    Click(IDC_START);
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_)) << "update";
    Post(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.3.");
    ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 4; }));
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_)) << "done";
}

INSTANTIATE_TEST_SUITE_P(WorkAreas, OnScreen,
                         ::testing::Values(Screen{{0, 0, 1366, 768}, "Window scale: 0.73 (96 dpi, work area 1366x768)", "page2_check_1366x768"},
                                           Screen{{100, 50, 1380, 770}, "Window scale: 0.68 (96 dpi, work area 1280x720)", nullptr}));

TEST_F(SmallScreen, TooSmallEvenForTheSmallestScaleTheWindowStandsAtTheWorkAreasCorner) {
    Open({20, 10, 620, 410});
    EXPECT_EQ(std::vector<std::string>{"Window scale: 0.50 (96 dpi, work area 600x400); the smallest scale, placed at "
                                       "the work area's top-left corner"},
              LogLines());
    EXPECT_EQ(std::make_pair(20L, 10L), std::make_pair(outer_.left, outer_.top));
    EXPECT_EQ(std::vector<std::string>{}, LayoutFaults(window_));
}

TEST_F(Pages, AtTheDesignSizeNothingIsLogged) {
    Open();
    EXPECT_EQ(std::vector<std::string>{}, LogLines()) << "the design's size and faces: nothing to report";
}

TEST_F(Pages, WithoutMonitorInformationTheWindowKeepsTheDesignSize) {
    static const WorkAreaHooks unknown{.workArea = [](const RECT&, RECT*) { return false; }};
    SetWorkAreaHooks(&unknown);
    Open();
    RECT outer = {};
    GetWindowRect(window_, &outer);
    EXPECT_EQ(std::make_pair(1440L, 1040L), std::make_pair(outer.right - outer.left, outer.bottom - outer.top)) << "unscaled";
}

} // namespace
