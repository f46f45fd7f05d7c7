#pragma once
// No text cut off: every text of the two windows fits the box the layout gives it, in its number
// of lines. Where it does not with the font the system gives (a wider face, a fallback face,
// rounding at a scale), the control gets its font smaller in whole pixels, measured with the
// real font, down to three quarters of its height; below that, and for texts from outside the
// program (a file name, a failure's text), a one-line text ends in "…". Window thread only.

#include <windows.h>

#include <string>

#include "ui/ui_resources.h"

enum class TextOrigin { Fixed, Outside };

// The font a control's text is designed in, as its table row or page gives it.
void SetDesignFont(int id, UiFont font);
void SetTextOrigin(int id, TextOrigin origin);
// Chooses the control's font for its text, size and design font, and sets it (WM_SETFONT) when
// it changed. Owner-drawn controls draw their text in that font.
void FitControlText(HWND control);
// The font of the note's body; the note's own font is its title's.
HFONT NoteBodyFont(HWND note);

// A note: the title before the first line feed (a carriage return before it is dropped), the
// body after it.
struct NoteParts {
    std::wstring title;
    std::wstring body;
    bool hasBody = false;
};
NoteParts SplitNote(const std::wstring& text);
// A status line's label: a known mark and the spaces after it are not part of it.
std::wstring StatusLabel(const std::wstring& text);
