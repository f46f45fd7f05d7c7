#include "ui/painting.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "core/app_state.h"
#include "ui/colours.h"
#include "ui/contrast.h"
#include "ui/control_ids.h"
#include "ui/drawing.h"
#include "ui/keyboard_focus.h"
#include "ui/layout_scale.h"
#include "ui/page.h"
#include "ui/paint_layout.h"
#include "ui/text_fit.h"
#include "ui/ui_resources.h"

namespace {

// ---- the window: cards, step indicator, pictures ----

void PaintCards(GpGraphics* graphics, Page page) {
    for (const CardPlace& card : kCards)
        if (!card.onlyOn || *card.onlyOn == page)
            DrawRoundedCard(graphics, {.rect = card.rect,
                                       .radius = card.radius,
                                       .fill = Pick(card.fill, COLOR_WINDOW),
                                       .outline = Pick(card.outline, COLOR_WINDOWTEXT)});
}

void PaintStepLines(GpGraphics* graphics, int step) {
    for (const StepLine& line : kStepLines) {
        const DesignPoint points[] = {line.from, line.to};
        const COLORREF colour = step >= line.fromStep ? kColours.accent : kColours.stepLine;
        DrawStrokedLine(graphics,
                        {.points = points, .width = kStepLineWidth, .colour = Pick(colour, COLOR_WINDOWTEXT)});
    }
}

const StepLook& DesignLookOfStep(int number, int step) {
    if (step > number) return kCompletedStep;
    return step == number ? kCurrentStep : kComingStep;
}

// Under high contrast the current step is the accent pair, a done one the text's, a coming one greyed.
StepLook LookOfStep(int number, int step) {
    const StepLook& look = DesignLookOfStep(number, step);
    if (!HighContrast()) return look;
    if (step == number)
        return {.fill = GetSysColor(COLOR_HIGHLIGHT),
                .ring = GetSysColor(COLOR_HIGHLIGHT),
                .number = GetSysColor(COLOR_HIGHLIGHTTEXT)};
    const COLORREF ink = GetSysColor(step > number ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    return {.fill = GetSysColor(COLOR_WINDOW), .ring = ink, .checkMark = look.checkMark, .number = ink};
}

void PaintStepCircle(GpGraphics* graphics, const GdipFont& font, int number, int step) {
    const float x = kStepCircleX[number - 1];
    const DesignRect circle = {.x = x, .y = kStepCircleTop, .width = kStepCircleSize, .height = kStepCircleSize};
    const StepLook look = LookOfStep(number, step);
    DrawDisc(graphics, {.bounds = circle, .fill = look.fill, .ring = look.ring, .ringWidth = kStepRingWidth});
    if (look.checkMark) {
        DesignPoint mark[3];
        for (int i = 0; i < 3; ++i) mark[i] = {x + kCheckMark[i].x, kCheckMark[i].y};
        // A done step's number colour is the mark's too.
        DrawStrokedLine(graphics, {.points = mark, .width = kCheckMarkWidth, .colour = look.number});
        return;
    }
    const wchar_t digit[] = {static_cast<wchar_t>(L'0' + number), L'\0'};
    DrawCentredText(graphics, {.text = digit, .box = circle, .font = font, .colour = look.number});
}

void PaintStepIndicator(GpGraphics* graphics, int step) {
    PaintStepLines(graphics, step);
    const GdipFont font(kStepNumberFace, kStepNumberPixels, Gdiplus::FontStyleBold);
    for (int number = 1; number <= 3; ++number) PaintStepCircle(graphics, font, number, step);
}

// Above scale 1 the twice-size copy, drawn smaller, stays sharp; the design's picture where it is missing.
void PaintPicture(GpGraphics* graphics, const Picture& picture, const Picture& large, const PixelBox& box) {
    const Picture& drawn = LayoutScale() > 1.0 && large.status == Gdiplus::Ok ? large : picture;
    DrawPlacedPicture(graphics, {.image = drawn.image.Get(), .status = drawn.status, .box = box});
}

// ---- owner-drawn controls ----

int Width(const RECT& r) { return r.right - r.left; }
int Height(const RECT& r) { return r.bottom - r.top; }

const ButtonLooks& LooksOfButton(int id) {
    for (const ButtonLooks& looks : kButtonLooks)
        if (looks.id == id) return looks;
    return kButtonLooks[std::size(kButtonLooks) - 1];
}

// Disabled wins over pressed.
const ButtonLook& DesignLookOfButton(const DRAWITEMSTRUCT& item) {
    const ButtonLooks& looks = LooksOfButton(static_cast<int>(item.CtlID));
    if ((item.itemState & ODS_DISABLED) != 0) return looks.disabled;
    return (item.itemState & ODS_SELECTED) != 0 ? looks.pressed : looks.normal;
}

bool IsAccentButton(int id) { return id == IDC_START || id == IDC_NEXT_INSTRUMENT; }

// Under high contrast: the accent pair for the blue buttons, the window's for the others, greyed text
// when disabled, always the text colour's border.
ButtonLook LookOfButton(const DRAWITEMSTRUCT& item) {
    if (!HighContrast()) return DesignLookOfButton(item);
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    const bool accent = IsAccentButton(static_cast<int>(item.CtlID)) && !disabled;
    const int caption = disabled ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT;
    return {.fill = GetSysColor(accent ? COLOR_HIGHLIGHT : COLOR_WINDOW),
            .outline = GetSysColor(COLOR_WINDOWTEXT),
            .caption = GetSysColor(accent ? COLOR_HIGHLIGHTTEXT : caption)};
}

// Under high contrast the highlight, or on a button filled with it, the highlight's text colour.
COLORREF FocusRingColour(const DRAWITEMSTRUCT& item) {
    const int id = static_cast<int>(item.CtlID);
    if (!HighContrast()) return LooksOfButton(id).focusRing;
    const bool accent = IsAccentButton(id) && (item.itemState & ODS_DISABLED) == 0;
    return GetSysColor(accent ? COLOR_HIGHLIGHTTEXT : COLOR_HIGHLIGHT);
}

void DrawButton(const DRAWITEMSTRUCT& item) {
    const ButtonLook look = LookOfButton(item);
    const COLORREF ring = FocusRingColour(item);
    DrawRoundBlock(item.hDC,
                   {.rect = item.rcItem, .corner = Scaled(kButtonCorner), .fill = look.fill, .outline = look.outline});
    const std::wstring caption = WindowTextOf(item.hwndItem, kButtonTextChars + 1);
    DrawTextBox(item.hDC, {.text = caption,
                           .rect = item.rcItem,
                           .font = ControlFont(item.hwndItem),
                           .colour = look.caption,
                           .format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX});
    if (!FocusRingWanted(item)) return;
    DrawRoundRing(item.hDC, {.rect = item.rcItem,
                             .corner = Scaled(kButtonCorner),
                             .inset = Scaled(kFocusRingInset),
                             .width = Scaled(kFocusRingWidth),
                             .colour = ring});
}

void DrawPercent(HDC dc, const RECT& area, int percent, const RECT& clip, COLORREF colour) {
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, clip.left, clip.top, clip.right, clip.bottom);
    DrawTextBox(dc, {.text = std::to_wstring(percent) + L"%",
                     .rect = area,
                     .font = Font(PercentFont),
                     .colour = colour,
                     .format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX});
    RestoreDC(dc, saved);
}

void DrawProgress(const DRAWITEMSTRUCT& item) {
    const RECT& area = item.rcItem;
    const int height = Height(area);
    const int percent = App().progressPercent;
    DrawRoundBlock(
        item.hDC,
        {.rect = area, .corner = height, .fill = Pick(kColours.progressTrack, COLOR_WINDOW), .outline = Outline({})});
    const int filled = MulDiv(Width(area), percent, 100);
    const RECT done = {area.left, area.top, area.left + filled, area.bottom};
    if (filled > 0)
        DrawRoundBlock(item.hDC, {.rect = done, .corner = height, .fill = Pick(kColours.accent, COLOR_HIGHLIGHT)});
    if (percent < 1 || percent > 99) return;
    if (!HighContrast()) {
        DrawPercent(item.hDC, area, percent, area, kColours.white);
        return;
    }
    // The figure crosses the fill's edge: the accent's text colour on it, the window's beside it.
    DrawPercent(item.hDC, area, percent, done, GetSysColor(COLOR_HIGHLIGHTTEXT));
    DrawPercent(item.hDC, area, percent, {done.right, area.top, area.right, area.bottom},
                GetSysColor(COLOR_WINDOWTEXT));
}

const StatusMarkLook& DesignLookOfMark(wchar_t first) {
    for (const StatusMarkLook& look : kStatusMarks)
        if (look.mark == first) return look;
    return kStatusMarks[std::size(kStatusMarks) - 1];
}

// Under high contrast every mark is in the text colour: a ring for waiting, a disc for the others,
// which their symbols tell apart.
StatusMarkLook LookOfMark(wchar_t first) {
    StatusMarkLook look = DesignLookOfMark(first);
    if (!HighContrast()) return look;
    const COLORREF ink = GetSysColor(COLOR_WINDOWTEXT);
    look.fill = look.mark == L'○' ? GetSysColor(COLOR_WINDOW) : ink;
    look.ring = ink;
    look.label = ink;
    return look;
}

void DrawStatusLine(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT& area = item.rcItem;
    FillRect(dc, &area, Brush(CardBrush));
    const std::wstring text = WindowTextOf(item.hwndItem, kOwnerTextChars + 1);
    if (text.empty()) return;
    const StatusMarkLook look = LookOfMark(text[0]);
    const int size = Scaled(kStatusCircleSize);
    const int left = area.left + Scaled(kStatusCircleLeft);
    const int top = area.top + (Height(area) - size) / 2;
    DrawGdiDisc(dc, {.bounds = {left, top, left + size, top + size},
                     .fill = look.fill,
                     .ring = look.ring,
                     .ringWidth = Scaled(kStatusRingWidth)});
    DrawTextBox(dc, {.text = look.inner,
                     .rect = {left, top - Scaled(kStatusMarkRaise), left + size, top + size},
                     .font = Font(CaptionFont),
                     .colour = Pick(kColours.white, COLOR_WINDOW),
                     .format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX});
    DrawTextBox(dc, {.text = StatusLabel(text),
                     .rect = {area.left + Scaled(kStatusLabelLeft), area.top, area.right, area.bottom},
                     .font = ControlFont(item.hwndItem),
                     .colour = look.label,
                     .format = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX});
}

void DrawFileBox(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT& area = item.rcItem;
    FillRect(dc, &area, Brush(FileBoxBrush));
    if (HighContrast())
        DrawRoundBlock(dc, {.rect = area, .corner = 0, .fill = GetSysColor(COLOR_WINDOW), .outline = Outline({})});
    const RECT block = {area.left + Scaled(kFileBlockLeft), area.top + Scaled(kFileBlockTop),
                        area.left + Scaled(kFileBlockRight), area.bottom - Scaled(kFileBlockBottomInset)};
    DrawRoundBlock(dc,
                   {.rect = block, .corner = Scaled(kFileBlockCorner), .fill = Pick(kColours.accent, COLOR_HIGHLIGHT)});
    const std::wstring name = WindowTextOf(item.hwndItem, kOwnerTextChars + 1);
    const RECT nameBox = {area.left + Scaled(kFileNameLeft), area.top, area.right - Scaled(kFileNameRightInset),
                          area.bottom};
    DrawTextBox(dc, {.text = name,
                     .rect = nameBox,
                     .font = ControlFont(item.hwndItem),
                     .colour = Pick(kColours.text, COLOR_WINDOWTEXT),
                     .format = DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX});
}

const NoteLook& DesignLookOfNote(Page page) {
    if (page == Page::Connect) return kInfoNote;
    return page == Page::Done ? kSuccessNote : kWarningNote;
}

// Under high contrast the icon is in the text colour with its glyph cut out in the window's.
NoteLook LookOfNote(Page page) {
    const NoteLook& look = DesignLookOfNote(page);
    return {.fill = Pick(look.fill, COLOR_WINDOW),
            .outline = Pick(look.outline, COLOR_WINDOWTEXT),
            .icon = look.icon,
            .iconColour = Pick(look.iconColour, COLOR_WINDOWTEXT),
            .glyph = look.glyph};
}

void DrawNoteIcon(HDC dc, const NoteLook& look, int x0, int cy) {
    if (look.icon == NoteIcon::Circle) {
        const int size = Scaled(kNoteCircleSize);
        const RECT circle = {x0, cy - size / 2, x0 + size, cy - size / 2 + size};
        DrawGdiDisc(dc, {.bounds = circle, .fill = look.iconColour});
        DrawTextBox(dc, {.text = look.glyph,
                         .rect = circle,
                         .font = Font(CaptionFont),
                         .colour = Pick(kColours.white, COLOR_WINDOW),
                         .format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX});
        return;
    }
    POINT corners[3];
    for (int i = 0; i < 3; ++i) corners[i] = {x0 + Scaled(kNoteTriangle[i].x), cy + Scaled(kNoteTriangle[i].y)};
    FillTriangle(dc, corners, look.iconColour);
    const RECT glyph = Scaled(kNoteTriangleGlyph);
    DrawTextBox(dc, {.text = look.glyph,
                     .rect = {x0 + glyph.left, cy + glyph.top, x0 + glyph.right, cy + glyph.bottom},
                     .font = Font(CaptionFont),
                     .colour = Pick(kColours.white, COLOR_WINDOW),
                     .format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX});
}

void DrawNote(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT& area = item.rcItem;
    const NoteLook look = LookOfNote(CurrentPage());
    DrawRoundBlock(dc, {.rect = area, .corner = Scaled(kNoteCorner), .fill = look.fill, .outline = look.outline});
    const NoteParts note = SplitNote(WindowTextOf(item.hwndItem, kOwnerTextChars + 1));
    const int width = Width(area);
    const int column = width - Scaled(kNoteTextColumnInset);
    const int iconColumn = Scaled(kNoteIconColumn);
    const int minTop = Scaled(kNoteMinTop);
    HFONT titleFont = ControlFont(item.hwndItem);
    HFONT bodyFont = NoteBodyFont(item.hwndItem);
    const SIZE title = MeasureText(dc, titleFont, note.title, false, column);
    const SIZE body = note.hasBody ? MeasureText(dc, bodyFont, note.body, true, column) : SIZE{0, 0};
    // A title too long even at its smallest font ends in "…" at the column's edge.
    const int block = static_cast<int>(
        std::min<LONG>(column, std::max(title.cx, note.hasBody ? body.cx : static_cast<LONG>(column))));
    const int x0 = area.left + std::max(Scaled(kNoteMinLeft), (width - block - iconColumn) / 2);
    const int gap = note.hasBody ? Scaled(kNoteBodyGap) : 0;
    const int y0 = area.top + std::max(minTop, static_cast<int>(Height(area) - title.cy - gap - body.cy) / 2);
    DrawNoteIcon(dc, look, x0, area.top + Height(area) / 2);
    const int textLeft = x0 + iconColumn;
    DrawTextBox(dc, {.text = note.title,
                     .rect = {textLeft, y0, textLeft + block, y0 + title.cy},
                     .font = titleFont,
                     .colour = Pick(kColours.text, COLOR_WINDOWTEXT),
                     .format = DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX});
    if (!note.hasBody) return;
    DrawTextBox(dc, {.text = note.body,
                     .rect = {textLeft, y0 + title.cy + gap, textLeft + block, area.bottom - minTop},
                     .font = bodyFont,
                     .colour = Pick(kColours.text, COLOR_WINDOWTEXT),
                     .format = DT_LEFT | DT_WORDBREAK | DT_NOPREFIX});
}

struct OwnerDrawnStatic {
    int firstId;
    int lastId;
    void (*draw)(const DRAWITEMSTRUCT& item);
};
const OwnerDrawnStatic kOwnerDrawnStatics[] = {
    {.firstId = IDC_PROGRESS, .lastId = IDC_PROGRESS, .draw = DrawProgress},
    {.firstId = IDC_STATUS1, .lastId = IDC_STATUS5, .draw = DrawStatusLine},
    {.firstId = IDC_FILE_BOX, .lastId = IDC_FILE_BOX, .draw = DrawFileBox},
    {.firstId = IDC_NOTE, .lastId = IDC_NOTE, .draw = DrawNote},
};

// ---- plain statics ----

COLORREF MarkColour(const std::wstring& text) {
    if (!text.empty() && text[0] == L'✓') return kColours.success;
    if (!text.empty() && text[0] == L'✕') return kColours.error;
    return kColours.text;
}

bool IsStepLabel(int id) { return id >= IDC_STEP1 && id <= IDC_STEP3; }
bool IsStatusLine(int id) { return id >= IDC_STATUS1 && id <= IDC_STATUS5; }

COLORREF StaticTextColour(int id, HWND control) {
    if (HighContrast()) return GetSysColor(COLOR_WINDOWTEXT);
    if (IsStepLabel(id) && StepOf(CurrentPage()) == id - IDC_STEP1 + 1) return kColours.accent;
    if (IsStepLabel(id) || IsStatusLine(id)) return MarkColour(WindowTextOf(control, kOwnerTextChars + 1));
    return kColours.text;
}

HBRUSH StaticBrush(int id) {
    if (id == IDC_FILE_BOX) return Brush(FileBoxBrush);
    if (id == IDC_TITLE) return Brush(BackgroundBrush);
    return Brush(CardBrush);
}

} // namespace

