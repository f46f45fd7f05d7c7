#pragma once
// The keyboard in the main window and the pop-up: the dialog keys in each message loop, the page's
// first natural control, focus kept off hidden and disabled controls, the default button and the
// keyboard cues that show the focus ring. Window thread only.

#include <windows.h>

// Passes a fetched message through the dialog keys of dialog (Tab, Shift+Tab, Enter, Space, Esc);
// true when it was handled there and must not be dispatched. A held Enter presses once.
bool HandleDialogKeys(HWND dialog, MSG& message);

// Focus to the current page's first natural control, or to the main window when the page has no
// tab stop; nothing while the main window is disabled or not the active one.
void FocusFirstNaturalControl();
// The same, only when the focus sits on a hidden or disabled control or on none of the page's stops.
void KeepFocusAlive();
// After a file was loaded from the dialog: the check box next while it is not ticked.
void FocusRiskAfterFileLoaded();

// The main window's answer to DM_GETDEFID: the focused push button, else the page's default button,
// each only while it is shown and enabled; 0 (no default) otherwise.
LRESULT DefaultButtonAnswer();
// WM_ACTIVATE of the main window: focus is kept on leaving and given back on return.
LRESULT OnMainWindowActivate(WPARAM state);
// WM_SETFOCUS of the main window itself (restored, a focused control hidden): on to a control while the page has one.
LRESULT OnMainWindowFocus();
// WM_UPDATEUISTATE of either window: the system keeps the cues, the focused button draws them again.
LRESULT OnUpdateUiState(HWND window, WPARAM wParam, LPARAM lParam);

// A window shows no focus ring until a key is pressed in it, unless the system always shows them; with
// from, it starts as from is now. ForgetCues before the window is destroyed.
void StartWithCuesOf(HWND window, HWND from);
void ForgetCues(HWND window);
// Whether an owner-drawn button draws its focus ring: focused, with the keyboard cues on.
bool FocusRingWanted(const DRAWITEMSTRUCT& item);
