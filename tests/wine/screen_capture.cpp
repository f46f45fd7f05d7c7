#include "tests/wine/screen_capture.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "tests/wine/ui_harness.h"
#include "ui/system_libraries.h"

#include <gtest/gtest.h>

namespace {

struct Dib {
    HBITMAP bitmap = nullptr;
    void* bits = nullptr;
};

Dib MakeTopDownDib(HDC dc, int width, int height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    Dib dib;
    dib.bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &dib.bits, nullptr, 0);
    return dib;
}

std::string Hex(COLORREF colour) {
    char text[32];
    std::snprintf(text, sizeof(text), "RGB(%d, %d, %d)", GetRValue(colour), GetGValue(colour), GetBValue(colour));
    return text;
}

RECT Clipped(const Screenshot& shot, const RECT& area) {
    return {std::max<LONG>(area.left, 0), std::max<LONG>(area.top, 0), std::min<LONG>(area.right, shot.width),
            std::min<LONG>(area.bottom, shot.height)};
}

// GDI+ flat functions the product does not need, for writing PNG files.
using CreateFromScan0 = int(WINAPI*)(INT, INT, INT, INT, BYTE*, void**);
using SaveToFile = int(WINAPI*)(void*, const WCHAR*, const CLSID*, const void*);
using Dispose = int(WINAPI*)(void*);
constexpr INT kPixelFormat32bppRGB = 0x00022009;
constexpr CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

bool WritePng(const Screenshot& shot, const std::filesystem::path& file) {
    HMODULE gdiplus = LoadSystemLibrary(L"gdiplus.dll");
    const auto create = SystemFunction<CreateFromScan0>(gdiplus, "GdipCreateBitmapFromScan0");
    const auto save = SystemFunction<SaveToFile>(gdiplus, "GdipSaveImageToFile");
    const auto dispose = SystemFunction<Dispose>(gdiplus, "GdipDisposeImage");
    if (create == nullptr || save == nullptr || dispose == nullptr || shot.pixels.empty()) return false;
    std::vector<uint32_t> pixels = shot.pixels;
    void* bitmap = nullptr;
    if (create(shot.width, shot.height, shot.width * 4, kPixelFormat32bppRGB, reinterpret_cast<BYTE*>(pixels.data()),
               &bitmap) != 0)
        return false;
    const bool saved = save(bitmap, file.c_str(), &kPngEncoder, nullptr) == 0;
    dispose(bitmap);
    return saved;
}

} // namespace

COLORREF Screenshot::At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return RGB(0, 0, 0);
    const uint32_t pixel = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

Screenshot CaptureScreen(const RECT& area) {
    Screenshot shot;
    shot.origin = {area.left, area.top};
    shot.width = area.right - area.left;
    shot.height = area.bottom - area.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    const Dib dib = MakeTopDownDib(screen, shot.width, shot.height);
    if (dib.bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, dib.bitmap);
        BitBlt(memory, 0, 0, shot.width, shot.height, screen, area.left, area.top, SRCCOPY);
        GdiFlush();
        const auto* bits = static_cast<const uint32_t*>(dib.bits);
        shot.pixels.assign(bits, bits + static_cast<size_t>(shot.width) * static_cast<size_t>(shot.height));
        SelectObject(memory, old);
        DeleteObject(dib.bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return shot;
}

Screenshot RenderText(const RECT& frame, HFONT font, const std::wstring& text, UINT format, COLORREF ink, COLORREF background) {
    Screenshot shot;
    shot.width = frame.right - frame.left;
    shot.height = frame.bottom - frame.top;
    HDC memory = CreateCompatibleDC(nullptr);
    const Dib dib = MakeTopDownDib(memory, shot.width, shot.height);
    if (dib.bitmap != nullptr) {
        HGDIOBJ oldBitmap = SelectObject(memory, dib.bitmap);
        HBRUSH brush = CreateSolidBrush(background);
        FillRect(memory, &frame, brush);
        DeleteObject(brush);
        HGDIOBJ oldFont = SelectObject(memory, font);
        SetBkMode(memory, TRANSPARENT);
        SetTextColor(memory, ink);
        RECT area = frame;
        DrawTextW(memory, text.c_str(), static_cast<int>(text.size()), &area, format);
        GdiFlush();
        const auto* bits = static_cast<const uint32_t*>(dib.bits);
        shot.pixels.assign(bits, bits + static_cast<size_t>(shot.width) * static_cast<size_t>(shot.height));
        SelectObject(memory, oldFont);
        SelectObject(memory, oldBitmap);
        DeleteObject(dib.bitmap);
    }
    DeleteDC(memory);
    return shot;
}

namespace {

// Ink by pixel, for one area.
struct InkMap {
    int width;
    int height;
    std::vector<bool> ink;
    bool At(int x, int y) const {
        return x >= 0 && y >= 0 && x < width && y < height && ink[static_cast<size_t>(y * width + x)];
    }
    bool Near(int x, int y, bool value) const {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (x + dx >= 0 && y + dy >= 0 && x + dx < width && y + dy < height && At(x + dx, y + dy) == value) return true;
        return false;
    }
};

InkMap InkOf(const Screenshot& shot, const RECT& area, COLORREF ink, int tolerance) {
    InkMap map = {area.right - area.left, area.bottom - area.top, {}};
    for (int y = area.top; y < area.bottom; ++y)
        for (int x = area.left; x < area.right; ++x) map.ink.push_back(ColourDistance(shot.At(x, y), ink) < tolerance);
    return map;
}

} // namespace

std::string CompareText(const Screenshot& shot, const TextExpectation& expected) {
    const RECT& area = expected.area;
    const RECT frame = {0, 0, area.right - area.left, area.bottom - area.top};
    const int tolerance =
        expected.inkTolerance >= 0 ? expected.inkTolerance : ColourDistance(expected.ink, expected.background) / 2;
    const Screenshot reference = RenderText(frame, expected.font, expected.text, expected.format, expected.ink, expected.background);
    const InkMap wanted = InkOf(reference, frame, expected.ink, tolerance);
    const InkMap seen = InkOf(shot, area, expected.ink, tolerance);
    int inkPixels = 0;
    int misplaced = 0;
    for (int y = 0; y < frame.bottom; ++y) {
        for (int x = 0; x < frame.right; ++x) {
            inkPixels += wanted.At(x, y) ? 1 : 0;
            if (wanted.At(x, y) != seen.At(x, y) && !wanted.Near(x, y, seen.At(x, y))) ++misplaced;
        }
    }
    if (inkPixels > 0 && misplaced <= inkPixels / 50) return std::string();
    const std::string name = "expected_text_" + std::to_string(area.left) + "_" + std::to_string(area.top);
    std::ostringstream out;
    out << "text \"" << NarrowForReport(expected.text) << "\" at (" << area.left << ", " << area.top << "): " << misplaced
        << " pixels off among its " << inkPixels << " ink pixels; expected as in " << SaveScreenshot(reference, name).string();
    return out.str();
}

std::string NarrowForReport(const std::wstring& text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(), size, nullptr, nullptr);
    return narrow;
}