LRESULT PaintMainWindow(HWND window) {
    const PaintDc paint(window);
    const GdipSurface surface = SurfaceOn(paint.Get());
    const Page page = CurrentPage();
    PaintCards(surface.Get(), page);
    PaintStepIndicator(surface.Get(), StepOf(page));
    if (LayoutScale() > 1.0) LoadLargePictures();
    PaintPicture(surface.Get(), Ui().logo, Ui().logoLarge, kLogoBox);
    PaintPicture(surface.Get(), Ui().instrument, Ui().instrumentLarge, kInstrumentBox);
    return 0;
}

LRESULT DrawOwnerItem(const DRAWITEMSTRUCT& item) {
    if (item.CtlType == ODT_BUTTON) {
        DrawButton(item);
        return TRUE;
    }
    const int id = static_cast<int>(item.CtlID);
    for (const OwnerDrawnStatic& control : kOwnerDrawnStatics)
        if (id >= control.firstId && id <= control.lastId) control.draw(item);
    return TRUE;
}

LRESULT ColorStatic(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, StaticTextColour(id, control));
    return reinterpret_cast<LRESULT>(StaticBrush(id));
}

LRESULT ColorButton(HWND control) {
    // The choose-file button sits on the file card, whose fill is the file box's colour.
    const UiBrush behind = GetDlgCtrlID(control) == IDC_CHOOSE_FILE ? FileBoxBrush : CardBrush;
    return reinterpret_cast<LRESULT>(Brush(behind));
}
