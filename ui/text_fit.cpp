#include "ui/text_fit.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>

#include "ui/control_ids.h"
#include "ui/drawing.h"
#include "ui/gdi_guards.h"
#include "ui/layout_scale.h"
#include "ui/paint_layout.h"

namespace {

enum class Lines { None, One, Wrapped, Note };

// How one control's text must fit. Insets are design pixels left and right of the text's box
// inside the control; the font is the one the text is drawn in, or FontCount for the font the
// control is given (plain statics, whose font the page may change).
struct FitRule {
    int firstId;
    int lastId;
    Lines lines;
    UiFont drawnIn = FontCount;
    int left = 0;
    int right = 0;
};

// The check box's own square and the gap after it, which the system draws at the window's DPI.
constexpr int kCheckSquareAndGap = 24;

// clang-format off
const FitRule kFitRules[] = {
    {.firstId = IDC_TITLE, .lastId = IDC_STEP3, .lines = Lines::One},
    {.firstId = IDC_HEADING, .lastId = IDC_HEADING, .lines = Lines::One},
    {.firstId = IDC_DESCRIPTION, .lastId = IDC_DESCRIPTION, .lines = Lines::Wrapped},
    {.firstId = IDC_STATUS1, .lastId = IDC_STATUS5, .lines = Lines::One, .drawnIn = RowFont, .left = kStatusLabelLeft},
    {.firstId = IDC_FILE_BOX, .lastId = IDC_FILE_BOX, .lines = Lines::One, .drawnIn = CaptionFont,
     .left = kFileNameLeft, .right = kFileNameRightInset},
    {.firstId = IDC_CHOOSE_FILE, .lastId = IDC_CHOOSE_FILE, .lines = Lines::One, .drawnIn = CaptionFont},
    {.firstId = IDC_ACCEPT_RISK, .lastId = IDC_ACCEPT_RISK, .lines = Lines::One, .left = kCheckSquareAndGap},
    {.firstId = IDC_START, .lastId = IDC_START, .lines = Lines::One, .drawnIn = CaptionFont},
    {.firstId = IDC_NOTE, .lastId = IDC_NOTE, .lines = Lines::Note, .drawnIn = CaptionFont},
    {.firstId = IDC_CANCEL, .lastId = IDC_NEXT_INSTRUMENT, .lines = Lines::One, .drawnIn = CaptionFont},
    {.firstId = IDC_DLG_CONFIRM, .lastId = IDC_DLG_CONFIRM, .lines = Lines::One, .drawnIn = DialogLabelFont},
    {.firstId = IDC_DLG_KICKER, .lastId = IDC_DLG_TITLE, .lines = Lines::One},
    {.firstId = IDC_DLG_TEXT, .lastId = IDC_DLG_HINT, .lines = Lines::Wrapped},
};
// clang-format on
constexpr FitRule kNoRule = {.firstId = 0, .lastId = 0, .lines = Lines::None};

std::map<int, UiFont> designFonts; // window thread: by control id, as the tables and pages give them
std::map<int, TextOrigin> origins; // window thread: by control id; a text is fixed until set as outside

constexpr const wchar_t* kBodyFontProperty = L"ZarvelNoteBodyFont";

const FitRule& RuleOf(int id) {
    for (const FitRule& rule : kFitRules)
        if (id >= rule.firstId && id <= rule.lastId) return rule;
    return kNoRule;
}

UiFont DesignFontOf(int id, const FitRule& rule) {
    if (rule.drawnIn != FontCount) return rule.drawnIn;
    const auto given = designFonts.find(id);
    return given != designFonts.end() ? given->second : BaseFont;
}

// The design font where the text fits or may not shrink; else the largest of the smaller ones
// down to three quarters of its height that fits, or that floor, where the text is cut.
HFONT FittingFont(UiFont font, bool mayShrink, const std::function<bool(HFONT)>& fits) {
    HFONT chosen = Font(font);
    if (!mayShrink || fits(chosen)) return chosen;
    const int design = FontHeight(font);
    const int floor = (design * 3 + 3) / 4;
    for (int height = design - 1; height >= floor; --height) {
        chosen = FontOfHeight(font, height);
        if (chosen == Font(font) || fits(chosen)) return chosen; // a font that cannot be made keeps the design's
    }
    return chosen;
}

void SetFontOf(HWND control, HFONT font) {
    if (reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)) != font)
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void FitNote(HWND control, HDC dc, const SIZE box, bool mayShrink) {
    const NoteParts note = SplitNote(WindowTextOf(control, kOwnerTextChars + 1));
    const int column = box.cx - Scaled(kNoteTextColumnInset);
    HFONT title = FittingFont(CaptionFont, mayShrink, [&](HFONT font) {
        return MeasureText(dc, font, note.title, false, column).cx <= column;
    });
    const int titleHeight = MeasureText(dc, title, note.title, false, column).cy;
    const int room = box.cy - 2 * Scaled(kNoteMinTop) - titleHeight - Scaled(kNoteBodyGap);
    HFONT body = FittingFont(BaseFont, mayShrink && note.hasBody, [&](HFONT font) {
        const SIZE needed = MeasureText(dc, font, note.body, true, column);
        return needed.cx <= column && needed.cy <= room;
    });
    if (GetPropW(control, kBodyFontProperty) != body) {
        SetPropW(control, kBodyFontProperty, body);
        InvalidateRect(control, nullptr, TRUE);
    }
    SetFontOf(control, title);
}

} // namespace

