// How the main window looks, read back from the screen and checked at the pixel: the cards,
// the step indicator, the pictures and every owner-drawn control, page by page.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/notifications.h"
#include "tests/wine/screen_capture.h"
#include "tests/wine/ui_harness.h"
#include "ui/drawing.h"
#include "ui/main_window.h"
#include "ui/ui_resources.h"

namespace {

constexpr COLORREF kBlue = RGB(32, 168, 223);
constexpr COLORREF kGreen = RGB(47, 177, 99);
constexpr COLORREF kRed = RGB(215, 63, 63);
constexpr COLORREF kDark = RGB(20, 31, 43);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBackground = RGB(246, 251, 254);
constexpr COLORREF kComingGrey = RGB(178, 185, 192);
constexpr COLORREF kLineGrey = RGB(210, 219, 226);
constexpr COLORREF kTrack = RGB(174, 186, 196);
constexpr COLORREF kFileCard = RGB(248, 252, 254);

enum class Step { Completed, Current, Coming };

// Step n's circle sits at x, 138, 36 x 36; its centre is (x + 18, 156).
std::vector<AreaCheck> StepCircle(int number, Step shown) {
    const int x = number == 1 ? 172 : number == 2 ? 602 : 1032;
    const std::string name = "step " + std::to_string(number) + " ";
    const RECT digit = {x + 12, 147, x + 25, 166};
    switch (shown) {
    case Step::Completed:
        return {At(name + "green fill", x + 18, 144, kGreen), Near(name + "green ring", x + 18, 137, kGreen, 8),
                Near(name + "check mark, first stroke", x + 12, 159, kWhite, 40),
                Near(name + "check mark, second stroke", x + 21, 155, kWhite, 40)};
    case Step::Current:
        return {At(name + "blue fill", x + 18, 144, kBlue), Near(name + "blue ring", x + 18, 137, kBlue, 8),
                Somewhere(name + "white number", digit, kWhite, 24)};
    case Step::Coming:
    default:
        return {At(name + "white fill", x + 18, 144, kWhite, 2), Near(name + "grey ring", x + 18, 137, kComingGrey, 8),
                Somewhere(name + "grey number", digit, kComingGrey, 24),
                Nowhere(name + "no blue", {x, 138, x + 36, 174}, kBlue, 24),
                Nowhere(name + "no green", {x, 138, x + 36, 174}, kGreen, 24)};
    }
}

std::vector<AreaCheck> StepLines(bool firstBlue, bool secondBlue) {
    return {Near("first connecting line", 485, 156, firstBlue ? kBlue : kLineGrey, 8),
            Near("second connecting line", 895, 156, secondBlue ? kBlue : kLineGrey, 8)};
}

std::vector<AreaCheck> Cards(bool fileCard) {
    std::vector<AreaCheck> checks = {
        At("window background", 20, 500, kBackground, 1),
        At("step bar", 100, 150, kWhite, 1),
        Near("step bar outline", 700, 112, RGB(220, 231, 238), 4),
        At("left card", 70, 900, kWhite, 1),
        At("right card", 1370, 900, kWhite, 1),
        Near("right card outline", 1000, 930, RGB(222, 233, 240), 4),
        At("logo", 50, 59, RGB(44, 165, 216), 30),
        At("instrument picture, shell", 375, 560, RGB(32, 168, 223), 30),
        At("instrument picture, station", 300, 700, RGB(208, 218, 226), 30),
    };
    if (fileCard) {
        checks.push_back(At("file card", 785, 590, kFileCard, 1));
        checks.push_back(Near("file card outline", 1000, 555, RGB(200, 224, 238), 4));
    } else {
        checks.push_back(At("no file card", 785, 590, kWhite, 1));
    }
    return checks;
}

void Append(std::vector<AreaCheck>& to, const std::vector<AreaCheck>& more) { to.insert(to.end(), more.begin(), more.end()); }

// The note box's layout, measured as the window measures it: title and body beside the icon,
// the group centred in the box.
struct NoteExpectation {
    RECT box; // client coordinates
    std::wstring title;
    std::wstring body; // empty: no line feed in the text
    COLORREF fill;
    COLORREF outline;
    bool triangle;
    COLORREF icon;
};

struct NotePlace {
    int x0;
    int y0;
    int block;
    int titleHeight;
};

NotePlace PlaceNote(const NoteExpectation& note) {
    const int width = note.box.right - note.box.left;
    const int height = note.box.bottom - note.box.top;
    const int column = width - 112;
    HDC dc = CreateCompatibleDC(nullptr);
    const SIZE title = MeasureText(dc, Font(CaptionFont), note.title, false, column);
    const SIZE body = note.body.empty() ? SIZE{0, 0} : MeasureText(dc, Font(BaseFont), note.body, true, column);
    DeleteDC(dc);
    const int block = static_cast<int>(note.body.empty() ? std::max<LONG>(title.cx, column) : std::max(title.cx, body.cx));
    const int gap = note.body.empty() ? 0 : 4;
    NotePlace place;
    place.x0 = note.box.left + std::max(8, (width - block - 62) / 2);
    place.y0 = note.box.top + std::max(4, static_cast<int>(height - title.cy - gap - body.cy) / 2);
    place.block = block;
    place.titleHeight = title.cy;
    return place;
}

std::vector<AreaCheck> NoteShapes(const NoteExpectation& note, const NotePlace& place) {
    const int cy = (note.box.top + note.box.bottom) / 2;
    const int x0 = place.x0;
    std::vector<AreaCheck> checks = {
        At("note fill", note.box.left + 4, cy, note.fill, 1),
        Near("note outline", (note.box.left + note.box.right) / 2, note.box.top, note.outline, 4),
        Everywhere("nothing between outline and icon", {note.box.left + 2, cy - 4, x0 - 2, cy + 4}, note.fill, 1),
    };
    if (note.triangle) {
        Append(checks, {At("triangle, left", x0 + 8, cy + 16, note.icon, 6), At("triangle, right", x0 + 36, cy + 16, note.icon, 6),
                        At("above the triangle", x0 + 4, cy - 16, note.fill, 1),
                        Somewhere("white glyph in the triangle", {x0 + 14, cy - 10, x0 + 30, cy + 16}, kWhite, 24)});
    } else {
        Append(checks, {At("circle icon", x0 + 18, cy + 13, note.icon, 6), At("circle icon, left", x0 + 4, cy, note.icon, 6),
                        At("beside the circle", x0 + 2, cy - 16, note.fill, 1),
                        Somewhere("white glyph in the circle", {x0 + 10, cy - 14, x0 + 26, cy + 14}, kWhite, 24)});
    }
    return checks;
}

class Painting : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        CreateWindowWithAssetsIn(SourceAssetsParent());
        SetWindowPos(window_, nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }

