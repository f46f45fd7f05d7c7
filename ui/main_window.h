#pragma once
// The main window: the wizard's controller. It creates the controls, switches the pages,
// enables Start, starts the workers and applies what they post. Window thread only.

#include <windows.h>

#include <string>

#include "ui/control_ids.h"
#include "ui/pages.h"
#include "ui/window_helpers.h"

constexpr const wchar_t* kMainWindowClass = L"ZarvelUpdateWindow";
constexpr const wchar_t* kMainWindowTitle = L"Zarvel Update - Zarvel Ксарон 4";
constexpr int kMainWindowWidth = 1440;
constexpr int kMainWindowHeight = 1040;
constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX; // fixed size

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers "ZarvelUpdateWindow" with the icon (the one made from icon.png), or the standard one
// when it is null.
bool RegisterMainWindowClass(HINSTANCE instance, HICON icon);
// Gives the window's class the icon made from icon.png, where the class was registered before the
// pictures were in; nothing when there is none.
void SetClassIcon(HWND window);
// The 1440 x 1040 main window; null when it cannot be created.
HWND CreateMainWindow(HINSTANCE instance);

// The work of WM_CREATE before the monitor starts: the layout scale, fonts and brushes, the
// icons, the controls and the connect page.
void CreateMainControls(HWND window);