void SetDesignFont(int id, UiFont font) { designFonts[id] = font; }

void SetTextOrigin(int id, TextOrigin origin) { origins[id] = origin; }

void FitControlText(HWND control) {
    const int id = GetDlgCtrlID(control);
    const FitRule& rule = RuleOf(id);
    const UiFont design = DesignFontOf(id, rule);
    const auto origin = origins.find(id);
    const bool mayShrink = origin == origins.end() || origin->second == TextOrigin::Fixed;
    RECT client = {};
    GetClientRect(control, &client);
    // Not placed yet: nothing to fit into, and no smaller fonts made for it; its page fits it when it places it.
    if (client.right <= 0 || client.bottom <= 0) return SetFontOf(control, Font(design));
    const WindowDc measuring(control);
    if (rule.lines == Lines::Note) return FitNote(control, measuring.Get(), {client.right, client.bottom}, mayShrink);
    if (rule.lines == Lines::None) return SetFontOf(control, Font(design));
    std::wstring text = WindowTextOf(control, kOwnerTextChars + 1);
    if (id >= IDC_STATUS1 && id <= IDC_STATUS5) text = StatusLabel(text);
    const int width = client.right - Scaled(rule.left) - Scaled(rule.right);
    const bool wrapped = rule.lines == Lines::Wrapped;
    SetFontOf(control, FittingFont(design, mayShrink, [&](HFONT font) {
                  const SIZE needed = MeasureText(measuring.Get(), font, text, wrapped, width);
                  return needed.cx <= width && needed.cy <= client.bottom;
              }));
}

HFONT NoteBodyFont(HWND note) {
    auto* body = static_cast<HFONT>(GetPropW(note, kBodyFontProperty));
    return body != nullptr ? body : Font(BaseFont);
}

NoteParts SplitNote(const std::wstring& text) {
    const size_t feed = text.find(L'\n');
    NoteParts note;
    note.title = text.substr(0, feed);
    if (!note.title.empty() && note.title.back() == L'\r') note.title.pop_back();
    note.hasBody = feed != std::wstring::npos;
    if (note.hasBody) note.body = text.substr(feed + 1);
    return note;
}

std::wstring StatusLabel(const std::wstring& text) {
    const bool marked = !text.empty() &&
                        std::any_of(std::begin(kStatusMarks), std::end(kStatusMarks),
                                    [&text](const StatusMarkLook& look) { return look.mark == text[0]; });
    if (!marked) return text;
    const size_t label = text.find_first_not_of(L' ', 1);
    return label == std::wstring::npos ? std::wstring() : text.substr(label);
}