    // The checks hold on screen, and so does the note's text where its measured layout puts it.
    void ExpectShown(const std::vector<AreaCheck>& checks, const std::string& name, const NoteExpectation* note = nullptr) {
        std::vector<AreaCheck> all = checks;
        NotePlace place = {};
        if (note != nullptr) {
            place = PlaceNote(*note);
            Append(all, NoteShapes(*note, place));
        }
        ExpectClientShows(window_, all, name);
        if (note == nullptr) return;
        const Screenshot shot = CaptureClient(window_);
        const int left = place.x0 + 62;
        const RECT title = {left, place.y0, left + place.block, place.y0 + place.titleHeight};
        EXPECT_EQ("", CompareText(shot, {title, Font(CaptionFont), note->title, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX, kDark,
                                          note->fill}))
            << name << ": note title";
        if (note->body.empty()) return;
        const RECT body = {left, title.bottom + 4, left + place.block, note->box.bottom - 4};
        EXPECT_EQ("", CompareText(shot, {body, Font(BaseFont), note->body, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX, kDark,
                                          note->fill}))
            << name << ": note body";
    }

    // A status line's circle at (2, t)-(30, t + 28) of the line, t = (H - 28) / 2, and its label from x 44.
    void ExpectStatusLine(int id, COLORREF fill, COLORREF ring, COLORREF inner, const std::wstring& label, COLORREF labelColour,
                          const std::string& name) {
        const ControlBox line = BoxOf(id);
        const int t = line.y + (line.height - 28) / 2;
        const int cx = line.x + 16;
        std::vector<AreaCheck> checks = {
            At(name + ": circle fill", cx, t + 4, fill, 6),
            Near(name + ": ring", line.x + 2, t + 14, ring, 12),
            Everywhere(name + ": white before the circle", {line.x, line.y, line.x + 1, line.y + line.height}, kWhite, 1),
        };
        if (inner != fill) {
            checks.push_back(Somewhere(name + ": mark inside", {cx - 7, t + 6, cx + 8, t + 24}, inner, 40));
        } else {
            checks.push_back(Everywhere(name + ": nothing inside", {cx - 5, t + 9, cx + 6, t + 20}, fill, 6));
        }
        ExpectClientShows(window_, checks, name);
        const Screenshot shot = CaptureClient(window_);
        const RECT labelArea = {line.x + 44, line.y, line.x + line.width, line.y + line.height};
        EXPECT_EQ("", CompareText(shot, {labelArea, Font(RowFont), label,
                                          DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX, labelColour, kWhite}))
            << name << ": label";
        const COLORREF other = labelColour == kRed ? kDark : kRed;
        EXPECT_EQ("", Verify(shot, Nowhere(name + ": label colour", labelArea, other, 16)));
        if (labelColour == kRed) {
            EXPECT_EQ("", Verify(shot, Somewhere(name + ": red label", labelArea, kRed, 16)));
        }
    }

