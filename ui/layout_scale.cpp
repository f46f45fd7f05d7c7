#include "ui/layout_scale.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/log.h"

namespace {

double scale = 1.0; // window thread; set once, before anything is laid out

bool MonitorWorkArea(HWND window, RECT* workArea) {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) return false;
    *workArea = monitor.rcWork;
    return true;
}

WorkAreaSource workAreaSource = MonitorWorkArea;

int ScaledEdge(int edge) { return static_cast<int>(std::lround(edge * scale)); }

void LogScale(double chosen, SIZE work, bool fits) {
    char line[160];
    std::snprintf(line, sizeof(line), "Window scale: %.2f (work area %ldx%ld)%s", chosen, work.cx, work.cy,
                  fits ? "" : "; the smallest scale, placed at the work area's top-left corner");
    WriteLog(line);
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

double FitScale(SIZE outer, SIZE frame, SIZE work) {
    const double across = static_cast<double>(work.cx - frame.cx) / (outer.cx - frame.cx);
    const double down = static_cast<double>(work.cy - frame.cy) / (outer.cy - frame.cy);
    return std::max(kSmallestLayoutScale, std::min({1.0, across, down}));
}

void FitMainWindowToWorkArea(HWND window, SIZE designOuter) {
    scale = 1.0;
    RECT area = {};
    if (!workAreaSource(window, &area)) return;
    RECT frameRect = {0, 0, 0, 0};
    AdjustWindowRectEx(&frameRect, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    const SIZE frame = {frameRect.right - frameRect.left, frameRect.bottom - frameRect.top};
    const SIZE work = {area.right - area.left, area.bottom - area.top};
    const double chosen = FitScale(designOuter, frame, work);
    if (chosen >= 1.0) return;
    scale = chosen;
    const int width = Scaled(static_cast<int>(designOuter.cx - frame.cx)) + frame.cx;
    const int height = Scaled(static_cast<int>(designOuter.cy - frame.cy)) + frame.cy;
    const bool fits = width <= work.cx && height <= work.cy;
    // Centred where it fits; otherwise its caption stays reachable at the top-left corner.
    const int x = fits ? area.left + (work.cx - width) / 2 : area.left;
    const int y = fits ? area.top + (work.cy - height) / 2 : area.top;
    SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    LogScale(chosen, work, fits);
}

void SetWorkAreaSource(WorkAreaSource source) { workAreaSource = source != nullptr ? source : MonitorWorkArea; }
