#include "ui/drawing.h"

#include <vector>

#include "ui/layout_scale.h"

namespace {

// A GDI object selected into a device context for one drawing; restored, then deleted if owned.
struct Selection {
    Selection(HDC dc, HGDIOBJ object, bool owned) : dc(dc), object(object), owned(owned), old(SelectObject(dc, object)) {}
    ~Selection() {
        SelectObject(dc, old);
        if (owned) DeleteObject(object);
    }
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;
    HDC dc;
    HGDIOBJ object;
    bool owned;
    HGDIOBJ old;
};

HGDIOBJ MakePen(bool drawn, int width, COLORREF colour) {
    return drawn ? static_cast<HGDIOBJ>(CreatePen(PS_SOLID, width, colour)) : GetStockObject(NULL_PEN);
}

struct GdipBrush {
    explicit GdipBrush(COLORREF colour) {
        GpSolidFill* fill = nullptr;
        if (Gdip().loaded) Gdip().GdipCreateSolidFill(ToArgb(colour), &fill);
        brush = fill;
    }
    ~GdipBrush() {
        if (brush != nullptr) Gdip().GdipDeleteBrush(brush);
    }
    GdipBrush(const GdipBrush&) = delete;
    GdipBrush& operator=(const GdipBrush&) = delete;
    GpBrush* brush = nullptr;
};

struct GdipPen {
    GdipPen(COLORREF colour, float width) {
        if (Gdip().loaded) Gdip().GdipCreatePen1(ToArgb(colour), width, GpUnitPixel, &pen);
    }
    ~GdipPen() {
        if (pen != nullptr) Gdip().GdipDeletePen(pen);
    }
    GdipPen(const GdipPen&) = delete;
    GdipPen& operator=(const GdipPen&) = delete;
    GpPen* pen = nullptr;
};

struct GdipPath {
    GdipPath() { Gdip().GdipCreatePath(GpFillModeAlternate, &path); }
    ~GdipPath() {
        if (path != nullptr) Gdip().GdipDeletePath(path);
    }
    GdipPath(const GdipPath&) = delete;
    GdipPath& operator=(const GdipPath&) = delete;
    GpPath* path = nullptr;
};

struct GdipCentredFormat {
    GdipCentredFormat() {
        Gdip().GdipCreateStringFormat(0, LANG_NEUTRAL, &format);
        if (format == nullptr) return;
        Gdip().GdipSetStringFormatAlign(format, GpStringAlignmentCenter);
        Gdip().GdipSetStringFormatLineAlign(format, GpStringAlignmentCenter);
    }
    ~GdipCentredFormat() {
        if (format != nullptr) Gdip().GdipDeleteStringFormat(format);
    }
    GdipCentredFormat(const GdipCentredFormat&) = delete;
    GdipCentredFormat& operator=(const GdipCentredFormat&) = delete;
    GpStringFormat* format = nullptr;
};

GpFont* FontOfFamily(GpFontFamily* family, float emPixels, int style) {
    GpFont* font = nullptr;
    if (family != nullptr && Gdip().GdipCreateFont(family, emPixels, style, GpUnitPixel, &font) != GpOk) font = nullptr;
    return font;
}

void ReleaseFamily(GpFontFamily*& family) {
    if (family != nullptr) Gdip().GdipDeleteFontFamily(family);
    family = nullptr;
}

} // namespace

// ---- GDI+ ----

GdipSurface::GdipSurface(HDC dc) {
    const GdiplusFlat& gdip = Gdip();
    if (!gdip.loaded || gdip.GdipCreateFromHDC(dc, &graphics) != GpOk) {
        graphics = nullptr;
        return;
    }
    gdip.GdipSetSmoothingMode(graphics, GpSmoothingModeAntiAlias);
    // Every GDI+ shape, text and picture is given in design pixels; one transform scales them all.
    const double scale = LayoutScale();
    if (scale == 1.0) return;
    gdip.GdipScaleWorldTransform(graphics, static_cast<float>(scale), static_cast<float>(scale), GpMatrixOrderPrepend);
    gdip.GdipSetInterpolationMode(graphics, GpInterpolationModeHighQualityBicubic);
}

GdipSurface::~GdipSurface() {
    if (graphics != nullptr) Gdip().GdipDeleteGraphics(graphics);
}

GdipFont::GdipFont(const wchar_t* face, float emPixels, int style) {
    const GdiplusFlat& gdip = Gdip();
    if (!gdip.loaded) return;
    if (gdip.GdipCreateFontFamilyFromName(face, nullptr, &family) != GpOk) family = nullptr;
    font = FontOfFamily(family, emPixels, style);
    if (font != nullptr) return;
    ReleaseFamily(family);
    if (gdip.GdipGetGenericFontFamilySansSerif(&family) != GpOk) family = nullptr;
    font = FontOfFamily(family, emPixels, style);
}

