#pragma once
// Windows' high-contrast setting: while it is on, the window and the pop-up paint only with the
// system's colours, in the pairs Windows pairs them; off, with the design's own. Window thread only.

#include <windows.h>

#include <optional>

struct ContrastHooks {
    bool (*highContrastOn)(); // the system's setting as it is now
};

// nullptr restores the real one (SystemParametersInfoW). The hooks object must outlive its use.
void SetContrastHooks(const ContrastHooks* hooks);
const ContrastHooks& CurrentContrastHooks();

// Reads the setting again (at start and when Windows says settings or colours changed); true
// when it is not what painting used until now.
bool ReadHighContrast();
// The setting as last read.
bool HighContrast();

// design while high contrast is off, else the system colour systemIndex (COLOR_WINDOW and the like).
COLORREF Pick(COLORREF design, int systemIndex);
// A 1-pixel border in the text colour under high contrast, where the design draws outline (or none).
std::optional<COLORREF> Outline(std::optional<COLORREF> outline);