    void ShowUpdatePage() {
        StartUpdateFromCheckPage();
        ASSERT_EQ(3, App().wizardStep);
    }

    void SetProgress(int percent) { SendMessageW(window_, MSG_PROGRESS, static_cast<WPARAM>(percent), 0); }
};

const NoteExpectation kConnectNote = {{780, 810, 1340, 910},
                                      L"Важно",
                                      L"Прибор должен быть заряжен и оставаться на станции до полного завершения.",
                                      RGB(244, 251, 255),
                                      RGB(186, 224, 244),
                                      false,
                                      kBlue};

const NoteExpectation kCheckNote = {{780, 815, 1340, 915},
                                    L"Внимание",
                                    L"Во время обновления не снимайте прибор с дата-станции и не отключайте кабель.",
                                    RGB(255, 248, 238),
                                    RGB(243, 175, 96),
                                    true,
                                    RGB(238, 126, 21)};

const NoteExpectation kUpdateNote = {{780, 710, 1340, 815},
                                     L"НЕ СНИМАЙТЕ ПРИБОР С ДАТА-СТАНЦИИ",
                                     L"Не отключайте кабель и не закрывайте программу.",
                                     RGB(255, 248, 238),
                                     RGB(243, 175, 96),
                                     true,
                                     RGB(238, 126, 21)};

const NoteExpectation kDoneNote = {{780, 735, 1340, 845},
                                   L"Прошивка успешно обновлена",
                                   L"Теперь прибор можно снять с дата-станции.",
                                   RGB(239, 252, 245),
                                   RGB(138, 214, 170),
                                   false,
                                   kGreen};

