#include "ui/text_fit.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>

#include "ui/control_ids.h"
#include "ui/drawing.h"
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
    UiFont drawnIn;
    int left;
    int right;
};

// The check box's own square and the gap after it, which the system draws at the window's DPI.
constexpr int kCheckSquareAndGap = 24;

const FitRule kFitRules[] = {
    {IDC_TITLE, IDC_STEP3, Lines::One, FontCount, 0, 0},
    {IDC_HEADING, IDC_HEADING, Lines::One, FontCount, 0, 0},
    {IDC_DESCRIPTION, IDC_DESCRIPTION, Lines::Wrapped, FontCount, 0, 0},
    {IDC_STATUS1, IDC_STATUS5, Lines::One, RowFont, kStatusLabelLeft, 0},
    {IDC_FILE_BOX, IDC_FILE_BOX, Lines::One, CaptionFont, kFileNameLeft, kFileNameRightInset},
    {IDC_CHOOSE_FILE, IDC_CHOOSE_FILE, Lines::One, CaptionFont, 0, 0},
    {IDC_ACCEPT_RISK, IDC_ACCEPT_RISK, Lines::One, FontCount, kCheckSquareAndGap, 0},
    {IDC_START, IDC_START, Lines::One, CaptionFont, 0, 0},
    {IDC_NOTE, IDC_NOTE, Lines::Note, CaptionFont, 0, 0},
    {IDC_CANCEL, IDC_NEXT_INSTRUMENT, Lines::One, CaptionFont, 0, 0},
    {IDC_DLG_CONFIRM, IDC_DLG_CONFIRM, Lines::One, DialogLabelFont, 0, 0},
    {IDC_DLG_KICKER, IDC_DLG_TITLE, Lines::One, FontCount, 0, 0},
    {IDC_DLG_TEXT, IDC_DLG_HINT, Lines::Wrapped, FontCount, 0, 0},
};
constexpr FitRule kNoRule = {0, 0, Lines::None, FontCount, 0, 0};

std::map<int, UiFont> designFonts;   // window thread: by control id, as the tables and pages give them
std::map<int, TextOrigin> origins;   // window thread: by control id; a text is fixed until set as outside

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

// A device context of the control, released on every path.
struct ControlDc {
    explicit ControlDc(HWND control) : control(control), dc(GetDC(control)) {}
    ~ControlDc() { ReleaseDC(control, dc); }
    ControlDc(const ControlDc&) = delete;
    ControlDc& operator=(const ControlDc&) = delete;
    HWND control;
    HDC dc;
};

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
    const ControlDc measuring(control);
    if (rule.lines == Lines::Note) return FitNote(control, measuring.dc, {client.right, client.bottom}, mayShrink);
    if (rule.lines == Lines::None) return SetFontOf(control, Font(design));
    std::wstring text = WindowTextOf(control, kOwnerTextChars + 1);
    if (id >= IDC_STATUS1 && id <= IDC_STATUS5) text = StatusLabel(text);
    const int width = client.right - Scaled(rule.left) - Scaled(rule.right);
    const bool wrapped = rule.lines == Lines::Wrapped;
    SetFontOf(control, FittingFont(design, mayShrink, [&](HFONT font) {
                  const SIZE needed = MeasureText(measuring.dc, font, text, wrapped, width);
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
    const bool marked = !text.empty() && std::any_of(std::begin(kStatusMarks), std::end(kStatusMarks),
                                                     [&text](const StatusMarkLook& look) { return look.mark == text[0]; });
    if (!marked) return text;
    const size_t label = text.find_first_not_of(L' ', 1);
    return label == std::wstring::npos ? std::wstring() : text.substr(label);
}
