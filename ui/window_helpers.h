#pragma once
// Small helpers both windows of the program use: finding and changing a control, creating one
// from a table row, and the message boxes. Places and sizes go through the layout scale here,
// so the tables keep the design's numbers. Window thread only.

#include <windows.h>

#include <exception>
#include <string>

#include "ui/layout_scale.h"
#include "ui/ui_resources.h"

// The main window, as stored when it was created.
HWND MainWindow();
// A child control of the main window.
HWND Control(int id);

// A child control as one row of a window's controls table; the box is the design's.
struct ChildControl {
    int id;
    const wchar_t* className;
    DWORD style;
    const wchar_t* text = L"";
    PixelBox box = {}; // empty where the page the control shows on places it
    UiFont font;
};

// Creates the control of the row in parent (its id passed in place of a menu) at its scaled
// place and keeps the design box for a change of scale; fonts are the caller's business.
HWND CreateChildControl(HWND parent, const ChildControl& row);
// Gives a control the font its text is designed in, made smaller where the text needs it.
void GiveFont(HWND control, UiFont font);

// Sets a main-window control's text and has it drawn again, background included.
void SetControlText(int id, const std::wstring& text);
// The same for a text from outside the program (a file name, a failure's text): cut with "…"
// where it does not fit, never made smaller.
void SetOutsideText(int id, const std::wstring& text);
void SetControlFont(int id, UiFont font);
// Has a main-window control drawn again, background included.
void InvalidateControl(int id);
// Moves a main-window control to the scaled place of a design box.
void MoveControl(int id, const PixelBox& box);
// After a change of scale: every child of parent to its design box at the new scale, its text
// fitted again with the new fonts.
void LayOutChildrenAgain(HWND parent);

using MessageHandler = LRESULT (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Runs a window procedure's handler. Nothing may unwind through the system's dispatcher: an
// error is logged with the window's name and the message answered with 0.
LRESULT HandleGuarded(const char* windowName, MessageHandler handler, HWND window, UINT message, WPARAM wParam,
                      LPARAM lParam);

// Fills the window's whole client area with the brush; the answer to WM_ERASEBKGND (1).
LRESULT FillClientArea(HWND window, HDC dc, HBRUSH brush);

// A message box owned by the main window with one OK button and the given icon. While it is
// open, ModalBoxesOpen() counts it, so that nothing else enables the main window under it.
int ShowMessageBox(const wchar_t* text, const wchar_t* caption, UINT icon);
// A question box owned by the main window with the system's Yes and No buttons, No the
// default, and the question icon; counted the same way. True for Yes.
bool AskYesNo(const wchar_t* text, const wchar_t* caption);
int ModalBoxesOpen();

// The system's text for a Windows error in the user's language (FormatMessageW), without its line
// end; empty when the system has none.
std::wstring SystemErrorText(DWORD code);
// What a box says about an error: a system error's text as the system gives it in the user's
// language (FormatMessageW, without its line end); any other error's message read as UTF-8.
std::wstring ErrorText(const std::exception& error);

// A COM or system result as the log writes it: "0x" and eight upper-case hexadecimal digits.
std::string HresultText(HRESULT result);
