#pragma once
// The design's numbers in one place: where the window paints its cards, step indicator and
// pictures, the shapes inside the owner-drawn controls and the pop-up, and the colours of each
// state. Client pixels at scale 1: the painting scales every one of them (layout_scale.h).

#include <windows.h>

#include <optional>

#include "ui/control_ids.h"
#include "ui/gdiplus_flat.h"
#include "ui/layout_scale.h"
#include "ui/page.h"
#include "ui/ui_resources.h"

// ---- main window, drawn with GDI+ ----

struct CardPlace {
    DesignRect rect;
    float radius;
    COLORREF fill;
    COLORREF outline;
    std::optional<Page> onlyOn = std::nullopt; // none: on every page
};

// clang-format off
inline constexpr CardPlace kCards[] = {
    // the step bar, the left card and the right card
    {.rect = {50, 112, 1340, 78}, .radius = 14, .fill = White, .outline = RGB(220, 231, 238)},
    {.rect = {50, 210, 645, 720}, .radius = 16, .fill = White, .outline = RGB(222, 233, 240)},
    {.rect = {715, 210, 675, 720}, .radius = 16, .fill = White, .outline = RGB(222, 233, 240)},
    // the file card
    {.rect = {780, 555, 560, 70}, .radius = 10, .fill = RGB(248, 252, 254), .outline = RGB(200, 224, 238),
     .onlyOn = Page::Check},
};
// clang-format on

// A connecting line turns blue once the wizard reaches fromStep.
struct StepLine {
    DesignPoint from;
    DesignPoint to;
    int fromStep;
};
inline constexpr StepLine kStepLines[] = {
    {.from = {420, 156}, .to = {550, 156}, .fromStep = 2},
    {.from = {820, 156}, .to = {970, 156}, .fromStep = 3},
};
inline constexpr float kStepLineWidth = 2;
inline constexpr COLORREF kStepLineGrey = RGB(210, 219, 226);

inline constexpr float kStepCircleX[] = {172, 602, 1032}; // steps 1, 2, 3
inline constexpr float kStepCircleTop = 138;
inline constexpr float kStepCircleSize = 36;
inline constexpr float kStepRingWidth = 2;
inline constexpr float kCheckMarkWidth = 3;
inline constexpr COLORREF kComingGrey = RGB(178, 185, 192);
inline constexpr const wchar_t* kStepNumberFace = L"Segoe UI";
inline constexpr float kStepNumberPixels = 17;

// The check mark of a completed step, from the circle's left edge x: (x+9, 156), (x+15, 162), (x+27, 149).
inline constexpr DesignPoint kCheckMark[] = {{9, 156}, {15, 162}, {27, 149}};

struct StepLook {
    COLORREF fill;
    COLORREF ring;
    bool checkMark = false; // otherwise the step's number
    COLORREF number = White;
};
inline constexpr StepLook kCompletedStep = {.fill = SuccessGreen, .ring = SuccessGreen, .checkMark = true};
inline constexpr StepLook kCurrentStep = {.fill = AccentBlue, .ring = AccentBlue};
inline constexpr StepLook kComingStep = {.fill = White, .ring = kComingGrey, .number = kComingGrey};

inline constexpr PixelBox kLogoBox = {.x = 35, .y = 18, .width = 300, .height = 82};
inline constexpr PixelBox kInstrumentBox = {.x = 125, .y = 285, .width = 500, .height = 500};

// ---- owner-drawn buttons ----

struct ButtonLook {
    COLORREF fill;
    COLORREF outline;
    COLORREF caption;
};
struct ButtonLooks {
    int id;
    ButtonLook normal;
    ButtonLook pressed;
    ButtonLook disabled;
    COLORREF focusRing; // drawn inside the button while it has the keyboard focus
};
// Start and the done page's next-instrument button: blue with white text.
inline constexpr ButtonLooks PrimaryButton(int id) {
    return {.id = id,
            .normal = {.fill = AccentBlue, .outline = AccentBlue, .caption = White},
            .pressed = {.fill = RGB(13, 145, 201), .outline = RGB(13, 145, 201), .caption = White},
            .disabled = {.fill = RGB(222, 230, 236), .outline = RGB(222, 230, 236), .caption = RGB(150, 160, 170)},
            .focusRing = White};
}
// The last row also serves any other owner-drawn button.
inline constexpr ButtonLooks kButtonLooks[] = {
    PrimaryButton(IDC_START),
    PrimaryButton(IDC_NEXT_INSTRUMENT),
    {.id = IDC_CANCEL,
     .normal = {.fill = White, .outline = RGB(221, 92, 79), .caption = RGB(201, 69, 58)},
     .pressed = {.fill = RGB(255, 240, 238), .outline = RGB(221, 92, 79), .caption = RGB(201, 69, 58)},
     .disabled = {.fill = White, .outline = RGB(195, 202, 208), .caption = RGB(160, 168, 175)},
     .focusRing = RGB(201, 69, 58)},
    {.id = IDC_CHOOSE_FILE,
     .normal = {.fill = White, .outline = AccentBlue, .caption = AccentBlue},
     .pressed = {.fill = RGB(232, 247, 253), .outline = AccentBlue, .caption = AccentBlue},
     .disabled = {.fill = White, .outline = AccentBlue, .caption = AccentBlue},
     .focusRing = AccentBlue},
};
inline constexpr int kButtonCorner = 14;
// The focus ring: this far inside a button's edge, this wide.
inline constexpr int kFocusRingInset = 3;
inline constexpr int kFocusRingWidth = 2;
inline constexpr int kButtonTextChars = 255;