Screenshot CaptureClient(HWND window) {
    RECT client = {};
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return CaptureScreen(client);
}

std::filesystem::path ScreenshotDirectory() {
    const std::filesystem::path directory = WinePath(ZARVEL_SCREENSHOT_DIR);
    static bool announced = false;
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    if (!announced) std::cout << "Screenshots: " << ZARVEL_SCREENSHOT_DIR << std::endl;
    announced = true;
    return directory;
}

std::filesystem::path SaveScreenshot(const Screenshot& shot, const std::string& name) {
    const std::filesystem::path file = ScreenshotDirectory() / (name + ".png");
    return WritePng(shot, file) ? file : std::filesystem::path();
}

int ColourDistance(COLORREF a, COLORREF b) {
    const int red = std::abs(GetRValue(a) - GetRValue(b));
    const int green = std::abs(GetGValue(a) - GetGValue(b));
    const int blue = std::abs(GetBValue(a) - GetBValue(b));
    return std::max(red, std::max(green, blue));
}

AreaCheck At(const std::string& what, int x, int y, COLORREF colour, int tolerance) {
    return {what, {x, y, x + 1, y + 1}, colour, tolerance, Coverage::Every};
}
AreaCheck Near(const std::string& what, int x, int y, COLORREF colour, int tolerance) {
    return {what, {x - 1, y - 1, x + 2, y + 2}, colour, tolerance, Coverage::Some};
}
AreaCheck Somewhere(const std::string& what, const RECT& area, COLORREF colour, int tolerance) {
    return {what, area, colour, tolerance, Coverage::Some};
}
AreaCheck Everywhere(const std::string& what, const RECT& area, COLORREF colour, int tolerance) {
    return {what, area, colour, tolerance, Coverage::Every};
}
AreaCheck Nowhere(const std::string& what, const RECT& area, COLORREF colour, int tolerance) {
    return {what, area, colour, tolerance, Coverage::None};
}

std::string Verify(const Screenshot& shot, const AreaCheck& check) {
    const RECT area = Clipped(shot, check.area);
    int matching = 0;
    int total = 0;
    COLORREF example = RGB(0, 0, 0);
    bool haveExample = false;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            const COLORREF pixel = shot.At(x, y);
            const bool matches = ColourDistance(pixel, check.colour) <= check.tolerance;
            ++total;
            if (matches) ++matching;
            const bool unwanted = check.coverage == Coverage::None ? matches : !matches;
            if (unwanted && !haveExample) {
                example = pixel;
                haveExample = true;
            }
        }
    }
    const bool holds = total > 0 && (check.coverage == Coverage::Every   ? matching == total
                                     : check.coverage == Coverage::Some ? matching > 0
                                                                        : matching == 0);
    if (holds) return std::string();
    std::ostringstream out;
    out << check.what << ": expected " << Hex(check.colour) << " ±" << check.tolerance << " "
        << (check.coverage == Coverage::Every ? "everywhere" : check.coverage == Coverage::Some ? "somewhere" : "nowhere")
        << " in (" << check.area.left << ", " << check.area.top << ")-(" << check.area.right << ", " << check.area.bottom
        << "); " << matching << " of " << total << " pixels match";
    if (haveExample) out << ", e.g. " << Hex(example);
    return out.str();
}

std::vector<std::string> WaitForScreen(const std::function<Screenshot()>& capture, const std::vector<AreaCheck>& checks,
                                       const std::string& name) {
    Screenshot shot;
    std::vector<std::string> failures;
    PumpUntil(
        [&] {
            shot = capture();
            failures.clear();
            for (const AreaCheck& check : checks) {
                std::string failure = Verify(shot, check);
                if (!failure.empty()) failures.push_back(std::move(failure));
            }
            return failures.empty();
        },
        10000);
    const std::filesystem::path saved = SaveScreenshot(shot, name);
    if (!failures.empty()) failures.push_back("screenshot: " + (saved.empty() ? std::string("not saved") : saved.string()));
    return failures;
}

void ExpectClientShows(HWND window, const std::vector<AreaCheck>& checks, const std::string& name) {
    for (const std::string& failure : WaitForScreen([window] { return CaptureClient(window); }, checks, name))
        ADD_FAILURE() << name << ": " << failure;
}