GdipFont::~GdipFont() {
    if (font != nullptr) Gdip().GdipDeleteFont(font);
    ReleaseFamily(family);
}

void DrawRoundedCard(GpGraphics* graphics, const RoundedCard& card) {
    if (graphics == nullptr) return;
    const GdiplusFlat& gdip = Gdip();
    const GpRectF& r = card.rect;
    const float d = 2 * card.radius;
    GdipPath path;
    if (path.path == nullptr) return;
    gdip.GdipAddPathArc(path.path, r.x, r.y, d, d, 180, 90);
    gdip.GdipAddPathArc(path.path, r.x + r.width - d, r.y, d, d, 270, 90);
    gdip.GdipAddPathArc(path.path, r.x + r.width - d, r.y + r.height - d, d, d, 0, 90);
    gdip.GdipAddPathArc(path.path, r.x, r.y + r.height - d, d, d, 90, 90);
    gdip.GdipClosePathFigure(path.path);
    GdipBrush fill(card.fill);
    GdipPen outline(card.outline, 1);
    gdip.GdipFillPath(graphics, fill.brush, path.path);
    gdip.GdipDrawPath(graphics, outline.pen, path.path);
}

void DrawStrokedLine(GpGraphics* graphics, const StrokedLine& line) {
    if (graphics == nullptr) return;
    GdipPen pen(line.colour, line.width);
    std::vector<Gdiplus::PointF> points;
    for (int i = 0; i < line.count; ++i) points.emplace_back(line.points[i].x, line.points[i].y);
    Gdip().GdipDrawLines(graphics, pen.pen, points.data(), line.count);
}

void DrawDisc(GpGraphics* graphics, const Disc& disc) {
    if (graphics == nullptr) return;
    const GpRectF& b = disc.bounds;
    GdipBrush fill(disc.fill);
    Gdip().GdipFillEllipse(graphics, fill.brush, b.x, b.y, b.width, b.height);
    if (disc.ringWidth <= 0) return;
    GdipPen ring(disc.ring, disc.ringWidth);
    Gdip().GdipDrawEllipse(graphics, ring.pen, b.x, b.y, b.width, b.height);
}

void DrawCentredText(GpGraphics* graphics, const CentredText& text) {
    if (graphics == nullptr || text.font.font == nullptr) return;
    GdipBrush brush(text.colour);
    GdipCentredFormat format;
    const Gdiplus::RectF box(text.box.x, text.box.y, text.box.width, text.box.height);
    Gdip().GdipDrawString(graphics, text.text, -1, text.font.font, &box, format.format, brush.brush);
}

void DrawPlacedPicture(GpGraphics* graphics, const PlacedPicture& picture) {
    if (graphics == nullptr || picture.status != GpOk || picture.image == nullptr) return;
    Gdip().GdipDrawImageRectI(graphics, picture.image, picture.x, picture.y, picture.width, picture.height);
}

// ---- GDI ----

void DrawRoundBlock(HDC dc, const RoundBlock& block) {
    Selection brush(dc, CreateSolidBrush(block.fill), true);
    Selection pen(dc, MakePen(block.outlined, 1, block.outline), block.outlined);
    const RECT& r = block.rect;
    RoundRect(dc, r.left, r.top, r.right, r.bottom, block.corner, block.corner);
}

void DrawGdiDisc(HDC dc, const GdiDisc& disc) {
    Selection brush(dc, CreateSolidBrush(disc.fill), true);
    Selection pen(dc, MakePen(disc.ringWidth > 0, disc.ringWidth, disc.ring), disc.ringWidth > 0);
    const RECT& r = disc.rect;
    Ellipse(dc, r.left, r.top, r.right, r.bottom);
}

void FillTriangle(HDC dc, const POINT (&corners)[3], COLORREF fill) {
    Selection brush(dc, CreateSolidBrush(fill), true);
    Selection pen(dc, GetStockObject(NULL_PEN), false);
    Polygon(dc, corners, 3);
}

void FillSolid(HDC dc, const RECT& area, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
}

void DrawTextBox(HDC dc, const TextBox& box) {
    Selection font(dc, box.font, false);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, box.colour);
    RECT rect = box.rect;
    DrawTextW(dc, box.text.c_str(), static_cast<int>(box.text.size()), &rect, box.format);
}

SIZE MeasureText(HDC dc, HFONT font, const std::wstring& text, bool wrapped, int width) {
    Selection selected(dc, font, false);
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
