#pragma once
// GDI+ through its flat interface. gdiplus.dll is not a known DLL, so it is never linked: an
// elevated program started from a downloads folder would pick up a planted copy beside it. It
// is loaded from System32 only and its functions are reached through this table.

#include <windows.h>

#include <cstdint>

using GpStatus = int;
constexpr GpStatus GpOk = 0;
constexpr GpStatus GpGenericError = 1;

struct GpImage;
using GpBitmap = GpImage;
struct GpGraphics;
struct GpPath;
struct GpBrush;
struct GpPen;
struct GpFontFamily;
struct GpFontCollection;
struct GpFont;
struct GpStringFormat;

using GpArgb = uint32_t;

struct GpRectF {
    float x;
    float y;
    float width;
    float height;
};

struct GpPointF {
    float x;
    float y;
};

constexpr int GpSmoothingModeAntiAlias = 4;
constexpr int GpTextRenderingHintAntiAliasGridFit = 3;
constexpr int GpFillModeAlternate = 0;
constexpr int GpUnitPixel = 2;
constexpr int GpFontStyleRegular = 0;
constexpr int GpFontStyleBold = 1;
constexpr int GpStringAlignmentCenter = 1;

struct GdiplusStartupInput {
    uint32_t GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};

// One row per flat function: name, result, parameter list. Add a row to reach another one.
#define ZARVEL_GDIPLUS_FUNCTIONS(X)                                                                             \
    X(GdiplusStartup, GpStatus, (ULONG_PTR * token, const GdiplusStartupInput* input, void* output))            \
    X(GdiplusShutdown, void, (ULONG_PTR token))                                                                \
    X(GdipLoadImageFromFile, GpStatus, (const WCHAR* file, GpImage** image))                                   \
    X(GdipCreateBitmapFromFile, GpStatus, (const WCHAR* file, GpBitmap** bitmap))                              \
    X(GdipCreateHICONFromBitmap, GpStatus, (GpBitmap * bitmap, HICON * icon))                                  \
    X(GdipDisposeImage, GpStatus, (GpImage * image))                                                           \
    X(GdipCreateFromHDC, GpStatus, (HDC dc, GpGraphics * *graphics))                                           \
    X(GdipDeleteGraphics, GpStatus, (GpGraphics * graphics))                                                   \
    X(GdipSetSmoothingMode, GpStatus, (GpGraphics * graphics, int mode))                                       \
    X(GdipSetTextRenderingHint, GpStatus, (GpGraphics * graphics, int hint))                                   \
    X(GdipDrawImageRectI, GpStatus, (GpGraphics * graphics, GpImage * image, INT x, INT y, INT width, INT height)) \
    X(GdipCreatePath, GpStatus, (int fillMode, GpPath** path))                                                 \
    X(GdipDeletePath, GpStatus, (GpPath * path))                                                               \
    X(GdipAddPathArc, GpStatus, (GpPath * path, float x, float y, float width, float height, float start, float sweep)) \
    X(GdipClosePathFigure, GpStatus, (GpPath * path))                                                          \
    X(GdipCreateSolidFill, GpStatus, (GpArgb colour, GpBrush * *brush))                                        \
    X(GdipDeleteBrush, GpStatus, (GpBrush * brush))                                                            \
    X(GdipCreatePen1, GpStatus, (GpArgb colour, float width, int unit, GpPen** pen))                           \
    X(GdipDeletePen, GpStatus, (GpPen * pen))                                                                  \
    X(GdipFillPath, GpStatus, (GpGraphics * graphics, GpBrush * brush, GpPath * path))                         \
    X(GdipDrawPath, GpStatus, (GpGraphics * graphics, GpPen * pen, GpPath * path))                             \
    X(GdipDrawLines, GpStatus, (GpGraphics * graphics, GpPen * pen, const GpPointF* points, INT count))        \
    X(GdipFillEllipse, GpStatus, (GpGraphics * graphics, GpBrush * brush, float x, float y, float width, float height)) \
    X(GdipDrawEllipse, GpStatus, (GpGraphics * graphics, GpPen * pen, float x, float y, float width, float height)) \
    X(GdipCreateFontFamilyFromName, GpStatus, (const WCHAR* name, GpFontCollection* collection, GpFontFamily** family)) \
    X(GdipGetGenericFontFamilySansSerif, GpStatus, (GpFontFamily * *family))                                   \
    X(GdipDeleteFontFamily, GpStatus, (GpFontFamily * family))                                                 \
    X(GdipCreateFont, GpStatus, (const GpFontFamily* family, float emSize, INT style, int unit, GpFont** font)) \
    X(GdipDeleteFont, GpStatus, (GpFont * font))                                                               \
    X(GdipCreateStringFormat, GpStatus, (INT attributes, LANGID language, GpStringFormat** format))            \
    X(GdipDeleteStringFormat, GpStatus, (GpStringFormat * format))                                             \
    X(GdipSetStringFormatAlign, GpStatus, (GpStringFormat * format, int alignment))                            \
    X(GdipSetStringFormatLineAlign, GpStatus, (GpStringFormat * format, int alignment))                        \
    X(GdipDrawString, GpStatus, (GpGraphics * graphics, const WCHAR* text, INT length, const GpFont* font,     \
                                 const GpRectF* layout, const GpStringFormat* format, const GpBrush* brush))

struct GdiplusFlat {
#define ZARVEL_GDIPLUS_MEMBER(name, result, parameters) result(WINAPI* name) parameters = nullptr;
    ZARVEL_GDIPLUS_FUNCTIONS(ZARVEL_GDIPLUS_MEMBER)
#undef ZARVEL_GDIPLUS_MEMBER
    bool loaded = false; // every entry above was found
};

// Loads gdiplus.dll from System32 (once) and fills the table; false when the library or any
// of its functions is missing, and then every entry stays null.
bool LoadGdiplusFlat();
// The table; entries are null until LoadGdiplusFlat succeeded.
const GdiplusFlat& Gdip();

// An opaque GDI+ colour from a GDI one.
constexpr GpArgb ToArgb(COLORREF colour) {
    return 0xFF000000u | (static_cast<GpArgb>(GetRValue(colour)) << 16) | (static_cast<GpArgb>(GetGValue(colour)) << 8) |
           static_cast<GpArgb>(GetBValue(colour));
}