TEST_F(Painting, ConnectPage) {
    std::vector<AreaCheck> checks = Cards(false);
    Append(checks, StepCircle(1, Step::Current));
    Append(checks, StepCircle(2, Step::Coming));
    Append(checks, StepCircle(3, Step::Coming));
    Append(checks, StepLines(false, false));
    Append(checks, {Somewhere("current step label in blue", {220, 139, 440, 177}, kBlue, 16),
                    Somewhere("step 2 label in dark text", {650, 139, 860, 177}, kDark, 16),
                    Nowhere("step 2 label not blue", {650, 139, 860, 177}, kBlue, 40),
                    Somewhere("heading in dark text", {790, 245, 1330, 297}, kDark, 16)});
    ExpectShown(checks, "page1_connect", &kConnectNote);
}

TEST_F(Painting, CheckPageWithStartDisabledThenEnabled) {
    App().batteryVoltage = 4.1;
    ReachCheckPage(4.1);
    std::vector<AreaCheck> checks = Cards(true);
    Append(checks, StepCircle(1, Step::Completed));
    Append(checks, StepCircle(2, Step::Current));
    Append(checks, StepCircle(3, Step::Coming));
    Append(checks, StepLines(true, false));
    Append(checks, {
                       // file box 800, 570, 295, 50 with its blue block from (4, 6) to (38, 44)
                       At("file box", 802, 595, kFileCard, 1),
                       At("file box block", 821, 595, kBlue, 4),
                       At("file box right of the block", 842, 595, kFileCard, 1),
                       Somewhere("file name in dark text", {850, 570, 1091, 620}, kDark, 16),
                       // choose-file button 1110, 570, 210, 50: white, blue outline and caption
                       At("choose-file fill", 1116, 576, kWhite, 1),
                       // the rounded buttons' corners show what lies behind them
                       At("choose-file corner, the file card", 1110, 570, kFileCard, 1),
                       At("Start corner, the card", 800, 695, kWhite, 1),
                       At("cancel corner, the card", 1319, 800, kWhite, 1),
                       Near("choose-file outline", 1215, 570, kBlue, 4),
                       Somewhere("choose-file caption", {1120, 575, 1310, 615}, kBlue, 16),
                       // Start 800, 695, 520, 46, disabled: grey fill, outline and caption
                       At("disabled Start fill", 810, 718, RGB(222, 230, 236), 1),
                       Near("disabled Start outline", 1060, 695, RGB(222, 230, 236), 4),
                       Somewhere("disabled Start caption", {820, 700, 1300, 736}, RGB(150, 160, 170), 16),
                       Nowhere("disabled Start not blue", {800, 695, 1320, 741}, kBlue, 40),
                       // Cancel 800, 755, 520, 46: white, red outline and caption
                       At("cancel fill", 810, 778, kWhite, 1),
                       Near("cancel outline", 1060, 755, RGB(221, 92, 79), 4),
                       Somewhere("cancel caption", {820, 760, 1300, 796}, RGB(201, 69, 58), 16),
                       Somewhere("current step 2 label in blue", {650, 139, 860, 177}, kBlue, 16),
                       Nowhere("step 1 label no longer blue", {220, 139, 440, 177}, kBlue, 40),
                   });
    ExpectShown(checks, "page2_check_start_disabled", &kCheckNote);

    App().firmwareReady = true;
    SetControlText(IDC_FILE_BOX, L"ksaron4_v1.2.0.bin");
    SetRiskAccepted(true);
    Command(IDC_ACCEPT_RISK);
    ASSERT_TRUE(Enabled(IDC_START));
    ExpectShown({At("enabled Start fill", 810, 718, kBlue, 4), Near("enabled Start outline", 1060, 695, kBlue, 4),
                 Somewhere("enabled Start caption in white", {820, 700, 1300, 736}, kWhite, 16)},
                "page2_check_start_enabled");
    // The file name from x 50 of the box to 4 short of its end, centred vertically.
    EXPECT_EQ("", CompareText(CaptureClient(window_), {{850, 570, 1091, 620}, Font(CaptionFont), L"ksaron4_v1.2.0.bin",
                                                       DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX,
                                                       kDark, kFileCard}))
        << "the file name";
}

