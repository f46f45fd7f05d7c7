#include "ui/painting.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "core/app_state.h"
#include "ui/control_ids.h"
#include "ui/drawing.h"
#include "ui/layout_scale.h"
#include "ui/paint_layout.h"
#include "ui/text_fit.h"
#include "ui/ui_resources.h"

namespace {

// ---- the window: cards, step indicator, pictures ----

void PaintCards(GpGraphics* graphics, int step) {
    for (const CardPlace& card : kCards)
        if (card.onlyOnStep == 0 || card.onlyOnStep == step)
            DrawRoundedCard(graphics, {card.rect, card.radius, card.fill, card.outline});
}

void PaintStepLines(GpGraphics* graphics, int step) {
    for (const StepLine& line : kStepLines) {
        const GpPointF points[] = {line.from, line.to};
        const COLORREF colour = step >= line.fromStep ? AccentBlue : kStepLineGrey;
        DrawStrokedLine(graphics, {points, 2, kStepLineWidth, colour});
    }
}

const StepLook& LookOfStep(int number, int step) {
    if (step > number) return kCompletedStep;
    return step == number ? kCurrentStep : kComingStep;
}

void PaintStepCircle(GpGraphics* graphics, const GdipFont& font, int number, int step) {
    const float x = kStepCircleX[number - 1];
    const GpRectF circle = {x, kStepCircleTop, kStepCircleSize, kStepCircleSize};
    const StepLook& look = LookOfStep(number, step);
    DrawDisc(graphics, {circle, look.fill, look.ring, kStepRingWidth});
    if (look.checkMark) {
        GpPointF mark[3];
        for (int i = 0; i < 3; ++i) mark[i] = {x + kCheckMark[i].x, kCheckMark[i].y};
        DrawStrokedLine(graphics, {mark, 3, kCheckMarkWidth, White});
        return;
    }
    const wchar_t digit[] = {static_cast<wchar_t>(L'0' + number), L'\0'};
    DrawCentredText(graphics, {digit, circle, font, look.number});
}

void PaintStepIndicator(GpGraphics* graphics, int step) {
    PaintStepLines(graphics, step);
    const GdipFont font(kStepNumberFace, kStepNumberPixels, GpFontStyleBold);
    for (int number = 1; number <= 3; ++number) PaintStepCircle(graphics, font, number, step);
}

// Above scale 1 the twice-size copy, drawn smaller, stays sharp; the design's picture where it is missing.
void PaintPicture(GpGraphics* graphics, const Picture& picture, const Picture& large, const PixelBox& box) {
    const Picture& drawn = LayoutScale() > 1.0 && large.status == GpOk ? large : picture;
    DrawPlacedPicture(graphics, {drawn.image, drawn.status, box.x, box.y, box.width, box.height});
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
const ButtonLook& LookOfButton(const DRAWITEMSTRUCT& item) {
    const ButtonLooks& looks = LooksOfButton(static_cast<int>(item.CtlID));
    if ((item.itemState & ODS_DISABLED) != 0) return looks.disabled;
    return (item.itemState & ODS_SELECTED) != 0 ? looks.pressed : looks.normal;
}

void DrawButton(const DRAWITEMSTRUCT& item) {
    const ButtonLook& look = LookOfButton(item);
    DrawRoundBlock(item.hDC, {item.rcItem, Scaled(kButtonCorner), look.fill, true, look.outline});
    const std::wstring caption = WindowTextOf(item.hwndItem, kButtonTextChars + 1);
    DrawTextBox(item.hDC, {caption, item.rcItem, ControlFont(item.hwndItem), look.caption,
                           DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX});
}

void DrawProgress(const DRAWITEMSTRUCT& item) {
    const RECT& area = item.rcItem;
    const int height = Height(area);
    const int percent = App().progressPercent;
    DrawRoundBlock(item.hDC, {area, height, kProgressTrack, false, 0});
    const int filled = MulDiv(Width(area), percent, 100);
    if (filled > 0) DrawRoundBlock(item.hDC, {{area.left, area.top, area.left + filled, area.bottom}, height, AccentBlue, false, 0});
    if (percent < 1 || percent > 99) return;
    DrawTextBox(item.hDC, {std::to_wstring(percent) + L"%", area, Font(PercentFont), White,
                           DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX});
}

const StatusMarkLook& LookOfMark(wchar_t first) {
    for (const StatusMarkLook& look : kStatusMarks)
        if (look.mark == first) return look;
    return kStatusMarks[std::size(kStatusMarks) - 1];
}

void DrawStatusLine(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT& area = item.rcItem;
    FillRect(dc, &area, Brush(CardBrush));
    const std::wstring text = WindowTextOf(item.hwndItem, kOwnerTextChars + 1);
    if (text.empty()) return;
    const StatusMarkLook& look = LookOfMark(text[0]);
    const int size = Scaled(kStatusCircleSize);
    const int left = area.left + Scaled(kStatusCircleLeft);
    const int top = area.top + (Height(area) - size) / 2;
    DrawGdiDisc(dc, {{left, top, left + size, top + size}, look.fill, Scaled(kStatusRingWidth), look.ring});
    DrawTextBox(dc, {look.inner, {left, top - Scaled(kStatusMarkRaise), left + size, top + size}, Font(CaptionFont), White,
                     DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX});
    DrawTextBox(dc, {StatusLabel(text), {area.left + Scaled(kStatusLabelLeft), area.top, area.right, area.bottom},
                     ControlFont(item.hwndItem), look.label,
                     DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX});
}

void DrawFileBox(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT& area = item.rcItem;
    FillRect(dc, &area, Brush(FileBoxBrush));
    const RECT block = {area.left + Scaled(kFileBlockLeft), area.top + Scaled(kFileBlockTop), area.left + Scaled(kFileBlockRight),
                        area.bottom - Scaled(kFileBlockBottomInset)};
    DrawRoundBlock(dc, {block, Scaled(kFileBlockCorner), AccentBlue, false, 0});
    const std::wstring name = WindowTextOf(item.hwndItem, kOwnerTextChars + 1);
    DrawTextBox(dc, {name, {area.left + Scaled(kFileNameLeft), area.top, area.right - Scaled(kFileNameRightInset), area.bottom},
                     ControlFont(item.hwndItem), TextDark, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX});
}

const NoteLook& LookOfNote(int step) {
    if (step == 1) return kInfoNote;
    return step >= 4 ? kSuccessNote : kWarningNote;
}

void DrawNoteIcon(HDC dc, const NoteLook& look, int x0, int cy) {
    if (look.icon == NoteIcon::Circle) {
        const int size = Scaled(kNoteCircleSize);
        const RECT circle = {x0, cy - size / 2, x0 + size, cy - size / 2 + size};
        DrawGdiDisc(dc, {circle, look.iconColour, 0, 0});
        DrawTextBox(dc, {look.glyph, circle, Font(CaptionFont), White, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX});
        return;
    }
    POINT corners[3];
    for (int i = 0; i < 3; ++i) corners[i] = {x0 + Scaled(kNoteTriangle[i].x), cy + Scaled(kNoteTriangle[i].y)};
    FillTriangle(dc, corners, look.iconColour);
    const RECT glyph = Scaled(kNoteTriangleGlyph);
    DrawTextBox(dc, {look.glyph, {x0 + glyph.left, cy + glyph.top, x0 + glyph.right, cy + glyph.bottom}, Font(CaptionFont),
                     White, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX});
}

void DrawNote(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    const RECT& area = item.rcItem;
    const NoteLook& look = LookOfNote(App().wizardStep);
    DrawRoundBlock(dc, {area, Scaled(kNoteCorner), look.fill, true, look.outline});
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
    const int block = static_cast<int>(std::min<LONG>(column, std::max(title.cx, note.hasBody ? body.cx : static_cast<LONG>(column))));
    const int x0 = area.left + std::max(Scaled(kNoteMinLeft), (width - block - iconColumn) / 2);
    const int gap = note.hasBody ? Scaled(kNoteBodyGap) : 0;
    const int y0 = area.top + std::max(minTop, static_cast<int>(Height(area) - title.cy - gap - body.cy) / 2);
    DrawNoteIcon(dc, look, x0, area.top + Height(area) / 2);
    const int textLeft = x0 + iconColumn;
    DrawTextBox(dc, {note.title, {textLeft, y0, textLeft + block, y0 + title.cy}, titleFont, TextDark,
                     DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX});
    if (!note.hasBody) return;
    DrawTextBox(dc, {note.body, {textLeft, y0 + title.cy + gap, textLeft + block, area.bottom - minTop},
                     bodyFont, TextDark, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX});
}

struct OwnerDrawnStatic {
    int firstId;
    int lastId;
    void (*draw)(const DRAWITEMSTRUCT& item);
};
const OwnerDrawnStatic kOwnerDrawnStatics[] = {
    {IDC_PROGRESS, IDC_PROGRESS, DrawProgress},
    {IDC_STATUS1, IDC_STATUS5, DrawStatusLine},
    {IDC_FILE_BOX, IDC_FILE_BOX, DrawFileBox},
    {IDC_NOTE, IDC_NOTE, DrawNote},
};

// ---- plain statics ----

COLORREF MarkColour(const std::wstring& text) {
    if (!text.empty() && text[0] == L'✓') return SuccessGreen;
    if (!text.empty() && text[0] == L'✕') return ErrorRed;
    return TextDark;
}

bool IsStepLabel(int id) { return id >= IDC_STEP1 && id <= IDC_STEP3; }
bool IsStatusLine(int id) { return id >= IDC_STATUS1 && id <= IDC_STATUS5; }

COLORREF StaticTextColour(int id, HWND control) {
    if (IsStepLabel(id) && App().wizardStep == id - IDC_STEP1 + 1) return AccentBlue;
    if (IsStepLabel(id) || IsStatusLine(id)) return MarkColour(WindowTextOf(control, kOwnerTextChars + 1));
    return TextDark;
}

HBRUSH StaticBrush(int id) {
    if (id == IDC_FILE_BOX) return Brush(FileBoxBrush);
    if (id == IDC_NOTE) return Brush(App().wizardStep == 1 ? InfoNoteBrush : WarningNoteBrush);
    if (id == IDC_TITLE) return Brush(BackgroundBrush);
    return Brush(CardBrush);
}

} // namespace

LRESULT PaintMainWindow(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    {
        const GdipSurface surface(dc);
        const int step = App().wizardStep;
        PaintCards(surface.graphics, step);
        PaintStepIndicator(surface.graphics, step);
        PaintPicture(surface.graphics, Ui().logo, Ui().logoLarge, kLogoBox);
        PaintPicture(surface.graphics, Ui().instrument, Ui().instrumentLarge, kInstrumentBox);
    }
    EndPaint(window, &paint);
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
