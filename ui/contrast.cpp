#include "ui/contrast.h"

#include "text/seam.h"

namespace {

bool SystemHighContrastOn() {
    HIGHCONTRASTW setting = {};
    setting.cbSize = sizeof(setting);
    // A system that cannot say (Wine has no such setting) has it off.
    if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(setting), &setting, 0)) return false;
    return (setting.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

constexpr ContrastHooks kSystemSetting{.highContrastOn = SystemHighContrastOn};
constinit Seam<ContrastHooks> contrastSeam{kSystemSetting};
bool highContrast = false; // window thread only: what painting uses

} // namespace

void SetContrastHooks(const ContrastHooks* hooks) { contrastSeam.Set(hooks); }

const ContrastHooks& CurrentContrastHooks() { return contrastSeam.Current(); }

bool ReadHighContrast() {
    const bool on = CurrentContrastHooks().highContrastOn();
    const bool changed = on != highContrast;
    highContrast = on;
    return changed;
}

bool HighContrast() { return highContrast; }

COLORREF Pick(COLORREF design, int systemIndex) { return highContrast ? GetSysColor(systemIndex) : design; }

std::optional<COLORREF> Outline(std::optional<COLORREF> outline) {
    return highContrast ? std::optional<COLORREF>(GetSysColor(COLOR_WINDOWTEXT)) : outline;
}
