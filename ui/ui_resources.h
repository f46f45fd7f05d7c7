#pragma once
// The window-side resources: the fonts and brushes of the main window, the graphics library's
// token, the three pictures from the assets folder, the icon made from one of them and the
// notification-area record. Created, used and released on the window thread only; the graphics
// library and the pictures may be loaded by a thread that the window thread waits for before it
// first draws.

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "ui/gdi_guards.h"
#include "ui/gdiplus_flat.h"

// In the order they are created and deleted.
enum UiFont : int {
    BaseFont,
    CaptionFont,
    HeaderFont,
    StepLabelFont,
    RowFont,
    PageTitleFont,
    PageTextFont,
    PercentFont,
    DialogTitleFont,
    DialogTextFont,
    DialogLabelFont,
    FontCount,
};

enum UiBrush : int {
    BackgroundBrush,
    CardBrush,
    FileBoxBrush,
    BrushCount,
};

struct FontRow {
    const wchar_t* face;
    int height; // character cell height in pixels
    int weight;
};

// Indexed by UiFont / UiBrush.
extern const FontRow kFontTable[FontCount];
extern const COLORREF kBrushTable[BrushCount];

// A picture from the assets folder; drawn only when status is Ok.
struct Picture {
    GdipObject<GpImage> image;
    GpStatus status = Gdiplus::GenericError;
};

// A font of the table made smaller than its height at the layout scale, so that a text fits.
struct ShrunkFont {
    UiFont font;
    int height;
    GdiObject<HFONT> handle;
};

struct UiResources {
    GdiObject<HFONT> fonts[FontCount];
    const wchar_t* faces[FontCount] = {}; // the face each font was made of: its own or the fallback
    std::vector<ShrunkFont> shrunkFonts;  // made on demand, deleted with the fonts
    GdiObject<HBRUSH> brushes[BrushCount];
    GdiplusSession graphics;
    Picture logo;
    Picture instrument;
    Picture logoLarge; // twice the design size, drawn instead where the scale is above 1; see LoadLargePictures
    Picture instrumentLarge;
    std::filesystem::path assets; // where LoadPictures found the pictures; empty when it was not called
    bool largeLoaded = false;     // LoadLargePictures has tried
    Picture iconBitmap;
    OwnedIcon icon;                // made from iconBitmap; empty when it did not load
    NOTIFYICONDATAW trayIcon = {}; // all zero while no notification-area icon was added
};

// The one instance, window thread only; never destroyed: what it holds is released by the
// functions below, in their order, before the graphics library ends.
UiResources& Ui();

HFONT Font(UiFont font);
HBRUSH Brush(UiBrush brush);

// Creates the eleven fonts at the layout scale, then the three brushes, in table order.
void CreateFontsAndBrushes();
// Makes the three brushes again in the colours of the contrast setting as last read.
void RemakeBrushes();
// The font's height in pixels at the layout scale.
int FontHeight(UiFont font);
// The font at a height of its own, below FontHeight; the font itself when that one cannot be made.
HFONT FontOfHeight(UiFont font, int height);
// Makes the fonts again for a new layout scale. The old ones come back, to be kept until no
// control holds them any more.
std::vector<GdiObject<HFONT>> RemakeFonts();
// Deletes those that exist, in the order they were created, and forgets them.
void DeleteFontsAndBrushes();

// Starts the graphics library (its result is not checked: without it no picture loads).
void StartGraphics();
// Loads logo.png, ksaron4_ui.png and icon.png from directory/"assets" and makes the icon handle.
void LoadPictures(const std::filesystem::path& executableDirectory);
// Loads logo@2x.png and ksaron4_ui@2x.png, which may be missing, from that folder the first time it is called
// after LoadPictures: a screen at scale 1 never draws them, and decoding them would slow every start.
void LoadLargePictures();
// Destroys the icon handle and releases the pictures.
void ReleasePictures();
// Shuts the graphics library down; the pictures must be released before.
void StopGraphics();