// ---- progress bar ----

inline constexpr COLORREF kProgressTrack = RGB(174, 186, 196);

// ---- status lines ----

struct StatusMarkLook {
    wchar_t mark; // the first character of the line
    COLORREF fill;
    COLORREF ring;
    const wchar_t* inner = L""; // drawn inside the circle; empty for none
    COLORREF label = TextDark;
};
// Any other first character looks like "●".
inline constexpr StatusMarkLook kStatusMarks[] = {
    {.mark = L'✓', .fill = SuccessGreen, .ring = SuccessGreen, .inner = L"✓"},
    {.mark = L'✕', .fill = ErrorRed, .ring = ErrorRed, .inner = L"×", .label = ErrorRed},
    {.mark = L'○', .fill = White, .ring = RGB(180, 188, 196)},
    {.mark = L'●', .fill = AccentBlue, .ring = AccentBlue},
};
inline constexpr int kStatusCircleLeft = 2;
inline constexpr int kStatusCircleSize = 28;
inline constexpr int kStatusRingWidth = 2;
inline constexpr int kStatusLabelLeft = 44;
// The mark inside a status circle sits this much higher than the circle.
inline constexpr int kStatusMarkRaise = 1;
inline constexpr int kOwnerTextChars = 511;

// ---- firmware file box ----

// The blue block runs from (4, 6) to (38, H - 6).
inline constexpr int kFileBlockLeft = 4;
inline constexpr int kFileBlockTop = 6;
inline constexpr int kFileBlockRight = 38;
inline constexpr int kFileBlockBottomInset = 6;
inline constexpr int kFileBlockCorner = 6;
inline constexpr int kFileNameLeft = 50;
inline constexpr int kFileNameRightInset = 4;

// ---- note box ----

enum class NoteIcon { Circle, Triangle };
struct NoteLook {
    COLORREF fill;
    COLORREF outline;
    NoteIcon icon;
    COLORREF iconColour;
    const wchar_t* glyph;
};
inline constexpr NoteLook kInfoNote = {.fill = RGB(244, 251, 255),
                                       .outline = RGB(186, 224, 244),
                                       .icon = NoteIcon::Circle,
                                       .iconColour = AccentBlue,
                                       .glyph = L"i"};
inline constexpr NoteLook kWarningNote = {.fill = RGB(255, 248, 238),
                                          .outline = RGB(243, 175, 96),
                                          .icon = NoteIcon::Triangle,
                                          .iconColour = RGB(238, 126, 21),
                                          .glyph = L"!"};
inline constexpr NoteLook kSuccessNote = {.fill = RGB(239, 252, 245),
                                          .outline = RGB(138, 214, 170),
                                          .icon = NoteIcon::Circle,
                                          .iconColour = SuccessGreen,
                                          .glyph = L"✓"};
inline constexpr int kNoteCorner = 18;
inline constexpr int kNoteTextColumnInset = 112; // the text column is the width less this
inline constexpr int kNoteIconColumn = 62;       // from the icon's left edge to the text column
inline constexpr int kNoteMinLeft = 8;
inline constexpr int kNoteMinTop = 4;
inline constexpr int kNoteBodyGap = 4;
// The note's icon, from its left edge x0 and the note's middle cy: a circle of this size centred
// on cy, or a triangle with these corners and its glyph in this box.
inline constexpr int kNoteCircleSize = 36;
inline constexpr POINT kNoteTriangle[] = {{22, -21}, {44, 20}, {0, 20}};
inline constexpr RECT kNoteTriangleGlyph = {.left = 4, .top = -12, .right = 40, .bottom = 18};

// ---- reinstall pop-up ----

inline constexpr int kDialogBandHeight = 8;
inline constexpr DesignRect kDialogCircle = {.x = 40, .y = 60, .width = 66, .height = 66};
inline constexpr DesignRect kDialogSymbolBox = {.x = 40, .y = 58, .width = 66, .height = 66};
inline constexpr const wchar_t* kDialogSymbol = L"↻";
inline constexpr const wchar_t* kDialogSymbolFace = L"Segoe UI Symbol";
inline constexpr float kDialogSymbolPixels = 30;
inline constexpr COLORREF kDialogConfirmPressed = RGB(23, 142, 191);
inline constexpr int kDialogConfirmCorner = 16;
inline constexpr COLORREF kDialogConfirmFocusRing = White;
