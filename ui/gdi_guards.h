#pragma once
// Scope guards for the GDI and GDI+ objects of both windows: each object is owned from the
// statement that makes it and released on every path, selections are undone, device contexts
// handed back. Wine reports no GDI counts, so the guards keep their own: liveGdiObjects is
// what they hold, made minus released, and a leak shows in it. Window thread only.

#include <windows.h>

#include <type_traits>
#include <utility>

#include "core/scoped_handle.h"
#include "ui/gdiplus_flat.h"

// The GDI+ functions that end what the others make; only the guards below call them.
// clang-format off
#define ZARVEL_GDIPLUS_RELEASES(X)                                                                         \
    X(GdiplusShutdown) X(GdipDisposeImage) X(GdipDeleteGraphics) X(GdipDeletePath) X(GdipDeleteBrush) \
    X(GdipDeletePen) X(GdipDeleteFontFamily) X(GdipDeleteFont) X(GdipDeleteStringFormat)
// clang-format on

struct GdiplusReleases {
#define ZARVEL_GDIPLUS_RELEASE_MEMBER(name) decltype(&GdiplusDeclarations::name) name = nullptr;
    ZARVEL_GDIPLUS_RELEASES(ZARVEL_GDIPLUS_RELEASE_MEMBER)
#undef ZARVEL_GDIPLUS_RELEASE_MEMBER
};
// Filled by LoadGdiplusFlat together with Gdip(); null entries until then.
const GdiplusReleases& GdipReleases();

// Window thread only: the objects the guards hold now.
inline int liveGdiObjects = 0;

// What the guards below hold is counted in liveGdiObjects.
struct GdiCount {
    static void Made() { ++liveGdiObjects; }
    static void Released() { --liveGdiObjects; }
};
template <typename Handle, bool (*Release)(Handle)>
using GdiOwned = Owned<Handle, Release, GdiCount>;

// ---- GDI ----

template <typename Handle>
bool DeleteGdiObject(Handle object) {
    return DeleteObject(object) != FALSE;
}
inline bool DestroyIconHandle(HICON icon) { return DestroyIcon(icon) != FALSE; }
inline bool DeleteMemoryDc(HDC dc) { return DeleteDC(dc) != FALSE; }

// A font, brush, pen or bitmap.
template <typename Handle>
using GdiObject = GdiOwned<Handle, DeleteGdiObject<Handle>>;
using OwnedIcon = GdiOwned<HICON, DestroyIconHandle>;
using MemoryDc = GdiOwned<HDC, DeleteMemoryDc>;

// A window's device context (the screen's for a null window), from GetDC.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {
        if (dc_ != nullptr) ++liveGdiObjects;
    }
    ~WindowDc() {
        if (dc_ != nullptr && ReleaseDC(window_, dc_) != 0) --liveGdiObjects;
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// WM_PAINT's device context, from BeginPaint to EndPaint.
class PaintDc {
public:
    explicit PaintDc(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {
        if (dc_ != nullptr) ++liveGdiObjects;
    }
    ~PaintDc() {
        const bool ended = EndPaint(window_, &paint_) != FALSE;
        if (dc_ != nullptr && ended) --liveGdiObjects;
    }
    PaintDc(const PaintDc&) = delete;
    PaintDc& operator=(const PaintDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_ = {};
    HDC dc_;
};

// An object selected into a device context until the end of the scope, then the one before it
// again. Declared after the guard of an object it selects, it is undone before that one deletes.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
    ~Selected() { SelectObject(dc_, old_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

// ---- GDI+ ----

inline bool ReleaseGdip(Gdiplus::GpImage* image) { return GdipReleases().GdipDisposeImage(image) == Gdiplus::Ok; }
inline bool ReleaseGdip(Gdiplus::GpGraphics* graphics) {
    return GdipReleases().GdipDeleteGraphics(graphics) == Gdiplus::Ok;
}
inline bool ReleaseGdip(Gdiplus::GpPath* path) { return GdipReleases().GdipDeletePath(path) == Gdiplus::Ok; }
inline bool ReleaseGdip(Gdiplus::GpBrush* brush) { return GdipReleases().GdipDeleteBrush(brush) == Gdiplus::Ok; }
inline bool ReleaseGdip(Gdiplus::GpPen* pen) { return GdipReleases().GdipDeletePen(pen) == Gdiplus::Ok; }
inline bool ReleaseGdip(Gdiplus::GpFontFamily* family) {
    return GdipReleases().GdipDeleteFontFamily(family) == Gdiplus::Ok;
}
inline bool ReleaseGdip(Gdiplus::GpFont* font) { return GdipReleases().GdipDeleteFont(font) == Gdiplus::Ok; }
inline bool ReleaseGdip(Gdiplus::GpStringFormat* format) {
    return GdipReleases().GdipDeleteStringFormat(format) == Gdiplus::Ok;
}
inline bool ShutDownGdiplus(ULONG_PTR token) {
    GdipReleases().GdiplusShutdown(token);
    return true;
}

// An image, graphics, path, brush, pen, font family, font or string format of the flat interface.
template <typename Object>
using GdipObject = GdiOwned<Object*, ReleaseGdip>;
// The library from GdiplusStartup to GdiplusShutdown: every other GDI+ object goes before it.
using GdiplusSession = GdiOwned<ULONG_PTR, ShutDownGdiplus>;

// Calls a GDI+ function that makes an object into its last argument and gives the object to
// guard, which stays empty when the library is missing or the call failed. Made names what the
// function makes where the guard holds it as its base (a GpSolidFill as a GpBrush).
template <typename Made = void, typename Guard, typename Make, typename... Args>
Gdiplus::GpStatus MakeInto(Guard& guard, Make make, Args... args) {
    using Out = std::conditional_t<std::is_void_v<Made>, typename Guard::HandleType, Made*>;
    Out made = nullptr;
    const Gdiplus::GpStatus status = make != nullptr ? make(args..., &made) : Gdiplus::GenericError;
    guard = Guard(status == Gdiplus::Ok ? made : nullptr);
    return status;
}

// Starts the library (its result is not checked: without it no picture loads and nothing is drawn).
inline GdiplusSession StartGdiplus() {
    ULONG_PTR token = 0;
    const Gdiplus::GdiplusStartupInput input;
    if (Gdip().GdiplusStartup != nullptr) Gdip().GdiplusStartup(&token, &input, nullptr);
    return GdiplusSession(token);
}
