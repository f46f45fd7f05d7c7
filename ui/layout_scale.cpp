#include "ui/layout_scale.h"

#include <shellscalingapi.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "core/log.h"
#include "text/seam.h"
#include "ui/gdi_guards.h"
#include "ui/system_libraries.h"

namespace {

double scale = 1.0;    // window thread; chosen as the main window opens and on each DPI change
SIZE designOuter = {}; // window thread; the main window's outer size at 96 dpi, kept for DPI changes

HMODULE User32() { return GetModuleHandleW(L"user32.dll"); }

bool MonitorWorkArea(const RECT& place, RECT* workArea) {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromRect(&place, MONITOR_DEFAULTTONEAREST), &monitor)) return false;
    *workArea = monitor.rcWork;
    return true;
}

constexpr WorkAreaHooks kMonitorWorkArea{.workArea = MonitorWorkArea};
constinit Seam<WorkAreaHooks> workAreaSeam{kMonitorWorkArea};

int ScaledEdge(int edge) { return static_cast<int>(std::lround(edge * scale)); }

// The border and caption the system draws around the window at dpi; the system DPI's where
// the system cannot say for another one (before Windows 10 1607).
SIZE FrameAt(HWND window, unsigned dpi) {
    // Typed here: the headers declare Windows 10's DPI functions only to programs that require Windows 10.
    using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjust = SystemFunction<AdjustForDpi>(User32(), "AdjustWindowRectExForDpi");
    const auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
    const auto extended = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
    RECT frame = {0, 0, 0, 0};
    if (adjust == nullptr || !adjust(&frame, style, FALSE, extended, dpi))
        AdjustWindowRectEx(&frame, style, FALSE, extended);
    return {frame.right - frame.left, frame.bottom - frame.top};
}

unsigned UsableDpi(unsigned dpi) { return dpi >= kLowestDpi && dpi <= kHighestDpi ? dpi : kLowestDpi; }

// The window's own moves say when they take 96 dpi instead; a size query alone stays quiet.
unsigned LoggedUsableDpi(unsigned dpi) {
    const unsigned usable = UsableDpi(dpi);
    if (usable != dpi) WriteLog("Display DPI " + std::to_string(dpi) + " is not usable; 96 dpi assumed");
    return usable;
}

unsigned WindowDpi(HWND window) {
    using DpiOfWindow = UINT(WINAPI*)(HWND);
    static const auto dpiOf = SystemFunction<DpiOfWindow>(User32(), "GetDpiForWindow");
    if (dpiOf != nullptr) return dpiOf(window);
    const WindowDc screen(nullptr);
    return static_cast<unsigned>(std::max(0, GetDeviceCaps(screen.Get(), LOGPIXELSX)));
}

SIZE DesignClient(HWND window) {
    const SIZE frame = FrameAt(window, kLowestDpi);
    return {designOuter.cx - frame.cx, designOuter.cy - frame.cy};
}

// Where the window goes at a DPI: the scale, the outer size, and the work area it keeps to.
struct Placement {
    unsigned dpi;
    double scale = 1.0;
    SIZE outer = {};
    bool areaKnown = false; // without monitor information nothing limits the size and nothing moves
    RECT area = {};
};

Placement PlaceAt(HWND window, unsigned dpi, const RECT& place) {
    Placement placement = {.dpi = dpi};
    placement.areaKnown = CurrentWorkAreaHooks().workArea(place, &placement.area);
    const SIZE work = placement.areaKnown
                          ? SIZE{placement.area.right - placement.area.left, placement.area.bottom - placement.area.top}
                          : SIZE{INT_MAX / 4, INT_MAX / 4};
    const SIZE client = DesignClient(window);
    const SIZE frame = FrameAt(window, dpi);
    placement.scale = ChooseScale(dpi, client, frame, work);
    const auto edge = [&placement](LONG length) { return static_cast<LONG>(std::lround(length * placement.scale)); };
    placement.outer = {edge(client.cx) + frame.cx, edge(client.cy) + frame.cy};
    return placement;
}

bool Fits(const Placement& placement) {
    const RECT& a = placement.area;
    return placement.outer.cx <= a.right - a.left && placement.outer.cy <= a.bottom - a.top;
}

void LogScale(const Placement& placement) {
    const RECT& a = placement.area;
    char line[200];
    if (!placement.areaKnown) {
        std::snprintf(line, sizeof(line), "Window scale: %.2f (%u dpi)", placement.scale, placement.dpi);
    } else {
        std::snprintf(line, sizeof(line), "Window scale: %.2f (%u dpi, work area %ldx%ld)%s", placement.scale,
                      placement.dpi, a.right - a.left, a.bottom - a.top,
                      Fits(placement) ? "" : "; the smallest scale, placed at the work area's top-left corner");
    }
    WriteLog(line);
}