TEST_F(Painting, TheChooseFileButtonLooksTheSameDisabled) {
    ReachCheckPage(4.1);
    EnableWindow(Item(IDC_CHOOSE_FILE), FALSE);
    ExpectShown({At("disabled choose-file fill", 1116, 576, kWhite, 1), Near("disabled choose-file outline", 1215, 570, kBlue, 4),
                 Somewhere("disabled choose-file caption", {1120, 575, 1310, 615}, kBlue, 16)},
                "choose_file_disabled");
    EnableWindow(Item(IDC_CANCEL), FALSE);
    ExpectShown({At("disabled cancel fill", 810, 778, kWhite, 1), Near("disabled cancel outline", 1060, 755, RGB(195, 202, 208), 4),
                 Somewhere("disabled cancel caption", {820, 760, 1300, 796}, RGB(160, 168, 175), 16),
                 Nowhere("disabled cancel not red", {800, 755, 1320, 801}, RGB(201, 69, 58), 30)},
                "cancel_disabled");
}

TEST_F(Painting, UpdatePageDuringTheTransfer) {
    ShowUpdatePage();
    SetControlText(IDC_STATUS1, L"✓  Подключение к прибору");
    SetControlText(IDC_STATUS2, L"✓  Переход в режим обновления");
    SetControlText(IDC_STATUS3, L"●  Передача прошивки: 37 из 74");
    SetProgress(50);
    std::vector<AreaCheck> checks = Cards(false);
    Append(checks, StepCircle(1, Step::Completed));
    Append(checks, StepCircle(2, Step::Completed));
    Append(checks, StepCircle(3, Step::Current));
    Append(checks, StepLines(true, true));
    Append(checks, {At("progress half blue", 1000, 406, kBlue, 2), At("transfer line in progress", 816, 543, kBlue, 6),
                    At("last line still waiting", 816, 587, kWhite, 2)});
    ExpectShown(checks, "page3_update", &kUpdateNote);
}

TEST_F(Painting, DonePage) {
    ShowUpdatePage();
    SendMessageW(window_, MSG_STATUS_LINE, 1, reinterpret_cast<LPARAM>(new std::wstring(L"✓  Подключение к прибору")));
    SendMessageW(window_, MSG_OPERATION_DONE, Succeeded,
                 reinterpret_cast<LPARAM>(new std::wstring(L"Прошивка успешно обновлена до версии 1.2.0.")));
    ASSERT_EQ(4, App().wizardStep);
    std::vector<AreaCheck> checks = Cards(false);
    for (int number = 1; number <= 3; ++number) Append(checks, StepCircle(number, Step::Completed));
    Append(checks, StepLines(true, true));
    // The next-instrument button (800, 860, 520 x 46) below the note, which ends at 845, in the card.
    Append(checks, {Everywhere("card between the note and the button", {800, 848, 1320, 858}, kWhite, 1),
                    At("next-instrument button, blue", 810, 883, kBlue, 4),
                    Somewhere("next-instrument caption in white", {820, 865, 1300, 901}, kWhite, 16),
                    Everywhere("card below the button", {800, 908, 1320, 928}, kWhite, 1)});
    ExpectShown(checks, "page4_done", &kDoneNote);
}

