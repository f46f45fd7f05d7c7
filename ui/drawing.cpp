#include "ui/drawing.h"

#include <vector>

namespace {

GdipObject<GpBrush> SolidFill(COLORREF colour) {
    GdipObject<GpBrush> brush;
    MakeInto<GpSolidFill>(brush, Gdip().GdipCreateSolidFill, ToArgb(colour));
    return brush;
}

GdipObject<GpPen> SolidPen(COLORREF colour, float width) {
    GdipObject<GpPen> pen;
    MakeInto(pen, Gdip().GdipCreatePen1, ToArgb(colour), width, Gdiplus::UnitPixel);
    return pen;
}

GdipObject<GpStringFormat> CentredFormat() {
    GdipObject<GpStringFormat> format;
    if (MakeInto(format, Gdip().GdipCreateStringFormat, 0, LANG_NEUTRAL) != Gdiplus::Ok) return format;
    Gdip().GdipSetStringFormatAlign(format.Get(), Gdiplus::StringAlignmentCenter);
    Gdip().GdipSetStringFormatLineAlign(format.Get(), Gdiplus::StringAlignmentCenter);
    return format;
}

GdipObject<GpFont> FontOfFamily(GpFontFamily* family, float emPixels, int style) {
    GdipObject<GpFont> font;
    if (family != nullptr) MakeInto(font, Gdip().GdipCreateFont, family, emPixels, style, Gdiplus::UnitPixel);
    return font;
}

// A pen for a 1-pixel outline or a ring; none when not drawn, and the null pen is selected instead.
GdiObject<HPEN> PenOrNone(bool drawn, int width, COLORREF colour) {
    return GdiObject<HPEN>(drawn ? CreatePen(PS_SOLID, width, colour) : nullptr);
}

HGDIOBJ PenToSelect(const GdiObject<HPEN>& pen) {
    return pen ? static_cast<HGDIOBJ>(pen.Get()) : GetStockObject(NULL_PEN);
}

} // namespace

// ---- GDI+ ----

GdipSurface SurfaceOn(HDC dc) {
    const GdiplusFlat& gdip = Gdip();
    GdipSurface surface;
    if (MakeInto(surface, gdip.GdipCreateFromHDC, dc) != Gdiplus::Ok) return surface;
    gdip.GdipSetSmoothingMode(surface.Get(), Gdiplus::SmoothingModeAntiAlias);
    // Every GDI+ shape, text and picture is given in design pixels; one transform scales them all.
    const double scale = LayoutScale();
    if (scale == 1.0) return surface;
    const auto factor = static_cast<float>(scale);
    gdip.GdipScaleWorldTransform(surface.Get(), factor, factor, Gdiplus::MatrixOrderPrepend);
    gdip.GdipSetInterpolationMode(surface.Get(), Gdiplus::InterpolationModeHighQualityBicubic);
    return surface;
}

GdipFont::GdipFont(const wchar_t* face, float emPixels, int style) {
    MakeInto(family, Gdip().GdipCreateFontFamilyFromName, face, nullptr);
    font = FontOfFamily(family.Get(), emPixels, style);
    if (font) return;
    family.Reset();
    MakeInto(family, Gdip().GdipGetGenericFontFamilySansSerif);
    font = FontOfFamily(family.Get(), emPixels, style);
}

void DrawRoundedCard(GpGraphics* graphics, const RoundedCard& card) {
    if (graphics == nullptr) return;
    const GdiplusFlat& gdip = Gdip();
    const DesignRect& r = card.rect;
    const float d = 2 * card.radius;
    GdipObject<GpPath> path;
    if (MakeInto(path, gdip.GdipCreatePath, Gdiplus::FillModeAlternate) != Gdiplus::Ok) return;
    gdip.GdipAddPathArc(path.Get(), r.x, r.y, d, d, 180, 90);
    gdip.GdipAddPathArc(path.Get(), r.x + r.width - d, r.y, d, d, 270, 90);
    gdip.GdipAddPathArc(path.Get(), r.x + r.width - d, r.y + r.height - d, d, d, 0, 90);
    gdip.GdipAddPathArc(path.Get(), r.x, r.y + r.height - d, d, d, 90, 90);
    gdip.GdipClosePathFigure(path.Get());
    const GdipObject<GpBrush> fill = SolidFill(card.fill);
    const GdipObject<GpPen> outline = SolidPen(card.outline, 1);
    gdip.GdipFillPath(graphics, fill.Get(), path.Get());
    gdip.GdipDrawPath(graphics, outline.Get(), path.Get());
}

void DrawStrokedLine(GpGraphics* graphics, const StrokedLine& line) {
    if (graphics == nullptr) return;
    const GdipObject<GpPen> pen = SolidPen(line.colour, line.width);
    std::vector<Gdiplus::PointF> points;
    for (const DesignPoint& point : line.points) points.emplace_back(point.x, point.y);
    Gdip().GdipDrawLines(graphics, pen.Get(), points.data(), static_cast<INT>(points.size()));
}

