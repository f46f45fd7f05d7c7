#include "ui/ui_resources.h"

#include <string>
#include <utility>

#include "core/log.h"
#include "ui/colours.h"
#include "ui/contrast.h"
#include "ui/layout_scale.h"

const FontRow kFontTable[FontCount] = {
    {.face = L"Segoe UI Variable Text", .height = 22, .weight = 400},    // BaseFont
    {.face = L"Segoe UI Variable Text", .height = 24, .weight = 600},    // CaptionFont
    {.face = L"Segoe UI Variable Display", .height = 45, .weight = 600}, // HeaderFont
    {.face = L"Segoe UI Variable Text", .height = 24, .weight = 600},    // StepLabelFont
    {.face = L"Segoe UI Variable Text", .height = 30, .weight = 400},    // RowFont
    {.face = L"Segoe UI Variable Display", .height = 34, .weight = 700}, // PageTitleFont
    {.face = L"Segoe UI Variable Text", .height = 28, .weight = 400},    // PageTextFont
    {.face = L"Segoe UI Variable Text", .height = 30, .weight = 700},    // PercentFont
    {.face = L"Segoe UI Variable Display", .height = 38, .weight = 700}, // DialogTitleFont
    {.face = L"Segoe UI Variable Text", .height = 31, .weight = 400},    // DialogTextFont
    {.face = L"Segoe UI Variable Text", .height = 25, .weight = 600},    // DialogLabelFont
};

const COLORREF kBrushTable[BrushCount] = {
    kColours.background, // BackgroundBrush
    kColours.white,      // CardBrush
    kColours.fileCard,   // FileBoxBrush
};

namespace {

// Windows 10 has no Segoe UI Variable; its mapper would pick some other design for it.
constexpr const wchar_t* kFallbackFace = L"Segoe UI";

int CALLBACK CountFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return 0;
}

bool IsFaceInstalled(const wchar_t* face) {
    LOGFONTW wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, face, LF_FACESIZE);
    int found = 0;
    const WindowDc screen(nullptr);
    EnumFontFamiliesExW(screen.Get(), &wanted, CountFamily, reinterpret_cast<LPARAM>(&found), 0);
    return found > 0;
}

GdiObject<HFONT> MakeFont(const FontRow& row, const wchar_t* face, int height) {
    return GdiObject<HFONT>(CreateFontW(height, 0, 0, 0, row.weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                                        DEFAULT_PITCH | FF_DONTCARE, face));
}

Picture LoadImagePicture(const std::filesystem::path& file) {
    Picture picture;
    picture.status = MakeInto(picture.image, Gdip().GdipLoadImageFromFile, file.c_str());
    return picture;
}

Picture LoadBitmapPicture(const std::filesystem::path& file) {
    Picture picture;
    picture.status = MakeInto<GpBitmap>(picture.image, Gdip().GdipCreateBitmapFromFile, file.c_str());
    return picture;
}

} // namespace

UiResources& Ui() {
    static UiResources* const resources = new UiResources();
    return *resources;
}

HFONT Font(UiFont font) { return Ui().fonts[font].Get(); }
HBRUSH Brush(UiBrush brush) { return Ui().brushes[brush].Get(); }

void CreateFontsAndBrushes() {
    UiResources& ui = Ui();
    bool fellBack = false;
    for (int i = 0; i < FontCount; ++i) {
        const bool installed = IsFaceInstalled(kFontTable[i].face);
        fellBack = fellBack || !installed;
        ui.faces[i] = installed ? kFontTable[i].face : kFallbackFace;
        ui.fonts[i] = MakeFont(kFontTable[i], ui.faces[i], FontHeight(static_cast<UiFont>(i)));
    }
    if (fellBack) WriteLog("Interface font: Segoe UI (Segoe UI Variable not installed)");
    RemakeBrushes();
}

// Every brush fills a background, which under high contrast is the window's colour.
void RemakeBrushes() {
    UiResources& ui = Ui();
    for (int i = 0; i < BrushCount; ++i)
        ui.brushes[i] = GdiObject<HBRUSH>(CreateSolidBrush(Pick(kBrushTable[i], COLOR_WINDOW)));
}

int FontHeight(UiFont font) { return ScaledFontHeight(kFontTable[font].height); }

HFONT FontOfHeight(UiFont font, int height) {
    UiResources& ui = Ui();
    if (height == FontHeight(font) || ui.faces[font] == nullptr) return Font(font);
    for (const ShrunkFont& shrunk : ui.shrunkFonts)
        if (shrunk.font == font && shrunk.height == height) return shrunk.handle.Get();
    GdiObject<HFONT> made = MakeFont(kFontTable[font], ui.faces[font], height);
    if (!made) return Font(font);
    const HFONT handle = made.Get();
    ui.shrunkFonts.push_back({.font = font, .height = height, .handle = std::move(made)});
    return handle;
}

std::vector<GdiObject<HFONT>> RemakeFonts() {
    UiResources& ui = Ui();
    std::vector<GdiObject<HFONT>> old;
    for (GdiObject<HFONT>& font : ui.fonts) old.push_back(std::move(font));
    for (ShrunkFont& shrunk : ui.shrunkFonts) old.push_back(std::move(shrunk.handle));
    ui.shrunkFonts.clear();
    for (int i = 0; i < FontCount; ++i)
        if (ui.faces[i] != nullptr)
            ui.fonts[i] = MakeFont(kFontTable[i], ui.faces[i], FontHeight(static_cast<UiFont>(i)));
    return old;
}

void DeleteFontsAndBrushes() {
    UiResources& ui = Ui();
    for (GdiObject<HFONT>& font : ui.fonts) font.Reset();
    for (const wchar_t*& face : ui.faces) face = nullptr;
    ui.shrunkFonts.clear();
    for (GdiObject<HBRUSH>& brush : ui.brushes) brush.Reset();
}

void StartGraphics() {
    if (LoadGdiplusFlat()) Ui().graphics = StartGdiplus();
}

void LoadPictures(const std::filesystem::path& executableDirectory) {
    UiResources& ui = Ui();
    ui.assets = executableDirectory / L"assets";
    ui.logo = LoadImagePicture(ui.assets / L"logo.png");
    ui.instrument = LoadImagePicture(ui.assets / L"ksaron4_ui.png");
    ui.iconBitmap = LoadBitmapPicture(ui.assets / L"icon.png");
    if (ui.iconBitmap.status != Gdiplus::Ok) return;
    // LoadBitmapPicture made it as a bitmap.
    auto* bitmap = static_cast<GpBitmap*>(ui.iconBitmap.image.Get());
    MakeInto(ui.icon, Gdip().GdipCreateHICONFromBitmap, bitmap);
}

void LoadLargePictures() {
    UiResources& ui = Ui();
    if (ui.largeLoaded || ui.assets.empty()) return;
    ui.largeLoaded = true;
    ui.logoLarge = LoadImagePicture(ui.assets / L"logo@2x.png");
    ui.instrumentLarge = LoadImagePicture(ui.assets / L"ksaron4_ui@2x.png");
}

void ReleasePictures() {
    UiResources& ui = Ui();
    ui.icon.Reset();
    for (Picture* picture : {&ui.logo, &ui.instrument, &ui.logoLarge, &ui.instrumentLarge, &ui.iconBitmap})
        *picture = Picture();
    ui.assets.clear();
    ui.largeLoaded = false;
}

void StopGraphics() { Ui().graphics.Reset(); }
