#pragma once
// How the main window looks: background, cards, step indicator, pictures, owner-drawn controls
// and static text colours.

#include <windows.h>

#include <string>

// WM_ERASEBKGND: the whole client area in the background colour; returns 1.
LRESULT EraseMainBackground(HWND window, HDC dc);
// WM_PAINT: cards, step indicator and pictures; returns 0.
LRESULT PaintMainWindow(HWND window);
// WM_DRAWITEM for the owner-drawn buttons and statics; returns TRUE.
LRESULT DrawOwnerItem(const DRAWITEMSTRUCT& item);
// WM_CTLCOLORSTATIC: text colour and background brush of a plain static or the check box.
LRESULT ColorStatic(HDC dc, HWND control);

// A status line: its first character picks the circle; a known mark and the spaces after it
// are not part of the label.
struct StatusLineParts {
    wchar_t mark = L'\0';
    std::wstring label;
};
StatusLineParts SplitStatusLine(const std::wstring& text);

// A note: the title before the first line feed (a carriage return before it is dropped), the
// body after it.
struct NoteParts {
    std::wstring title;
    std::wstring body;
    bool hasBody = false;
};
NoteParts SplitNote(const std::wstring& text);
