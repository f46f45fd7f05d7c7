#pragma once
// What the screen shows, read back from the display as a user would see it, and checked at
// chosen pixels with a small tolerance for anti-aliasing.

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct Screenshot {
    POINT origin = {};               // screen position of pixel (0, 0)
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;    // 0x00RRGGBB, rows top down
    COLORREF At(int x, int y) const; // relative to origin; black outside
};

// The given screen rectangle, read from the screen's device context.
Screenshot CaptureScreen(const RECT& area);
// A window's client area, with (0, 0) at the client origin.
Screenshot CaptureClient(HWND window);

// text drawn by DrawTextW into frame (at 0, 0) over background, as a reference to compare with.
Screenshot RenderText(const RECT& frame, HFONT font, const std::wstring& text, UINT format, COLORREF ink, COLORREF background);
// A text as DrawTextW draws it into area (screenshot coordinates), to compare with the screen.
struct TextExpectation {
    RECT area;
    HFONT font;
    std::wstring text;
    UINT format;
    COLORREF ink;
    COLORREF background;
    int inkTolerance = -1; // a pixel is ink this close to the ink colour; -1: half way from the background
};
// Empty when the screen shows the text's ink where a reference drawing puts it, give or take one
// pixel of anti-aliasing at the glyphs' edges; else how far it is off (the reference is saved).
std::string CompareText(const Screenshot& shot, const TextExpectation& expected);

// UTF-8, for failure messages.
std::string NarrowForReport(const std::wstring& text);

// Where the screenshots of this run go (build/<windows>/screenshots), created on first use.
std::filesystem::path ScreenshotDirectory();
// Saves a screenshot as a PNG there; the full path, or empty when it could not be written.
std::filesystem::path SaveScreenshot(const Screenshot& shot, const std::string& name);

// Largest difference of the three channels.
int ColourDistance(COLORREF a, COLORREF b);

// One expectation about an area of a screenshot (coordinates relative to its origin).
enum class Coverage {
    Every, // every pixel of the area has the colour
    Some,  // at least one pixel has it
    None,  // no pixel has it
};
struct AreaCheck {
    std::string what;
    RECT area; // left, top, right, bottom (exclusive)
    COLORREF colour;
    int tolerance;
    Coverage coverage;
};

// The pixel at (x, y).
AreaCheck At(const std::string& what, int x, int y, COLORREF colour, int tolerance = 4);
// Some pixel at most one pixel away from (x, y): for thin anti-aliased lines and rings.
AreaCheck Near(const std::string& what, int x, int y, COLORREF colour, int tolerance = 24);
AreaCheck Somewhere(const std::string& what, const RECT& area, COLORREF colour, int tolerance = 24);
AreaCheck Everywhere(const std::string& what, const RECT& area, COLORREF colour, int tolerance = 4);
AreaCheck Nowhere(const std::string& what, const RECT& area, COLORREF colour, int tolerance = 24);

// Empty when the check holds, else what was found instead.
std::string Verify(const Screenshot& shot, const AreaCheck& check);

// Pumps the thread's messages and captures again until every check holds, or 10 s passed (the
// display shows a painting only once Wine has flushed it); saves the last capture as name.
// The failures of the last capture, each with what was found instead.
std::vector<std::string> WaitForScreen(const std::function<Screenshot()>& capture, const std::vector<AreaCheck>& checks,
                                       const std::string& name);
// The same for a window's client area; adds a test failure for each check that does not hold.
void ExpectClientShows(HWND window, const std::vector<AreaCheck>& checks, const std::string& name);
