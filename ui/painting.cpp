#include "ui/painting.h"

#include <string>

#include "core/app_state.h"
#include "ui/main_window.h"
#include "ui/ui_resources.h"

namespace {

std::wstring TextOf(HWND control) {
    wchar_t text[512] = {};
    GetWindowTextW(control, text, 512);
    return text;
}

void DrawPicture(GpGraphics* graphics, const Picture& picture, int x, int y, int width, int height) {
    if (picture.status == GpOk) Gdip().GdipDrawImageRectI(graphics, picture.image, x, y, width, height);
}

void DrawPictures(HDC dc) {
    const GdiplusFlat& gdip = Gdip();
    GpGraphics* graphics = nullptr;
    if (!gdip.loaded || gdip.GdipCreateFromHDC(dc, &graphics) != GpOk) return;
    gdip.GdipSetSmoothingMode(graphics, GpSmoothingModeAntiAlias);
    DrawPicture(graphics, Ui().logo, 35, 18, 300, 82);
    DrawPicture(graphics, Ui().instrument, 125, 285, 500, 500);
    gdip.GdipDeleteGraphics(graphics);
}

void FillSolid(HDC dc, const RECT& area, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
}

void DrawProgress(const DRAWITEMSTRUCT& item) {
    RECT filled = item.rcItem;
    const int width = item.rcItem.right - item.rcItem.left;
    const int percent = App().progressPercent;
    const int fill = percent <= 0 ? 0 : percent >= 100 ? width : MulDiv(width, percent, 100);
    FillSolid(item.hDC, item.rcItem, RGB(174, 186, 196));
    filled.right = filled.left + fill;
    if (fill > 0) FillSolid(item.hDC, filled, AccentBlue);
}

bool IsButton(int id) { return id == IDC_CHOOSE_FILE || id == IDC_START || id == IDC_CANCEL; }

void DrawPlainItem(const DRAWITEMSTRUCT& item) {
    const int id = static_cast<int>(item.CtlID);
    FillRect(item.hDC, &item.rcItem, Brush(id == IDC_FILE_BOX ? FileBoxBrush : CardBrush));
    const std::wstring text = TextOf(item.hwndItem);
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    RECT area = item.rcItem;
    HGDIOBJ oldFont = SelectObject(item.hDC, reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0)));
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, disabled && IsButton(id) ? RGB(150, 160, 170) : TextDark);
    const UINT format = IsButton(id) ? DT_CENTER | DT_VCENTER | DT_SINGLELINE : DT_LEFT | DT_WORDBREAK;
    DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &area, format);
    SelectObject(item.hDC, oldFont);
}

bool IsStatusLine(int id) { return id >= IDC_STATUS1 && id <= IDC_STATUS5; }

COLORREF MarkColour(const std::wstring& text) {
    if (!text.empty() && text[0] == L'✓') return SuccessGreen;
    if (!text.empty() && text[0] == L'✕') return ErrorRed;
    return TextDark;
}

COLORREF StaticTextColour(int id, HWND control) {
    const int step = App().wizardStep;
    if (id >= IDC_STEP1 && id <= IDC_STEP3 && step == id - IDC_STEP1 + 1) return AccentBlue;
    if ((id >= IDC_STEP1 && id <= IDC_STEP3) || IsStatusLine(id)) return MarkColour(TextOf(control));
    return TextDark;
}

HBRUSH StaticBrush(int id) {
    if (id == IDC_FILE_BOX) return Brush(FileBoxBrush);
    if (id == IDC_NOTE) return Brush(App().wizardStep == 1 ? InfoNoteBrush : WarningNoteBrush);
    if (id == IDC_TITLE) return Brush(BackgroundBrush);
    return Brush(CardBrush);
}

} // namespace

LRESULT EraseMainBackground(HWND window, HDC dc) {
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, Brush(BackgroundBrush));
    return 1;
}

LRESULT PaintMainWindow(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    DrawPictures(dc);
    EndPaint(window, &paint);
    return 0;
}

LRESULT DrawOwnerItem(const DRAWITEMSTRUCT& item) {
    if (item.CtlID == static_cast<UINT>(IDC_PROGRESS)) {
        DrawProgress(item);
    } else {
        DrawPlainItem(item);
    }
    return TRUE;
}

LRESULT ColorStatic(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, StaticTextColour(id, control));
    return reinterpret_cast<LRESULT>(StaticBrush(id));
}
