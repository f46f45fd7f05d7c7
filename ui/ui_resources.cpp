#include "ui/ui_resources.h"

#include <iterator>
#include <string>

#include "core/log.h"
#include "ui/layout_scale.h"

const FontRow kFontTable[FontCount] = {
    {L"Segoe UI Variable Text", 22, 400},    // BaseFont
    {L"Segoe UI Variable Text", 24, 600},    // CaptionFont
    {L"Segoe UI Variable Display", 45, 600}, // HeaderFont
    {L"Segoe UI Variable Text", 24, 600},    // StepLabelFont
    {L"Segoe UI Variable Text", 30, 400},    // RowFont
    {L"Segoe UI Variable Display", 34, 700}, // PageTitleFont
    {L"Segoe UI Variable Text", 28, 400},    // PageTextFont
    {L"Segoe UI Variable Text", 30, 700},    // PercentFont
    {L"Segoe UI Variable Display", 38, 700}, // DialogTitleFont
    {L"Segoe UI Variable Text", 31, 400},    // DialogTextFont
    {L"Segoe UI Variable Text", 25, 600},    // DialogLabelFont
};

const COLORREF kBrushTable[BrushCount] = {
    RGB(246, 251, 254), // BackgroundBrush
    RGB(255, 255, 255), // CardBrush
    RGB(248, 252, 254), // FileBoxBrush
    RGB(244, 251, 255), // InfoNoteBrush
    RGB(255, 248, 238), // WarningNoteBrush
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
    HDC screen = GetDC(nullptr);
    EnumFontFamiliesExW(screen, &wanted, CountFamily, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, screen);
    return found > 0;
}

HFONT MakeFont(const FontRow& row, const wchar_t* face, int height) {
    return CreateFontW(height, 0, 0, 0, row.weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

Picture LoadImagePicture(const std::filesystem::path& file) {
    Picture picture;
    if (Gdip().loaded) picture.status = Gdip().GdipLoadImageFromFile(file.c_str(), &picture.image);
    return picture;
}

Picture LoadBitmapPicture(const std::filesystem::path& file) {
    Picture picture;
    GpBitmap* bitmap = nullptr;
    if (Gdip().loaded) picture.status = Gdip().GdipCreateBitmapFromFile(file.c_str(), &bitmap);
    picture.image = bitmap;
    return picture;
}

void ReleasePicture(Picture& picture) {
    if (picture.image != nullptr && Gdip().loaded) Gdip().GdipDisposeImage(picture.image);
    picture = Picture();
}

} // namespace

UiResources& Ui() {
    static UiResources resources;
    return resources;
}

HFONT Font(UiFont font) { return Ui().fonts[font]; }
HBRUSH Brush(UiBrush brush) { return Ui().brushes[brush]; }

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
    for (int i = 0; i < BrushCount; ++i) ui.brushes[i] = CreateSolidBrush(kBrushTable[i]);
}

int FontHeight(UiFont font) { return ScaledFontHeight(kFontTable[font].height); }

HFONT FontOfHeight(UiFont font, int height) {
    UiResources& ui = Ui();
    if (height == FontHeight(font) || ui.faces[font] == nullptr) return Font(font);
    for (const ShrunkFont& shrunk : ui.shrunkFonts)
        if (shrunk.font == font && shrunk.height == height) return shrunk.handle;
    HFONT made = MakeFont(kFontTable[font], ui.faces[font], height);
    if (made == nullptr) return Font(font);
    ui.shrunkFonts.push_back({font, height, made});
    return made;
}

std::vector<HFONT> RemakeFonts() {
    UiResources& ui = Ui();
    std::vector<HFONT> old(std::begin(ui.fonts), std::end(ui.fonts));
    for (const ShrunkFont& shrunk : ui.shrunkFonts) old.push_back(shrunk.handle);
    ui.shrunkFonts.clear();
    for (int i = 0; i < FontCount; ++i)
        if (ui.faces[i] != nullptr) ui.fonts[i] = MakeFont(kFontTable[i], ui.faces[i], FontHeight(static_cast<UiFont>(i)));
    return old;
}

void DeleteFonts(const std::vector<HFONT>& fonts) {
    for (HFONT font : fonts)
        if (font != nullptr) DeleteObject(font);
}

void DeleteFontsAndBrushes() {
    UiResources& ui = Ui();
    for (HFONT& font : ui.fonts) {
        if (font != nullptr) DeleteObject(font);
        font = nullptr;
    }
    for (const wchar_t*& face : ui.faces) face = nullptr;
    for (const ShrunkFont& shrunk : ui.shrunkFonts) DeleteObject(shrunk.handle);
    ui.shrunkFonts.clear();
    for (HBRUSH& brush : ui.brushes) {
        if (brush != nullptr) DeleteObject(brush);
        brush = nullptr;
    }
}

void StartGraphics() {
    if (!LoadGdiplusFlat()) return;
    const GdiplusStartupInput input;
    Gdip().GdiplusStartup(&Ui().graphicsToken, &input, nullptr);
}

void LoadPictures(const std::filesystem::path& executableDirectory) {
    UiResources& ui = Ui();
    const std::filesystem::path assets = executableDirectory / L"assets";
    ui.logo = LoadImagePicture(assets / L"logo.png");
    ui.instrument = LoadImagePicture(assets / L"ksaron4_ui.png");
    ui.logoLarge = LoadImagePicture(assets / L"logo@2x.png");
    ui.instrumentLarge = LoadImagePicture(assets / L"ksaron4_ui@2x.png");
    ui.iconBitmap = LoadBitmapPicture(assets / L"icon.png");
    if (ui.iconBitmap.status == GpOk) {
        HICON icon = nullptr;
        // LoadBitmapPicture made it as a bitmap.
        auto* bitmap = static_cast<GpBitmap*>(ui.iconBitmap.image);
        if (Gdip().GdipCreateHICONFromBitmap(bitmap, &icon) == GpOk) ui.icon = icon;
    }
}

void ReleasePictures() {
    UiResources& ui = Ui();
    if (ui.icon != nullptr) DestroyIcon(ui.icon);
    ui.icon = nullptr;
    ReleasePicture(ui.logo);
    ReleasePicture(ui.instrument);
    ReleasePicture(ui.logoLarge);
    ReleasePicture(ui.instrumentLarge);
    ReleasePicture(ui.iconBitmap);
}

void StopGraphics() {
    UiResources& ui = Ui();
    if (ui.graphicsToken != 0 && Gdip().loaded) Gdip().GdiplusShutdown(ui.graphicsToken);
    ui.graphicsToken = 0;
}
