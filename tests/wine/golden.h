#pragma once
// Golden pages: the client area as the user sees it against an approved PNG in tests/wine/golden/, written anew
// with ZARVEL_BLESS=1 (scripts/bless-goldens.sh) and reviewed as a shot in its commit.

#include <cstdlib>
#include <string>

#include "tests/wine/window_harness.h"

// The GDI+ functions only these tests call, from the library the window loads.
#define ZARVEL_GDIP(name) SystemFunction<decltype(&GdiplusDeclarations::name)>(GetModuleHandleW(L"gdiplus.dll"), #name)

struct Shot { std::vector<uint32_t> pixels; LONG width = 0; }; // 0x00RRGGBB, top row first

inline bool WritePng(const std::string& file, Shot shot) {
    static const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
    for (uint32_t& pixel : shot.pixels) pixel |= 0xFF000000; // opaque, however the encoder reads the fourth byte
    GdipObject<GpImage> image;
    MakeInto<GpBitmap>(image, ZARVEL_GDIP(GdipCreateBitmapFromScan0), shot.width, static_cast<INT>(shot.pixels.size() / shot.width),
                       shot.width * 4, PixelFormat32bppRGB, reinterpret_cast<BYTE*>(shot.pixels.data()));
    return image.Get() != nullptr && ZARVEL_GDIP(GdipSaveImageToFile)(image.Get(), WinePath(file).c_str(), &kPngEncoder, nullptr) == Gdiplus::Ok;
}

inline Shot ReadPng(const std::string& file) { // empty when missing or unreadable
    GdipObject<GpImage> image;
    MakeInto<GpBitmap>(image, Gdip().GdipCreateBitmapFromFile, WinePath(file).c_str());
    auto* bitmap = static_cast<GpBitmap*>(image.Get());
    UINT width = 0, height = 0;
    Gdiplus::BitmapData data = {};
    if (bitmap == nullptr || ZARVEL_GDIP(GdipGetImageWidth)(bitmap, &width) != Gdiplus::Ok || ZARVEL_GDIP(GdipGetImageHeight)(bitmap, &height) != Gdiplus::Ok) return {};
    const Gdiplus::GpRect all = {0, 0, static_cast<INT>(width), static_cast<INT>(height)};
    if (ZARVEL_GDIP(GdipBitmapLockBits)(bitmap, &all, Gdiplus::ImageLockModeRead, PixelFormat32bppRGB, &data) != Gdiplus::Ok) return {};
    Shot shot{std::vector<uint32_t>(static_cast<size_t>(width) * height), static_cast<LONG>(width)};
    for (UINT y = 0; y < height; ++y)
        for (UINT x = 0; x < width; ++x) shot.pixels[y * width + x] = static_cast<const uint32_t*>(data.Scan0)[y * (data.Stride / 4) + x] & 0xFFFFFF;
    ZARVEL_GDIP(GdipBitmapUnlockBits)(bitmap, &data);
    return shot;
}

// Empty when seen matches the golden, else what is off; diff gets the golden faded, the pixels off in red.
inline std::string Mismatch(const Shot& golden, const Shot& seen, Shot* diff) {
    // Three runs in fresh prefixes drew identical bytes: room for another FreeType's glyph edges only, 24 a channel on 0.05 % (~700 pixels).
    constexpr int kChannelTolerance = 24;
    constexpr double kShareTolerated = 0.0005;
    const auto size = [](const Shot& p) { return std::to_string(p.width) + "x" + std::to_string(p.pixels.size() / std::max(1L, p.width)); };
    if (golden.width != seen.width || golden.pixels.size() != seen.pixels.size()) return "size " + size(seen) + ", golden " + size(golden);
    size_t over = 0, within = 0;
    *diff = {std::vector<uint32_t>(seen.pixels.size()), seen.width};
    for (size_t i = 0; i < seen.pixels.size(); ++i) {
        const int off = ChannelOff(golden.pixels[i], seen.pixels[i]);
        over += off > kChannelTolerance, within += off > 0 && off <= kChannelTolerance;
        diff->pixels[i] = off > 0 ? 0xFF0000 : 0xC0C0C0 + (golden.pixels[i] >> 2 & 0x3F3F3F);
    }
    if (over == 0 && within <= kShareTolerated * seen.pixels.size()) return "";
    return std::to_string(over) + " pixels off by more than " + std::to_string(kChannelTolerance) + ", " + std::to_string(within) + " by less";
}

// The window's client area (pop-ups in front included) as tests/wine/golden/<name>.png shows it, within 10 s.
inline void ExpectGolden(HWND window, const std::string& name) {
    const std::string golden = ZARVEL_SOURCE_DIR "/tests/wine/golden/" + name + ".png", out = ZARVEL_BINARY_DIR "/" + name;
    const auto capture = [&] { return Shot{ClientPixels(window), RectOf(window, GetClientRect).right}; };
    ASSERT_TRUE(LoadGdiplusFlat()) << "GDI+ reads and writes the PNGs";
    const GdiplusSession gdiplus = StartGdiplus(); // the window may be another process's
    PumpUntil([] { return HIWORD(GetQueueStatus(QS_POSTMESSAGE | QS_SENDMESSAGE | QS_PAINT)) == 0; });
    if (const char* bless = std::getenv("ZARVEL_BLESS"); bless != nullptr && std::string(bless) == "1") {
        Shot seen = capture(), before;
        PumpUntil([&] { return before = std::exchange(seen, capture()), before.pixels == seen.pixels; });
        EXPECT_TRUE(WritePng(golden, seen)) << "could not write " << golden;
        return;
    }
    const Shot wanted = ReadPng(golden);
    Shot seen = capture(), diff;
    std::string mismatch = wanted.width == 0 ? "missing or unreadable" : Mismatch(wanted, seen, &diff);
    if (wanted.width > 0) PumpUntil([&] { return (mismatch = Mismatch(wanted, seen = capture(), &diff)).empty(); });
    if (mismatch.empty()) return;
    WritePng(out + ".actual.png", seen);
    if (!diff.pixels.empty()) WritePng(out + ".diff.png", diff);
    ADD_FAILURE() << "golden " << golden << " (made by scripts/bless-goldens.sh at 96 dpi with Open Sans): " << mismatch
                  << "\n  actual: " << out << ".actual.png" << (diff.pixels.empty() ? "" : "\n  diff:   " + out + ".diff.png");
}
