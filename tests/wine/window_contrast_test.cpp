// High contrast: while it is on, the window and the pop-up paint with the system's colours; switched off, the
// design's pixels come back exactly; a switch during an update changes nothing of it.

#include <optional>
#include <utility>

#include "tests/wine/golden.h"
#include "ui/contrast.h"
#include "ui/system_libraries.h"

namespace {

// Wine always answers that high contrast is off. The program's calls of SystemParametersInfoW land here
// (Windows' headers call user32 through this import pointer; defined here, the import library's is not
// linked in) and go on to user32's own, but for that one question while a test answers it.
std::optional<std::pair<BOOL, DWORD>> highContrastAnswer; // what the call returns, and the flags it gives
BOOL WINAPI SystemParameters(UINT action, UINT parameter, PVOID data, UINT update) {
    static const auto real =
        SystemFunction<decltype(&::SystemParametersInfoW)>(GetModuleHandleW(L"user32.dll"), "SystemParametersInfoW");
    if (action != SPI_GETHIGHCONTRAST || !highContrastAnswer) return real(action, parameter, data, update);
    static_cast<HIGHCONTRASTW*>(data)->dwFlags = highContrastAnswer->second; // even where it fails: not to be read then
    return highContrastAnswer->first;
}

} // namespace

extern "C" {
decltype(&::SystemParametersInfoW) __imp_SystemParametersInfoW = SystemParameters;
}

namespace {

// What the system answers, read as it is; a system that cannot say has it off.
TEST(SystemHighContrast, IsOnOnlyWhenTheSystemSaysSo) {
    const struct { BOOL answered; DWORD flags; bool on; } rows[] = {
        {TRUE, HCF_HIGHCONTRASTON | HCF_AVAILABLE, true}, {TRUE, HCF_AVAILABLE, false}, {FALSE, HCF_HIGHCONTRASTON, false}};
    for (const auto& row : rows) {
        highContrastAnswer = std::make_pair(row.answered, row.flags);
        EXPECT_EQ(row.on, CurrentContrastHooks().highContrastOn()) << row.answered << " " << row.flags;
    }
    highContrastAnswer.reset();
}

constexpr COLORREF kBlack = RGB(0, 0, 0), kWhite = RGB(255, 255, 255), kYellow = RGB(255, 255, 0);
// Wine 8 has no high-contrast setting: the flag comes through the seam, the colours are the system's for real.
bool contrastOn = false;
const ContrastHooks kContrastSwitch{.highContrastOn = [] { return contrastOn; }};

class HighContrast : public WindowTest {
protected:
    static constexpr int kRoles[] = {COLOR_WINDOW, COLOR_WINDOWTEXT, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT, COLOR_GRAYTEXT};
    static constexpr COLORREF kScheme[] = {kBlack, kWhite, kYellow, kBlack, kYellow}; // a black, white and yellow one
    void SetUp() override {
        WindowTest::SetUp();
        for (int role : kRoles) saved_.push_back(GetSysColor(role));
        ASSERT_TRUE(SetSysColors(5, kRoles, kScheme));
        SetContrastHooks(&kContrastSwitch);
        Open();
    }
    void TearDown() override {
        WindowTest::TearDown();
        contrastOn = false;
        SetContrastHooks(nullptr);
        SetSysColors(5, kRoles, saved_.data());
    }
    void Switch(bool on) { // as Windows tells every window
        contrastOn = on;
        SendMessageW(window_, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
    }
    std::vector<COLORREF> saved_;
};

TEST_F(HighContrast, TheWindowTakesTheSystemsColoursAndGivesThemBackPixelForPixel) {
    ReadyToStart();
    RedrawWindow(window_, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const std::vector<uint32_t> design = ClientPixels(window_); // the system draws the check box in its own colours
    Switch(true);
    ExpectGolden(window_, "check-high-contrast");
    Switch(false);
    EXPECT_TRUE(PumpUntil([&] { return ClientPixels(window_) == design; })) << "the design's pixels again";
}

// Both windows repaint; the update, its page, its lines and the pop-up stay.
TEST_F(HighContrast, ASwitchWhileThePopupWaitsRepaintsBothAndTheUpdateGoesOn) {
    StartUpdate();
    ExpectDialog([&](HWND popup) {
        Switch(true);
        ExpectGolden(window_, "reinstall-high-contrast");
        Switch(false);
        ExpectGolden(window_, "reinstall-popup");
        Press(popup, IDC_DLG_CONFIRM);
    });
    SendMessageW(window_, MSG_REINSTALL_PROMPT, 0, 0);
    EXPECT_EQ(std::make_pair(3, true), std::make_pair(App().wizardStep, App().operationBusy.load()));
    EXPECT_EQ(L"✓  Команда Reset выполнена", Text(IDC_STATUS4));
    const std::vector<std::string> log = LogLines();
    EXPECT_EQ((std::vector<std::string>{"High contrast: on", "High contrast: off"}), std::vector<std::string>(log.end() - 2, log.end()));
}

} // namespace
