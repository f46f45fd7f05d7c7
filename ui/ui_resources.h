#pragma once
// The window-side resources: the fonts and brushes of the main window, the graphics library's
// token, the three pictures from the assets folder, the icon made from one of them and the
// notification-area record. Created, used and released on the window thread only.

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <filesystem>

#include "ui/gdiplus_flat.h"

constexpr COLORREF AccentBlue = RGB(32, 168, 223);
constexpr COLORREF SuccessGreen = RGB(47, 177, 99);
constexpr COLORREF ErrorRed = RGB(215, 63, 63);
constexpr COLORREF TextDark = RGB(20, 31, 43);
constexpr COLORREF White = RGB(255, 255, 255);

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
    InfoNoteBrush,
    WarningNoteBrush,
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

// A picture from the assets folder; drawn only when status is GpOk.
struct Picture {
    GpImage* image = nullptr;
    GpStatus status = GpGenericError;
};

struct UiResources {
    HFONT fonts[FontCount] = {};
    HBRUSH brushes[BrushCount] = {};
    ULONG_PTR graphicsToken = 0;
    Picture logo;
    Picture instrument;
    Picture iconBitmap;
    HICON icon = nullptr;                  // made from iconBitmap; null when it did not load
    NOTIFYICONDATAW trayIcon = {};         // all zero while no notification-area icon was added
};

// The one instance, window thread only.
UiResources& Ui();

HFONT Font(UiFont font);
HBRUSH Brush(UiBrush brush);

// Creates the eleven fonts, then the five brushes, in table order.
void CreateFontsAndBrushes();
// Deletes those that exist, in the order they were created, and forgets them.
void DeleteFontsAndBrushes();

// Starts the graphics library (its result is not checked: without it no picture loads).
void StartGraphics();
// Loads logo.png, ksaron4_ui.png and icon.png from directory/"assets" and makes the icon handle.
void LoadPictures(const std::filesystem::path& executableDirectory);
// Destroys the icon handle and releases the three pictures.
void ReleasePictures();
// Shuts the graphics library down; the pictures must be released before.
void StopGraphics();
