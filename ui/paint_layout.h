#pragma once
// The design's numbers in one place: where the window paints its cards, step indicator and
// pictures, the shapes inside the owner-drawn controls and the pop-up, and which colour (colours.h)
// each state takes. Client pixels at scale 1: the painting scales every one of them (layout_scale.h).

#include <windows.h>

#include <optional>

#include "ui/colours.h"
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
    {.rect = {50, 112, 1340, 78}, .radius = 14, .fill = kColours.white, .outline = kColours.stepBarOutline},
    {.rect = {50, 210, 645, 720}, .radius = 16, .fill = kColours.white, .outline = kColours.cardOutline},
    {.rect = {715, 210, 675, 720}, .radius = 16, .fill = kColours.white, .outline = kColours.cardOutline},
    // the file card
    {.rect = {780, 555, 560, 70}, .radius = 10, .fill = kColours.fileCard, .outline = kColours.fileCardOutline,
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

inline constexpr float kStepCircleX[] = {172, 602, 1032}; // steps 1, 2, 3
inline constexpr float kStepCircleTop = 138;
inline constexpr float kStepCircleSize = 36;
inline constexpr float kStepRingWidth = 2;
inline constexpr float kCheckMarkWidth = 3;
inline constexpr const wchar_t* kStepNumberFace = L"Segoe UI";
inline constexpr float kStepNumberPixels = 17;

// The check mark of a completed step, from the circle's left edge x: (x+9, 156), (x+15, 162), (x+27, 149).
inline constexpr DesignPoint kCheckMark[] = {{9, 156}, {15, 162}, {27, 149}};

struct StepLook {
    COLORREF fill;
    COLORREF ring;
    bool checkMark = false; // otherwise the step's number
    COLORREF number = kColours.white;
};
inline constexpr StepLook kCompletedStep = {.fill = kColours.success, .ring = kColours.success, .checkMark = true};
inline constexpr StepLook kCurrentStep = {.fill = kColours.accent, .ring = kColours.accent};
inline constexpr StepLook kComingStep = {
    .fill = kColours.white, .ring = kColours.comingStep, .number = kColours.comingStep};

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
            .normal = {.fill = kColours.accent, .outline = kColours.accent, .caption = kColours.white},
            .pressed = {.fill = kColours.accentPressed, .outline = kColours.accentPressed, .caption = kColours.white},
            .disabled = {.fill = kColours.disabledFill,
                         .outline = kColours.disabledFill,
                         .caption = kColours.disabledCaption},
            .focusRing = kColours.white};
}
// The last row also serves any other owner-drawn button.
inline constexpr ButtonLooks kButtonLooks[] = {
    PrimaryButton(IDC_START),
    PrimaryButton(IDC_NEXT_INSTRUMENT),
    {.id = IDC_CANCEL,
     .normal = {.fill = kColours.white, .outline = kColours.cancelOutline, .caption = kColours.cancelCaption},
     .pressed = {.fill = kColours.cancelPressed, .outline = kColours.cancelOutline, .caption = kColours.cancelCaption},
     .disabled = {.fill = kColours.white,
                  .outline = kColours.cancelDisabledOutline,
                  .caption = kColours.cancelDisabledCaption},
     .focusRing = kColours.cancelCaption},
    {.id = IDC_CHOOSE_FILE,
     .normal = {.fill = kColours.white, .outline = kColours.accent, .caption = kColours.accent},
     .pressed = {.fill = kColours.choosePressed, .outline = kColours.accent, .caption = kColours.accent},
     .disabled = {.fill = kColours.white, .outline = kColours.accent, .caption = kColours.accent},
     .focusRing = kColours.accent},
};
inline constexpr int kButtonCorner = 14;
// The focus ring: this far inside a button's edge, this wide.
inline constexpr int kFocusRingInset = 3;
inline constexpr int kFocusRingWidth = 2;
inline constexpr int kButtonTextChars = 255;

// ---- status lines ----

struct StatusMarkLook {
    wchar_t mark; // the first character of the line
    COLORREF fill;
    COLORREF ring;
    const wchar_t* inner = L""; // drawn inside the circle; empty for none
    COLORREF label = kColours.text;
};
// Any other first character looks like "●".
inline constexpr StatusMarkLook kStatusMarks[] = {
    {.mark = L'✓', .fill = kColours.success, .ring = kColours.success, .inner = L"✓"},
    {.mark = L'✕', .fill = kColours.error, .ring = kColours.error, .inner = L"×", .label = kColours.error},
    {.mark = L'○', .fill = kColours.white, .ring = kColours.waitingRing},
    {.mark = L'●', .fill = kColours.accent, .ring = kColours.accent},
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
inline constexpr NoteLook kInfoNote = {.fill = kColours.infoNote,
                                       .outline = kColours.infoNoteOutline,
                                       .icon = NoteIcon::Circle,
                                       .iconColour = kColours.accent,
                                       .glyph = L"i"};
inline constexpr NoteLook kWarningNote = {.fill = kColours.warningNote,
                                          .outline = kColours.warningNoteOutline,
                                          .icon = NoteIcon::Triangle,
                                          .iconColour = kColours.warningIcon,
                                          .glyph = L"!"};
inline constexpr NoteLook kSuccessNote = {.fill = kColours.successNote,
                                          .outline = kColours.successNoteOutline,
                                          .icon = NoteIcon::Circle,
                                          .iconColour = kColours.success,
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
inline constexpr int kDialogConfirmCorner = 16;
