#pragma once
// One scale for the whole layout. The design is a 1440 x 1040 window at 96 dpi; every size and
// place of both windows, every font height and every painted shape is multiplied by one factor:
// the display's DPI / 96, made smaller where the window would not fit its monitor's work area.
// Chosen when the main window opens and again when it moves to a monitor of another DPI. At 1
// every helper here returns its argument unchanged.

#include <windows.h>

// x, y, width, height.
struct PixelBox {
    int x;
    int y;
    int width;
    int height;
};

double LayoutScale();

// The one rounding rule: to the nearest pixel, and a length that was not zero stays at least 1.
int Scaled(int length);
// Edges are scaled, not sizes, so that boxes that touch at 1 still touch.
PixelBox Scaled(const PixelBox& box);
RECT Scaled(const RECT& rect);
// Font heights round down, so that a text never grows against the box around it.
int ScaledFontHeight(int designHeight);

// dpi / 96, or less where a window with this design client area and this frame (width and
// height of the system's border and caption at that DPI) would not fit `work`; never below
// kSmallestLayoutScale.
double ChooseScale(unsigned dpi, SIZE designClient, SIZE frame, SIZE work);
// Below this the base font would fall under 11 pixels.
constexpr double kSmallestLayoutScale = 11.0 / 22.0;
// The DPIs taken as they are; any other (0 included) counts as 96.
constexpr unsigned kLowestDpi = 96;
constexpr unsigned kHighestDpi = 480;

// Declares the process DPI-aware, per monitor where the system allows it; returns what took,
// for the log ("per-monitor v2", "per-monitor" or "system").
const char* DeclareDpiAwareness();

// Chooses the scale for the main window as it opens: at 96 dpi on a screen that holds it, the
// window keeps its design size and default place; otherwise it is sized to the design client
// area times the scale and centred on its monitor's work area, and the choice is logged.
void FitMainWindowToWorkArea(HWND window, SIZE designOuter);
// WM_DPICHANGED: the scale for the new DPI and the work area at the place the system suggests;
// the window takes that place, moved into the work area, at its own size. Logged.
void FollowDpiChange(HWND window, unsigned dpi, const RECT& suggested);
// WM_GETDPISCALEDSIZE: the outer size FollowDpiChange will give the window at that DPI.
SIZE OuterSizeAtDpi(HWND window, unsigned dpi);

// WM_GETDPISCALEDSIZE (Windows 10 1703 on): the headers give it only to programs that require Windows 10.
constexpr UINT kGetDpiScaledSizeMessage = 0x02E4;

// Tests stand in for the monitor, found from a place on the screen.
struct WorkAreaHooks {
    bool (*workArea)(const RECT& place, RECT* workArea); // false: the monitor cannot be told
};
// nullptr restores the system's. The hooks object must outlive its use.
void SetWorkAreaHooks(const WorkAreaHooks* hooks);
const WorkAreaHooks& CurrentWorkAreaHooks();
