#include "ui/keyboard_focus.h"

#include "core/app_state.h"
#include "ui/control_ids.h"
#include "ui/page.h"
#include "ui/window_helpers.h"

namespace {

// Window thread only: the main window's focused control when it was last left.
HWND focusOnLeaving = nullptr;

// Set on a window of ours while it hides the focus ring; kept by us, as not every system keeps the state.
constexpr const wchar_t* kCuesHiddenProperty = L"ZarvelFocusCuesHidden";

bool NoFileLoaded() { return !App().firmwareReady; }
bool RiskNotAccepted() { return SendMessageW(Control(IDC_ACCEPT_RISK), BM_GETCHECK, 0, 0) != BST_CHECKED; }
bool Always() { return true; }

// The first row of the page whose condition holds and whose control is alive takes the focus.
struct NaturalFocus {
    Page page;
    int id;
    bool (*wanted)();
};
const NaturalFocus kNaturalFocus[] = {
    {.page = Page::Check, .id = IDC_CHOOSE_FILE, .wanted = NoFileLoaded},
    {.page = Page::Check, .id = IDC_ACCEPT_RISK, .wanted = RiskNotAccepted},
    {.page = Page::Check, .id = IDC_START, .wanted = Always},
    {.page = Page::Update, .id = IDC_CANCEL, .wanted = Always},
    {.page = Page::Done, .id = IDC_NEXT_INSTRUMENT, .wanted = Always},
};

// What Enter presses on the page when no push button has the focus.
struct DefaultButton {
    Page page;
    int id;
};
const DefaultButton kDefaultButtons[] = {{.page = Page::Check, .id = IDC_START},
                                         {.page = Page::Done, .id = IDC_NEXT_INSTRUMENT}};

// A tab stop of the main window that the keyboard can reach now.
bool Alive(HWND control) {
    return control != nullptr && IsChild(MainWindow(), control) && IsWindowVisible(control) &&
           IsWindowEnabled(control) && (GetWindowLongW(control, GWL_STYLE) & WS_TABSTOP) != 0;
}

bool IsPushButton(HWND control) { return (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW; }

HWND NaturalControl() {
    for (const NaturalFocus& row : kNaturalFocus)
        if (row.page == CurrentPage() && row.wanted() && Alive(Control(row.id))) return Control(row.id);
    for (HWND child = GetWindow(MainWindow(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        if (Alive(child)) return child;
    return MainWindow();
}

// Setting the focus would activate the window: it waits for WM_ACTIVATE instead.
bool MainWindowActive() { return GetActiveWindow() == MainWindow() && IsWindowEnabled(MainWindow()); }

bool InDialog(HWND dialog, HWND window) { return window == dialog || IsChild(dialog, window); }

bool CuesHidden(HWND window) { return GetPropW(window, kCuesHiddenProperty) != nullptr; }

void SetCuesHidden(HWND window, bool hidden) {
    SendMessageW(window, WM_UPDATEUISTATE, MAKEWPARAM(hidden ? UIS_SET : UIS_CLEAR, UISF_HIDEFOCUS), 0);
}

} // namespace

bool HandleDialogKeys(HWND dialog, MSG& message) {
    if (dialog == nullptr || !InDialog(dialog, message.hwnd)) return false;
    const bool keyDown = message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN;
    // The first Enter may show the next page, whose button a repeat would press.
    if (keyDown && message.wParam == VK_RETURN && (HIWORD(message.lParam) & KF_REPEAT) != 0) return true;
    if (keyDown && CuesHidden(dialog)) SetCuesHidden(dialog, false);
    return IsDialogMessageW(dialog, &message) != FALSE;
}

void FocusFirstNaturalControl() {
    if (MainWindowActive()) SetFocus(NaturalControl());
}

void KeepFocusAlive() {
    if (!Alive(GetFocus())) FocusFirstNaturalControl();
}

void FocusRiskAfterFileLoaded() {
    if (App().firmwareReady && RiskNotAccepted() && MainWindowActive()) SetFocus(Control(IDC_ACCEPT_RISK));
}

LRESULT DefaultButtonAnswer() {
    HWND focus = GetFocus();
    if (Alive(focus) && IsPushButton(focus)) return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
    for (const DefaultButton& row : kDefaultButtons)
        if (row.page == CurrentPage() && Alive(Control(row.id))) return MAKELRESULT(row.id, DC_HASDEFID);
    return 0;
}

LRESULT OnMainWindowActivate(WPARAM state) {
    if (LOWORD(state) == WA_INACTIVE) {
        focusOnLeaving = IsChild(MainWindow(), GetFocus()) ? GetFocus() : nullptr;
    } else if (HIWORD(state) == 0) {
        OnMainWindowFocus();
    }
    return 0;
}

LRESULT OnMainWindowFocus() {
    HWND back = Alive(focusOnLeaving) ? focusOnLeaving : NaturalControl();
    focusOnLeaving = nullptr;
    if (back != GetFocus()) SetFocus(back);
    return 0;
}

LRESULT OnUpdateUiState(HWND window, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = DefWindowProcW(window, WM_UPDATEUISTATE, wParam, lParam);
    if ((HIWORD(wParam) & UISF_HIDEFOCUS) != 0 && LOWORD(wParam) == UIS_SET) {
        SetPropW(window, kCuesHiddenProperty, window);
    } else if ((HIWORD(wParam) & UISF_HIDEFOCUS) != 0 && LOWORD(wParam) == UIS_CLEAR) {
        RemovePropW(window, kCuesHiddenProperty);
    }
    HWND focus = GetFocus();
    if (focus != nullptr && IsChild(window, focus)) InvalidateRect(focus, nullptr, FALSE);
    return result;
}

void StartWithCuesOf(HWND window, HWND from) {
    BOOL alwaysShown = FALSE;
    if (from == nullptr) SystemParametersInfoW(SPI_GETKEYBOARDCUES, 0, &alwaysShown, 0);
    SetCuesHidden(window, from != nullptr ? CuesHidden(from) : alwaysShown == FALSE);
}

void ForgetCues(HWND window) { RemovePropW(window, kCuesHiddenProperty); }

bool FocusRingWanted(const DRAWITEMSTRUCT& item) {
    if ((item.itemState & ODS_FOCUS) == 0 || (item.itemState & ODS_NOFOCUSRECT) != 0) return false;
    return !CuesHidden(GetAncestor(item.hwndItem, GA_ROOT));
}
