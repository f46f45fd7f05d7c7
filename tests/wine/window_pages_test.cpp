// The four pages as the user sees them: which controls each shows, where they stand against
// each other and the cards, the pixels that carry meaning; and the window on small screens.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/notifications.h"
#include "tests/wine/window_harness.h"
#include "ui/layout_scale.h"
#include "ui/main_window.h"
#include "ui/ui_resources.h"

namespace {

constexpr COLORREF kBlue = RGB(32, 168, 223);
constexpr COLORREF kGreen = RGB(47, 177, 99);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kFileCard = RGB(248, 252, 254);

constexpr RECT kStepBar = {50, 112, 1390, 190};
constexpr RECT kRightCard = {715, 210, 1390, 930};
constexpr RECT kFileCardBox = {780, 555, 1340, 625};

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}

PixelCheck Some(const char* what, const RECT& area, COLORREF colour, int tolerance = 24) {
    return {what, area, colour, tolerance, Cover::Some};
}
PixelCheck No(const char* what, const RECT& area, COLORREF colour, int tolerance = 24) {
    return {what, area, colour, tolerance, Cover::None};
}

class Pages : public WindowTest {
protected:
    // The page of wizardStep `step`, as the workers and the user lead there.
    void Reach(int step) {
        if (step == 2) {
            App().firmwareReady = true;
            ReachCheckPage(4.1);
            SetWindowTextW(Item(IDC_FILE_BOX), L"fw_v1.2.3.bin");
            Click(IDC_ACCEPT_RISK);
        } else if (step >= 3) {
            StartUpdate();
            SendMessageW(window_, MSG_PROGRESS, 50, 0);
            Post(MSG_STATUS_LINE, 1, L"✓  Подключение к прибору");
            Post(MSG_STATUS_LINE, 3, L"●  Передача прошивки: 37 из 74");
            if (step == 4) Post(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.3.");
            ASSERT_TRUE(PumpUntil([&] { return App().wizardStep == step && Text(IDC_STATUS3) != L"○  Передача прошивки"; }));
        }
    }

    std::vector<int> Shown() const {
        std::vector<int> shown;
        for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
            if (IsWindowVisible(child)) shown.push_back(GetDlgCtrlID(child));
        std::sort(shown.begin(), shown.end());
        return shown;
    }
};

struct Page {
    int step;
    const char* shot;
    const wchar_t* heading;
    std::vector<int> shown; // besides the title, the step labels, heading, description and note
    std::vector<PixelCheck> pixels;
};

class EachPage : public Pages, public ::testing::WithParamInterface<Page> {};

TEST_P(EachPage, ShowsItsControlsInTheirCardsAndItsMeaningInColour) {
    const Page& page = GetParam();
    Open();
    Reach(page.step);
    EXPECT_EQ(page.heading, Text(IDC_HEADING));
    std::vector<int> shown = page.shown;
    shown.insert(shown.end(), {IDC_TITLE, IDC_STEP1, IDC_STEP2, IDC_STEP3, IDC_HEADING, IDC_DESCRIPTION, IDC_NOTE});
    std::sort(shown.begin(), shown.end());
    ASSERT_EQ(shown, Shown());
    // One column: every control of the right card shares the heading's axis, the file row its edges.
    const RECT heading = BoxOf(IDC_HEADING);
    const RECT line = BoxOf(IDC_STATUS1);
    for (int id : shown) {
        const RECT box = BoxOf(id);
        for (int other : shown) {
            RECT overlap;
            const RECT otherBox = BoxOf(other);
            EXPECT_TRUE(other == id || !IntersectRect(&overlap, &box, &otherBox)) << id << " overlaps " << other;
        }
        if (id == IDC_TITLE) continue;
        const bool step = id >= IDC_STEP1 && id <= IDC_STEP3;
        EXPECT_TRUE(Inside(box, step ? kStepBar : kRightCard)) << id;
        if (step) continue;
        if (id == IDC_FILE_BOX || id == IDC_CHOOSE_FILE) {
            EXPECT_TRUE(Inside(box, kFileCardBox)) << id;
            EXPECT_EQ(id == IDC_FILE_BOX ? line.left : line.right, id == IDC_FILE_BOX ? box.left : box.right) << id;
        } else {
            EXPECT_EQ(heading.left + heading.right, box.left + box.right) << id << " off the column's axis";
        }
    }
    // The five status lines, shown or not, are rows of one height at one pitch.
    for (int id = IDC_STATUS2; id <= IDC_STATUS5; ++id) {
        EXPECT_EQ(line.bottom - line.top, BoxOf(id).bottom - BoxOf(id).top) << id;
        EXPECT_EQ(BoxOf(IDC_STATUS2).top - line.top, BoxOf(id).top - BoxOf(id - 1).top) << id;
    }
    std::vector<PixelCheck> pixels = page.pixels;
    pixels.push_back(At("the right card", 1370, 900, kWhite, 1));
    // The design has no black: a default pen or text colour would show as one. The system draws
    // the check box, its focus frame included.
    const RECT risk = Visible(IDC_ACCEPT_RISK) ? BoxOf(IDC_ACCEPT_RISK) : RECT{0, kRightCard.top, 0, kRightCard.top};
    pixels.push_back(No("nothing black above the check box", {715, 210, 1390, risk.top}, RGB(0, 0, 0), 12));
    pixels.push_back(No("nothing black below it", {715, risk.bottom, 1390, 930}, RGB(0, 0, 0), 12));
    ExpectShows(window_, pixels, page.shot);
}

const std::vector<int> kLines = {IDC_STATUS1, IDC_STATUS2, IDC_STATUS3, IDC_STATUS4, IDC_STATUS5};
std::vector<int> With(std::vector<int> ids, std::initializer_list<int> more) {
    ids.insert(ids.end(), more);
    return ids;
}

INSTANTIATE_TEST_SUITE_P(
    Wizard, EachPage,
    ::testing::Values(
        Page{1, "page1_connect", L"Подключите дата-станцию", {IDC_STATUS1, IDC_STATUS2},
             {At("logo", 50, 59, RGB(44, 165, 216), 30), At("instrument picture", 375, 560, kBlue, 30),
              At("step 1 current, blue", 190, 144, kBlue), At("step 2 to come, white", 620, 144, kWhite, 2),
              Some("step 1 label in blue", {220, 139, 440, 177}, kBlue, 16),
              No("step 2 label not blue", {650, 139, 860, 177}, kBlue, 40)}},
        Page{2, "page2_check_start_enabled", L"Проверка перед обновлением",
             {IDC_STATUS1, IDC_STATUS2, IDC_STATUS3, IDC_STATUS4, IDC_FILE_BOX, IDC_CHOOSE_FILE, IDC_ACCEPT_RISK, IDC_START,
              IDC_CANCEL},
             {At("step 1 done, green", 190, 144, kGreen), At("step 2 current, blue", 620, 144, kBlue),
              No("step 1 label no longer blue", {220, 139, 440, 177}, kBlue, 40),
              At("file card", 785, 590, kFileCard, 1), At("file box's blue block", 821, 595, kBlue),
              At("enabled Start, blue", 810, 718, kBlue), Some("Start's caption in white", {820, 700, 1300, 736}, kWhite, 16),
              // the rounded buttons' corners show what lies behind them
              At("Start's corner, the card", 800, 695, kWhite, 1),
              At("choose-file's corner, the file card", 1110, 570, kFileCard, 1),
              At("cancel's corner, the card", 1319, 800, kWhite, 1),
              Some("cancel's red outline", {1059, 754, 1062, 757}, RGB(221, 92, 79))}},
        Page{3, "page3_update", L"Обновление выполняется", With(kLines, {IDC_PROGRESS, IDC_CANCEL}),
             {At("step 3 current, blue", 1050, 144, kBlue), At("progress, done half", 1000, 406, kBlue, 2),
              At("progress, half to go", 1120, 406, RGB(174, 186, 196), 2), At("line in progress, its disc", 816, 553, kBlue),
              At("line done, its disc", 816, 465, kGreen)}},
        Page{4, "page4_done", L"Обновление завершено", With(kLines, {IDC_NEXT_INSTRUMENT}),
             {At("step 3 done, green", 1050, 144, kGreen), At("the note, green", 785, 790, RGB(239, 252, 245), 1),
              At("next instrument, blue", 810, 883, kBlue),
              Some("next instrument's caption in white", {820, 865, 1300, 901}, kWhite, 16)}}),
    [](const ::testing::TestParamInfo<Page>& page) { return std::string(page.param.shot); });

// ---- smaller screens ----

RECT fakeWorkArea = {};
bool FakeWorkArea(HWND, RECT* area) {
    *area = fakeWorkArea;
    return true;
}

struct Screen {
    RECT work;
    const char* logged; // empty: the design's size, nothing logged
    const char* shot;   // the check page's screenshot, or none
};

class OnScreen : public Pages, public ::testing::WithParamInterface<Screen> {};

TEST_P(OnScreen, TheWindowFitsTheWorkAreaAndEveryPageTheClientArea) {
    const Screen& screen = GetParam();
    fakeWorkArea = screen.work;
    SetWorkAreaSource(FakeWorkArea);
    Open();
    RECT outer = {};
    GetWindowRect(window_, &outer);
    EXPECT_TRUE(Inside(outer, screen.work));
    if (*screen.logged == '\0') {
        EXPECT_EQ(1440, outer.right - outer.left);
        EXPECT_EQ(1040, outer.bottom - outer.top);
        EXPECT_TRUE(LogLines().empty()) << LogLines().front();
    } else {
        EXPECT_LE(std::abs((outer.left - screen.work.left) - (screen.work.right - outer.right)), 1) << "centred across";
        EXPECT_LE(std::abs((outer.top - screen.work.top) - (screen.work.bottom - outer.bottom)), 1) << "centred down";
        EXPECT_EQ(std::vector<std::string>{screen.logged}, LogLines());
    }
    RECT client = {};
    GetClientRect(window_, &client);
    const auto expectInside = [&](const char* page) {
        for (int id : Shown()) EXPECT_TRUE(Inside(BoxOf(id), client)) << page << ": control " << id;
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
    ::testing::Values(Screen{{0, 0, 1366, 768}, "Window scale: 0.73 (work area 1366x768)", "page2_check_1366x768"},
                      Screen{{100, 50, 1380, 770}, "Window scale: 0.68 (work area 1280x720)", nullptr},
                      Screen{{0, 0, 1920, 1080}, "", nullptr}));

TEST_F(Pages, ATinyWorkAreaGetsTheSmallestScaleAtItsCorner) {
    fakeWorkArea = {20, 10, 620, 410};
    SetWorkAreaSource(FakeWorkArea);
    Open();
    RECT outer = {};
    GetWindowRect(window_, &outer);
    EXPECT_EQ(20, outer.left);
    EXPECT_EQ(10, outer.top);
    LOGFONTW base = {};
    GetObjectW(Font(BaseFont), sizeof(base), &base);
    EXPECT_EQ(11, base.lfHeight) << "the base font's 22 pixels halved";
    EXPECT_EQ(std::vector<std::string>{"Window scale: 0.50 (work area 600x400); the smallest scale, placed at the work "
                                       "area's top-left corner"},
              LogLines());
}

TEST_F(Pages, WithoutMonitorInformationTheWindowKeepsTheDesignSize) {
    SetWorkAreaSource([](HWND, RECT*) { return false; });
    Open();
    RECT outer = {};
    GetWindowRect(window_, &outer);
    EXPECT_EQ(1440, outer.right - outer.left);
    EXPECT_EQ(1040, outer.bottom - outer.top);
}

} // namespace
