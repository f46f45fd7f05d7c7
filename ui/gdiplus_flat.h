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

constexpr int GpSmoothingModeAntiAlias = 4;

struct GdiplusStartupInput {
    uint32_t GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};

// One row per flat function: name, result, parameter list. Add a row to reach another one.
#define ZARVEL_GDIPLUS_FUNCTIONS(X)                                                                 \
    X(GdiplusStartup, GpStatus, (ULONG_PTR * token, const GdiplusStartupInput* input, void* output)) \
    X(GdiplusShutdown, void, (ULONG_PTR token))                                                     \
    X(GdipLoadImageFromFile, GpStatus, (const WCHAR* file, GpImage** image))                        \
    X(GdipCreateBitmapFromFile, GpStatus, (const WCHAR* file, GpBitmap** bitmap))                   \
    X(GdipCreateHICONFromBitmap, GpStatus, (GpBitmap * bitmap, HICON * icon))                       \
    X(GdipDisposeImage, GpStatus, (GpImage * image))                                                \
    X(GdipCreateFromHDC, GpStatus, (HDC dc, GpGraphics * *graphics))                                \
    X(GdipDeleteGraphics, GpStatus, (GpGraphics * graphics))                                        \
    X(GdipSetSmoothingMode, GpStatus, (GpGraphics * graphics, int mode))                            \
    X(GdipDrawImageRectI, GpStatus, (GpGraphics * graphics, GpImage * image, INT x, INT y, INT width, INT height))

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
