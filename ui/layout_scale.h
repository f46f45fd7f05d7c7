#pragma once
// One scale for the whole layout. The design is 1440 x 1040 physical pixels; where the screen's
// work area is smaller, every size and place of both windows, every font height and every
// painted shape is multiplied by one factor below 1, chosen once when the main window is
// created. At 1 every helper here returns its argument unchanged.

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

// The largest factor up to 1 at which a window whose outer size at 1 is `outer`, with a frame
// of `frame` (width and height of the system's border and caption), fits `work`; never below
// kSmallestLayoutScale.
double FitScale(SIZE outer, SIZE frame, SIZE work);
// Below this the base font would fall under 11 pixels.
constexpr double kSmallestLayoutScale = 11.0 / 22.0;

// Chooses the scale for the main window as it opens at its default place: sizes and moves it
// to fit the work area of its monitor and logs the choice. No monitor information: scale 1.
void FitMainWindowToWorkArea(HWND window, SIZE designOuter);

// Tests stand in for the monitor; nullptr restores the system's.
using WorkAreaSource = bool (*)(HWND window, RECT* workArea);
void SetWorkAreaSource(WorkAreaSource source);
