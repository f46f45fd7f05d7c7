#pragma once
// How the main window looks: background, cards, step indicator, pictures, owner-drawn controls
// and static text colours.

#include <windows.h>

// WM_PAINT: cards, step indicator and pictures; returns 0.
LRESULT PaintMainWindow(HWND window);
// WM_DRAWITEM for the owner-drawn buttons and statics; returns TRUE.
LRESULT DrawOwnerItem(const DRAWITEMSTRUCT& item);
// WM_CTLCOLORSTATIC: text colour and background brush of a plain static or the check box.
LRESULT ColorStatic(HDC dc, HWND control);
// WM_CTLCOLORBTN: the brush of what lies behind an owner-drawn button, which shows in the
// corners its rounded shape leaves.
LRESULT ColorButton(HWND control);
