// The window on screens smaller than its design: one scale, the whole window inside the work
// area, every control of every page inside the window.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/notifications.h"
#include "tests/wine/screen_capture.h"
#include "tests/wine/ui_harness.h"
#include "ui/layout_scale.h"
#include "ui/main_window.h"
#include "ui/reinstall_dialog.h"

namespace {

RECT fakeWorkArea = {};
bool FakeWorkArea(HWND, RECT* area) {
    *area = fakeWorkArea;
    return true;
}
bool NoMonitor(HWND, RECT*) { return false; }

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right && inner.bottom <= outer.bottom;
}

std::string Describe(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " - " + std::to_string(r.right) + "," + std::to_string(r.bottom);
}

class ScaledWindow : public MainWindowTest {
protected:
    void TearDown() override {
        MainWindowTest::TearDown();
        SetWorkAreaSource(nullptr);
    }

    void OpenOn(const RECT& workArea) {
        fakeWorkArea = workArea;
        SetWorkAreaSource(FakeWorkArea);
        CreateWindowWithAssetsIn(SourceAssetsParent());
    }

    RECT Outer() const {
        RECT outer = {};
        GetWindowRect(window_, &outer);
        return outer;
    }

    // Every control shown on the page lies inside the client area.
    void ExpectControlsInside(const char* page) {
        RECT client = {};
        GetClientRect(window_, &client);
        for (HWND child = GetWindow(window_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            if (!IsWindowVisible(child)) continue;
            RECT box = {};
            GetWindowRect(child, &box);
            MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&box), 2);
            EXPECT_TRUE(Inside(box, client)) << page << ": control " << GetDlgCtrlID(child) << " at " << Describe(box);
        }
    }
};

struct Screen {
    RECT work;
    const char* logged; // empty: the design's size, nothing logged
};

class OnScreen : public ScaledWindow, public ::testing::WithParamInterface<Screen> {};

TEST_P(OnScreen, TheWindowFitsTheWorkAreaWithEveryPageInside) {
    const Screen& screen = GetParam();
    OpenOn(screen.work);
    const RECT outer = Outer();
    EXPECT_TRUE(Inside(outer, screen.work)) << Describe(outer);
    const std::vector<std::string> log = LogLines();
    if (screen.logged[0] == '\0') {
        EXPECT_EQ(1440, outer.right - outer.left);
        EXPECT_EQ(1040, outer.bottom - outer.top);
        EXPECT_TRUE(log.empty());
    } else {
        EXPECT_EQ(std::vector<std::string>{screen.logged}, log);
        // Centred in the work area.
        EXPECT_LE(std::abs((outer.left - screen.work.left) - (screen.work.right - outer.right)), 1);
        EXPECT_LE(std::abs((outer.top - screen.work.top) - (screen.work.bottom - outer.bottom)), 1);
    }
    ExpectControlsInside("connect");
    ReachCheckPage(4.1);
    ExpectControlsInside("check");
    StartUpdateFromCheckPage();
    ExpectControlsInside("update");
    ExpectReinstallDialog([&](HWND popup) {
        RECT frame = {};
        GetWindowRect(popup, &frame);
        EXPECT_TRUE(Inside(frame, outer)) << "the pop-up on the window: " << Describe(frame);
        EXPECT_EQ(Scaled(680), frame.right - frame.left);
        for (HWND child = GetWindow(popup, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            RECT box = {};
            GetWindowRect(child, &box);
            EXPECT_TRUE(Inside(box, frame)) << "pop-up control " << GetDlgCtrlID(child);
        }
        PostMessageW(popup, WM_COMMAND, IDC_DLG_CONFIRM, 0);
    });
    SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
    PostText(MSG_OPERATION_DONE, Succeeded, L"Прошивка успешно обновлена до версии 1.2.3.");
    ASSERT_TRUE(PumpUntil([] { return App().wizardStep == 4; }));
    ExpectControlsInside("done");
}

INSTANTIATE_TEST_SUITE_P(Screens, OnScreen,
                         ::testing::Values(Screen{{0, 0, 1366, 768}, "Window scale: 0.73 (work area 1366x768)"},
                                           Screen{{100, 50, 1380, 770}, "Window scale: 0.68 (work area 1280x720)"},
                                           Screen{{0, 0, 1920, 1080}, ""}));

TEST_F(ScaledWindow, ATinyWorkAreaKeepsTheBaseFontAtElevenPixelsAtItsCorner) {
    OpenOn({20, 10, 620, 410});
    EXPECT_DOUBLE_EQ(0.5, LayoutScale());
    const RECT outer = Outer();
    EXPECT_EQ(20, outer.left);
    EXPECT_EQ(10, outer.top);
    LOGFONTW base = {};
    GetObjectW(Font(BaseFont), sizeof(base), &base);
    EXPECT_EQ(11, base.lfHeight);
    EXPECT_EQ(std::vector<std::string>{"Window scale: 0.50 (work area 600x400); the smallest scale, placed at the work "
                                       "area's top-left corner"},
              LogLines());
}

TEST_F(ScaledWindow, WithoutMonitorInformationTheDesignSizeStays) {
    SetWorkAreaSource(NoMonitor);
    CreateWindowWithAssetsIn(SourceAssetsParent());
    const RECT outer = Outer();
    EXPECT_EQ(1440, outer.right - outer.left);
    EXPECT_DOUBLE_EQ(1.0, LayoutScale());
}

// The check page as a 1366 x 768 laptop shows it, for the README.
TEST_F(ScaledWindow, CheckPageOnALaptopScreen) {
    OpenOn({0, 0, 1366, 768});
    App().firmwareReady = true;
    ReachCheckPage(3.95);
    SetControlText(IDC_FILE_BOX, L"fw_v1.2.3.bin");
    SetRiskAccepted(true);
    Command(IDC_ACCEPT_RISK);
    const COLORREF blue = RGB(32, 168, 223);
    const COLORREF green = RGB(47, 177, 99);
    const COLORREF dark = RGB(20, 31, 43);
    // The design's places, scaled: the painted shapes and the controls shrink together.
    ExpectClientShows(window_,
                      {At("right card", Scaled(1370), Scaled(900), RGB(255, 255, 255), 1),
                       At("step 1 completed", Scaled(172 + 5), Scaled(156), green, 8),
                       At("step 2 current", Scaled(602 + 5), Scaled(156), blue, 8),
                       Somewhere("heading", Scaled(RECT{790, 245, 1330, 297}), dark, 16),
                       Somewhere("battery line", Scaled(RECT{844, 423, 1320, 463}), dark, 16),
                       Somewhere("risk box label", Scaled(RECT{830, 645, 1320, 683}), dark, 16),
                       At("Start enabled", Scaled(810), Scaled(718), blue, 4)},
                      "page2_check_1366x768");
}

} // namespace
