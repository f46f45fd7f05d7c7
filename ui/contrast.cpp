#include "ui/contrast.h"

namespace {

bool SystemHighContrastOn() {
    HIGHCONTRASTW setting = {};
    setting.cbSize = sizeof(setting);
    // A system that cannot say (Wine has no such setting) has it off.
    if (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(setting), &setting, 0)) return false;
    return (setting.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

constexpr ContrastHooks kSystemSetting{.highContrastOn = SystemHighContrastOn};
const ContrastHooks* contrastHooks = &kSystemSetting; // window thread only
bool highContrast = false;                            // window thread only: what painting uses

} // namespace

void SetContrastHooks(const ContrastHooks* hooks) { contrastHooks = hooks != nullptr ? hooks : &kSystemSetting; }

const ContrastHooks& CurrentContrastHooks() { return *contrastHooks; }

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