// Takes the placement's scale and size, at `at` (the work area's middle when null) moved into
// the work area; where it cannot fit, its caption stays reachable at the top-left corner.
void Apply(HWND window, const Placement& placement, const POINT* at) {
    scale = placement.scale;
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    const RECT& a = placement.area;
    const LONG width = placement.outer.cx, height = placement.outer.cy;
    POINT corner = {0, 0};
    if (!placement.areaKnown && at == nullptr) flags |= SWP_NOMOVE;
    else if (!placement.areaKnown) corner = *at;
    else if (at == nullptr)
        corner = Fits(placement)
                     ? POINT{a.left + (a.right - a.left - width) / 2, a.top + (a.bottom - a.top - height) / 2}
                     : POINT{a.left, a.top};
    else
        corner = {std::max(a.left, std::min(at->x, a.right - width)),
                  std::max(a.top, std::min(at->y, a.bottom - height))};
    SetWindowPos(window, nullptr, corner.x, corner.y, width, height, flags);
    LogScale(placement);
}

} // namespace

double LayoutScale() { return scale; }

int Scaled(int length) {
    const int scaled = ScaledEdge(length);
    if (length > 0) return std::max(1, scaled);
    return length < 0 ? std::min(-1, scaled) : 0;
}

PixelBox Scaled(const PixelBox& box) {
    const int left = ScaledEdge(box.x);
    const int top = ScaledEdge(box.y);
    return {left, top, ScaledEdge(box.x + box.width) - left, ScaledEdge(box.y + box.height) - top};
}

RECT Scaled(const RECT& rect) {
    return {ScaledEdge(rect.left), ScaledEdge(rect.top), ScaledEdge(rect.right), ScaledEdge(rect.bottom)};
}

// The small allowance keeps 22 x 1.5 at 33 where the product comes out as 32.999...
int ScaledFontHeight(int designHeight) {
    return std::max(1, static_cast<int>(std::floor(designHeight * scale + 1e-6)));
}

double ChooseScale(unsigned dpi, SIZE designClient, SIZE frame, SIZE work) {
    const double across = static_cast<double>(work.cx - frame.cx) / designClient.cx;
    const double down = static_cast<double>(work.cy - frame.cy) / designClient.cy;
    return std::max(kSmallestLayoutScale, std::min({dpi / 96.0, across, down}));
}

const char* DeclareDpiAwareness() {
    // Typed here: the headers declare these only to programs that require Windows 10 and 8.1.
    using SetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    const auto setContext = SystemFunction<SetContext>(User32(), "SetProcessDpiAwarenessContext");
    // Refused, not only missing, on some systems: Wine 8 has the call but not per-monitor v2.
    if (setContext != nullptr && setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) return "per-monitor v2";
    if (setContext != nullptr && setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE)) return "per-monitor";
    using SetAwareness = HRESULT(WINAPI*)(PROCESS_DPI_AWARENESS);
    const auto setAwareness = SystemFunction<SetAwareness>(LoadSystemLibrary(L"shcore.dll"), "SetProcessDpiAwareness");
    if (setAwareness != nullptr && SUCCEEDED(setAwareness(PROCESS_PER_MONITOR_DPI_AWARE))) return "per-monitor";
    SetProcessDPIAware();
    return "system";
}

void FitMainWindowToWorkArea(HWND window, SIZE outer) {
    designOuter = outer;
    scale = 1.0;
    RECT place = {};
    GetWindowRect(window, &place);
    const Placement placement = PlaceAt(window, LoggedUsableDpi(WindowDpi(window)), place);
    // At 96 dpi on a screen that holds it the window stays as it always was: design size, default place.
    if (placement.dpi == kLowestDpi && (placement.scale == 1.0 || !placement.areaKnown)) return;
    Apply(window, placement, nullptr);
}

void FollowDpiChange(HWND window, unsigned dpi, const RECT& suggested) {
    const POINT at = {suggested.left, suggested.top};
    Apply(window, PlaceAt(window, LoggedUsableDpi(dpi), suggested), &at);
}

SIZE OuterSizeAtDpi(HWND window, unsigned dpi) {
    RECT place = {};
    GetWindowRect(window, &place);
    return PlaceAt(window, UsableDpi(dpi), place).outer;
}

void SetWorkAreaHooks(const WorkAreaHooks* hooks) { workAreaSeam.Set(hooks); }

const WorkAreaHooks& CurrentWorkAreaHooks() { return workAreaSeam.Current(); }
