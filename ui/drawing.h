#pragma once
// Drawing helpers for the window and the pop-up. Each takes one record that says what to draw;
// the pens, brushes and fonts a helper makes live only for that call. GDI+ helpers draw
// anti-aliased shapes onto a surface; GDI helpers draw the owner-drawn controls.

#include <windows.h>

#include <optional>
#include <span>
#include <string>

#include "ui/gdi_guards.h"
#include "ui/gdiplus_flat.h"
#include "ui/layout_scale.h"

// ---- GDI+ ----

// A GDI+ drawing surface on a device context with anti-aliased smoothing, taking design
// coordinates at the layout scale (pictures then resampled with a high-quality filter); empty
// when the library is missing, and then every GDI+ helper draws nothing.
using GdipSurface = GdipObject<GpGraphics>;
GdipSurface SurfaceOn(HDC dc);

// A GDI+ font of a family by name, or of the generic sans-serif family when that family is
// missing or gives no font.
struct GdipFont {
    GdipFont(const wchar_t* face, float emPixels, int style);
    GdipObject<GpFontFamily> family;
    GdipObject<GpFont> font; // released before its family
};

// Four quarter arcs of radius `radius` inside rect, filled, then outlined with a 1-pixel pen.
struct RoundedCard {
    DesignRect rect;
    float radius;
    COLORREF fill;
    COLORREF outline;
};
void DrawRoundedCard(GpGraphics* graphics, const RoundedCard& card);

// Connected straight segments through points.
struct StrokedLine {
    std::span<const DesignPoint> points;
    float width;
    COLORREF colour;
};
void DrawStrokedLine(GpGraphics* graphics, const StrokedLine& line);

// The ellipse inscribed in bounds, filled first, then ringed (no ring when ringWidth is 0).
struct Disc {
    DesignRect bounds;
    COLORREF fill;
    COLORREF ring = 0;
    float ringWidth = 0;
};
void DrawDisc(GpGraphics* graphics, const Disc& disc);

// One text centred horizontally and vertically in box.
struct CentredText {
    const wchar_t* text;
    DesignRect box;
    const GdipFont& font;
    COLORREF colour;
};
void DrawCentredText(GpGraphics* graphics, const CentredText& text);

// A picture scaled into a box; nothing when it did not load.
struct PlacedPicture {
    GpImage* image;
    GpStatus status;
    PixelBox box;
};
void DrawPlacedPicture(GpGraphics* graphics, const PlacedPicture& picture);

// ---- GDI ----

// A rounded rectangle over rect with a corner ellipse of corner x corner; a 1-pixel outline or none.
struct RoundBlock {
    RECT rect;
    int corner;
    COLORREF fill;
    std::optional<COLORREF> outline = std::nullopt;
};
void DrawRoundBlock(HDC dc, const RoundBlock& block);

// An outline of width pixels inside rect, inset from its edge, following the block's rounded corners.
struct RoundRing {
    RECT rect;
    int corner;
    int inset;
    int width;
    COLORREF colour;
};
void DrawRoundRing(HDC dc, const RoundRing& ring);

// The ellipse in bounds, filled, with a ring of ringWidth pixels (none when 0): Disc's fields for GDI.
struct GdiDisc {
    RECT bounds;
    COLORREF fill;
    COLORREF ring = 0;
    int ringWidth = 0;
};
void DrawGdiDisc(HDC dc, const GdiDisc& disc);

void FillTriangle(HDC dc, const POINT (&corners)[3], COLORREF fill);
void FillSolid(HDC dc, const RECT& area, COLORREF colour);

// Text on a transparent background with DrawTextW's format flags.
struct TextBox {
    const std::wstring& text;
    RECT rect;
    HFONT font;
    COLORREF colour;
    UINT format;
};
void DrawTextBox(HDC dc, const TextBox& box);

// Width and height DrawTextW needs for text in font: on one line, or wrapped at width.
SIZE MeasureText(HDC dc, HFONT font, const std::wstring& text, bool wrapped, int width);

// The font a control holds (WM_GETFONT); owner-drawn controls draw their text in it.
HFONT ControlFont(HWND control);

// A control's text, read up to capacity - 1 characters.
std::wstring WindowTextOf(HWND window, int capacity);