void DrawDisc(GpGraphics* graphics, const Disc& disc) {
    if (graphics == nullptr) return;
    const DesignRect& b = disc.bounds;
    const GdipObject<GpBrush> fill = SolidFill(disc.fill);
    Gdip().GdipFillEllipse(graphics, fill.Get(), b.x, b.y, b.width, b.height);
    if (disc.ringWidth <= 0) return;
    const GdipObject<GpPen> ring = SolidPen(disc.ring, disc.ringWidth);
    Gdip().GdipDrawEllipse(graphics, ring.Get(), b.x, b.y, b.width, b.height);
}

void DrawCentredText(GpGraphics* graphics, const CentredText& text) {
    if (graphics == nullptr || !text.font.font) return;
    const GdipObject<GpBrush> brush = SolidFill(text.colour);
    const GdipObject<GpStringFormat> format = CentredFormat();
    const Gdiplus::RectF box(text.box.x, text.box.y, text.box.width, text.box.height);
    Gdip().GdipDrawString(graphics, text.text, -1, text.font.font.Get(), &box, format.Get(), brush.Get());
}

void DrawPlacedPicture(GpGraphics* graphics, const PlacedPicture& picture) {
    if (graphics == nullptr || picture.status != Gdiplus::Ok || picture.image == nullptr) return;
    const PixelBox& box = picture.box;
    Gdip().GdipDrawImageRectI(graphics, picture.image, box.x, box.y, box.width, box.height);
}

// ---- GDI ----

void DrawRoundBlock(HDC dc, const RoundBlock& block) {
    const GdiObject<HBRUSH> brush(CreateSolidBrush(block.fill));
    const Selected brushSelected(dc, brush.Get());
    const GdiObject<HPEN> pen = PenOrNone(block.outline.has_value(), 1, block.outline.value_or(0));
    const Selected penSelected(dc, PenToSelect(pen));
    const RECT& r = block.rect;
    RoundRect(dc, r.left, r.top, r.right, r.bottom, block.corner, block.corner);
}

void DrawRoundRing(HDC dc, const RoundRing& ring) {
    const GdiObject<HPEN> pen(CreatePen(PS_INSIDEFRAME, ring.width, ring.colour));
    const Selected penSelected(dc, pen.Get());
    const Selected brushSelected(dc, GetStockObject(NULL_BRUSH));
    const RECT& r = ring.rect;
    const int corner = ring.corner > 2 * ring.inset ? ring.corner - 2 * ring.inset : 0;
    RoundRect(dc, r.left + ring.inset, r.top + ring.inset, r.right - ring.inset, r.bottom - ring.inset, corner, corner);
}

void DrawGdiDisc(HDC dc, const GdiDisc& disc) {
    const GdiObject<HBRUSH> brush(CreateSolidBrush(disc.fill));
    const Selected brushSelected(dc, brush.Get());
    const GdiObject<HPEN> pen = PenOrNone(disc.ringWidth > 0, disc.ringWidth, disc.ring);
    const Selected penSelected(dc, PenToSelect(pen));
    const RECT& r = disc.bounds;
    Ellipse(dc, r.left, r.top, r.right, r.bottom);
}

void FillTriangle(HDC dc, const POINT (&corners)[3], COLORREF fill) {
    const GdiObject<HBRUSH> brush(CreateSolidBrush(fill));
    const Selected brushSelected(dc, brush.Get());
    const Selected penSelected(dc, GetStockObject(NULL_PEN));
    Polygon(dc, corners, 3);
}

void FillSolid(HDC dc, const RECT& area, COLORREF colour) {
    const GdiObject<HBRUSH> brush(CreateSolidBrush(colour));
    FillRect(dc, &area, brush.Get());
}

void DrawTextBox(HDC dc, const TextBox& box) {
    const Selected font(dc, box.font);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, box.colour);
    RECT rect = box.rect;
    DrawTextW(dc, box.text.c_str(), static_cast<int>(box.text.size()), &rect, box.format);
}

SIZE MeasureText(HDC dc, HFONT font, const std::wstring& text, bool wrapped, int width) {
    const Selected selected(dc, font);
    RECT rect = {0, 0, wrapped ? width : 0, 0};
    const UINT format = DT_CALCRECT | DT_NOPREFIX | (wrapped ? DT_WORDBREAK : DT_SINGLELINE);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

HFONT ControlFont(HWND control) { return reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)); }

std::wstring WindowTextOf(HWND window, int capacity) {
    std::vector<wchar_t> text(static_cast<size_t>(capacity), L'\0');
    const int length = GetWindowTextW(window, text.data(), capacity);
    return std::wstring(text.data(), static_cast<size_t>(length > 0 ? length : 0));
}