TEST_F(Painting, ProgressBarAtZeroHalfAndFull) {
    ShowUpdatePage();
    // The bar is 800, 390, 520 x 32; half of it ends at x 1060.
    const RECT inner = {820, 396, 1300, 416};
    ExpectShown({Everywhere("grey track, no fill, no text", inner, kTrack, 2)}, "progress_0");
    SetProgress(50);
    ExpectShown({At("left half blue", 1000, 406, kBlue, 2), At("right half grey", 1120, 406, kTrack, 2),
                 // above the text; the blue end is rounded
                 At("blue up to the middle", 1045, 393, kBlue, 2), At("grey from the middle", 1065, 393, kTrack, 2),
                 Somewhere("white percentage", {1030, 392, 1090, 420}, kWhite, 16)},
                "progress_50");
    // White on a blue and grey bar: ink is what is nearly white. The area is centred on the bar
    // like the bar itself, without its rounded ends, where the white card shows.
    EXPECT_EQ("", CompareText(CaptureClient(window_), {{1000, 390, 1120, 422}, Font(PercentFont), L"50%",
                                                       DT_CENTER | DT_VCENTER | DT_SINGLELINE, kWhite, kBlue, 40}))
        << "the percentage";
    SetProgress(100);
    ExpectShown({Everywhere("all blue, no text", inner, kBlue, 2)}, "progress_100");
}

TEST_F(Painting, StatusLinesByTheirMark) {
    ShowUpdatePage();
    SetControlText(IDC_STATUS1, L"○  Ожидание прибора");
    SetControlText(IDC_STATUS2, L"✕  Механизм DFWU не подтверждён");
    SetControlText(IDC_STATUS3, L"●  Передача прошивки: 37 из 74");
    SetControlText(IDC_STATUS4, L"Строка без метки");
    SetControlText(IDC_STATUS5, L"");
    ExpectStatusLine(IDC_STATUS1, kWhite, RGB(180, 188, 196), kWhite, L"Ожидание прибора", kDark, "status_waiting");
    ExpectStatusLine(IDC_STATUS2, kRed, kRed, kWhite, L"Механизм DFWU не подтверждён", kRed, "status_failed");
    ExpectStatusLine(IDC_STATUS3, kBlue, kBlue, kBlue, L"Передача прошивки: 37 из 74", kDark, "status_in_progress");
    ExpectStatusLine(IDC_STATUS4, kBlue, kBlue, kBlue, L"Строка без метки", kDark, "status_without_mark");
    const ControlBox empty = BoxOf(IDC_STATUS5);
    ExpectShown({Everywhere("an empty line is only white", {empty.x, empty.y, empty.x + empty.width, empty.y + empty.height},
                            kWhite, 1)},
                "status_empty");
}

TEST_F(Painting, ADoneStatusLineIsGreenWithItsMark) {
    ShowUpdatePage();
    SetControlText(IDC_STATUS2, L"✓  Переход в режим обновления");
    ExpectStatusLine(IDC_STATUS2, kGreen, kGreen, kWhite, L"Переход в режим обновления", kDark, "status_done");
}

TEST_F(Painting, ANoteWithoutLineFeedIsATitleCentredAsABlock) {
    SetControlText(IDC_NOTE, L"Только заголовок");
    NoteExpectation note = kConnectNote;
    note.title = L"Только заголовок";
    note.body.clear();
    ExpectShown({}, "note_title_only", &note);
}

class PaintingWithoutAssets : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        CreateWindowWithAssetsIn(dir_.path());
        SetWindowPos(window_, nullptr, 100, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
};

TEST_F(PaintingWithoutAssets, LeavesTheCardsPlainWhereThePicturesWouldBe) {
    ExpectClientShows(window_,
                      {At("no logo", 50, 59, kBackground, 1), At("no instrument picture", 375, 560, kWhite, 1),
                       Everywhere("plain left card", {125, 285, 625, 785}, kWhite, 1),
                       At("the step indicator still drawn", 190, 144, kBlue, 4)},
                      "no_assets");
}

TEST(GdipFonts, AFaceThatIsNotInstalledFallsBackToTheGenericSansSerif) {
    StartGraphics();
    {
        const GdipFont missing(L"Zarvel No Such Face", 17, GpFontStyleBold);
        EXPECT_NE(nullptr, missing.font);
        const GdipFont installed(L"Segoe UI", 17, GpFontStyleBold);
        EXPECT_NE(nullptr, installed.font);
    }
    StopGraphics();
}

} // namespace
