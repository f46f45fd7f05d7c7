#pragma once
// GDI+ through its flat interface. gdiplus.dll is not a known DLL, so it is never linked: an
// elevated program started from a downloads folder would pick up a planted copy beside it. It
// is loaded from System32 only and its functions are reached through this table.

#include <windows.h>

#include <algorithm>
// The GDI+ headers take IStream and an unqualified min and max for granted; this project builds
// with WIN32_LEAN_AND_MEAN and NOMINMAX.
#include <objidl.h>
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
#include <gdiplus.h>

// The header's flat types under their own names, outside its namespace.
using GpStatus = Gdiplus::GpStatus;
using GpImage = Gdiplus::GpImage;
using GpBitmap = Gdiplus::GpBitmap;
using GpGraphics = Gdiplus::GpGraphics;
using GpPath = Gdiplus::GpPath;
using GpBrush = Gdiplus::GpBrush;
using GpSolidFill = Gdiplus::GpSolidFill;
using GpPen = Gdiplus::GpPen;
using GpFontFamily = Gdiplus::GpFontFamily;
using GpFont = Gdiplus::GpFont;
using GpStringFormat = Gdiplus::GpStringFormat;

// Design pixels for GDI+ drawing. Plain aggregates, unlike the header's RectF and PointF, so
// that the layout tables can be constexpr; the drawing helpers convert them.
struct DesignRect {
    float x;
    float y;
    float width;
    float height;
};

struct DesignPoint {
    float x;
    float y;
};

// Where the header declares the flat functions: start-up and shut-down in Gdiplus, the rest in
// Gdiplus::DllExports.
namespace GdiplusDeclarations {
using namespace Gdiplus;
using namespace Gdiplus::DllExports;
} // namespace GdiplusDeclarations

// The flat functions the program calls, each typed by its declaration, but for those that release
// what these make (ZARVEL_GDIPLUS_RELEASES in gdi_guards.h). Add a name to reach another.
// clang-format off
#define ZARVEL_GDIPLUS_FUNCTIONS(X)                                                                          \
    X(GdiplusStartup) X(GdipLoadImageFromFile) X(GdipCreateBitmapFromFile) X(GdipCreateHICONFromBitmap)     \
    X(GdipCreateFromHDC) X(GdipSetSmoothingMode) X(GdipSetTextRenderingHint) X(GdipDrawImageRectI)          \
    X(GdipCreatePath) X(GdipAddPathArc) X(GdipClosePathFigure) X(GdipCreateSolidFill) X(GdipCreatePen1)     \
    X(GdipFillPath) X(GdipDrawPath) X(GdipDrawLines) X(GdipFillEllipse) X(GdipDrawEllipse)                  \
    X(GdipCreateFontFamilyFromName) X(GdipGetGenericFontFamilySansSerif) X(GdipCreateFont)                 \
    X(GdipCreateStringFormat) X(GdipSetStringFormatAlign) X(GdipSetStringFormatLineAlign) X(GdipDrawString) \
    X(GdipScaleWorldTransform) X(GdipSetInterpolationMode)
// clang-format on

struct GdiplusFlat {
// decltype names the function without calling it, so nothing here imports gdiplus.dll.
#define ZARVEL_GDIPLUS_MEMBER(name) decltype(&GdiplusDeclarations::name) name = nullptr;
    ZARVEL_GDIPLUS_FUNCTIONS(ZARVEL_GDIPLUS_MEMBER)
#undef ZARVEL_GDIPLUS_MEMBER
    bool loaded = false; // every entry above was found, and every release
};

// Loads gdiplus.dll from System32 (once) and fills the table and the releases' table; false
// when the library or any of its functions is missing, and then every entry of both stays null.
bool LoadGdiplusFlat();
// The table; entries are null until LoadGdiplusFlat succeeded.
const GdiplusFlat& Gdip();

// An opaque GDI+ colour from a GDI one.
constexpr Gdiplus::ARGB ToArgb(COLORREF colour) {
    return 0xFF000000u | (static_cast<Gdiplus::ARGB>(GetRValue(colour)) << 16) |
           (static_cast<Gdiplus::ARGB>(GetGValue(colour)) << 8) | static_cast<Gdiplus::ARGB>(GetBValue(colour));
}
