#include "ui/live_regions.h"

// Before oleacc.h: its GUIDs are then defined here, so that oleacc is reached through COM alone, never imported.
#include <initguid.h>

#include <oleacc.h>

#include <string>

#include "core/log.h"
#include "ui/control_ids.h"
#include "ui/drawing.h"
#include "ui/window_helpers.h"

namespace {

// UI Automation's LiveSetting property and its value Polite, which the mingw-w64 headers lack.
constexpr GUID kLiveSetting = {0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr int kPolite = 1;

constexpr int kLiveControls[] = {IDC_HEADING, IDC_STATUS1, IDC_STATUS2, IDC_STATUS3,
                                 IDC_STATUS4, IDC_STATUS5, IDC_PROGRESS};

IAccPropServices* properties = nullptr; // window thread only; null where the system has none
int announcedTens = -1;                 // window thread only: the progress's tens last announced

bool IsAnnouncedOnChange(int id) { return id == IDC_HEADING || (id >= IDC_STATUS1 && id <= IDC_STATUS5); }

void Announce(HWND control) { NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, control, OBJID_CLIENT, CHILDID_SELF); }

HRESULT SetNumber(HWND control, const GUID& property, int number) {
    VARIANT value = {};
    value.vt = VT_I4;
    value.lVal = number;
    return properties->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, property, value);
}

void LogUnavailable(HRESULT result) { WriteLog("Screen reader properties not available: " + HresultText(result)); }

} // namespace

void MarkLiveRegions(HWND window) {
    announcedTens = -1;
    void* made = nullptr;
    const HRESULT result = CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                            &made);
    // Where COM itself could not start, start-up has said so already.
    if (FAILED(result)) {
        if (result != CO_E_NOTINITIALIZED) LogUnavailable(result);
        return;
    }
    properties = static_cast<IAccPropServices*>(made);
    HRESULT marked = SetNumber(GetDlgItem(window, IDC_PROGRESS), PROPID_ACC_ROLE, ROLE_SYSTEM_PROGRESSBAR);
    for (int id : kLiveControls)
        if (SUCCEEDED(marked)) marked = SetNumber(GetDlgItem(window, id), kLiveSetting, kPolite);
    // The events still tell a screen reader what changed; it reads the controls' texts itself.
    if (FAILED(marked)) LogUnavailable(marked);
}

void ReleaseLiveRegions() {
    if (properties == nullptr) return;
    const MSAAPROPID all[] = {kLiveSetting, PROPID_ACC_ROLE, PROPID_ACC_VALUE};
    for (int id : kLiveControls)
        properties->ClearHwndProps(Control(id), static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, all, 3);
    properties->Release();
    properties = nullptr;
}

void SetTextAnnounced(HWND control, const std::wstring& text) {
    const bool changed = IsAnnouncedOnChange(GetDlgCtrlID(control)) && WindowTextOf(control, 512) != text;
    SetWindowTextW(control, text.c_str());
    if (changed) Announce(control);
}

void ShowProgressText(int percent) {
    const std::wstring text = std::to_wstring(percent) + L" %";
    HWND bar = Control(IDC_PROGRESS);
    SetWindowTextW(bar, text.c_str());
    if (properties != nullptr)
        properties->SetHwndPropStr(bar, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_VALUE, text.c_str());
    if (percent / 10 != announcedTens) Announce(bar);
    announcedTens = percent / 10;
}
