#include "ui/reinstall_dialog.h"

#include <exception>
#include <string>

#include "core/log.h"
#include "ui/colours.h"
#include "ui/contrast.h"
#include "ui/drawing.h"
#include "ui/keyboard_focus.h"
#include "ui/layout_scale.h"
#include "ui/paint_layout.h"
#include "ui/ui_resources.h"
#include "ui/window_helpers.h"

namespace {

// Window thread only. Set once the class is known to exist; a failed registration is tried again.
bool reinstallClassRegistered = false;
// Window thread only: the pop-up while it is shown.
HWND openPopup = nullptr;

constexpr DWORD kVisibleChild = WS_CHILD | WS_VISIBLE;
constexpr const wchar_t* kConfirmText = L"Прибор установлен";
// No caption bar shows it: Alt+Tab, the taskbar and screen readers name the pop-up by it.
constexpr const wchar_t* kPopupName = kReinstallTitle;

// Created in this order; SS_LEFT wraps its text, SS_ENDELLIPSIS keeps it on one line.
// clang-format off
const ChildControl kDialogControls[] = {
    {.id = IDC_DLG_KICKER, .className = L"STATIC", .style = kVisibleChild | SS_LEFT | SS_ENDELLIPSIS,
     .text = L"Завершение обновления", .box = {132, 58, 500, 30}, .font = DialogLabelFont},
    {.id = IDC_DLG_TITLE, .className = L"STATIC", .style = kVisibleChild | SS_LEFT | SS_ENDELLIPSIS,
     .text = L"Повторно установите прибор", .box = {132, 94, 500, 48}, .font = DialogTitleFont},
    {.id = IDC_DLG_TEXT, .className = L"STATIC", .style = kVisibleChild | SS_LEFT,
     .text = kReinstallInstruction, .box = {132, 154, 500, 104}, .font = DialogTextFont},
    {.id = IDC_DLG_HINT, .className = L"STATIC", .style = kVisibleChild | SS_LEFT,
     .text = L"ⓘ  Программа автоматически проверит подключение и версию прошивки.", .box = {132, 280, 500, 62},
     .font = DialogLabelFont},
    {.id = IDC_DLG_CONFIRM, .className = L"BUTTON", .style = kVisibleChild | WS_TABSTOP | BS_OWNERDRAW,
     .text = kConfirmText, .box = {132, 364, 500, 58}, .font = DialogLabelFont},
};
// clang-format on

HINSTANCE ProgramInstance() { return GetModuleHandleW(nullptr); }

void CreateDialogControls(HWND dialog) {
    for (const ChildControl& row : kDialogControls) GiveFont(CreateChildControl(dialog, row), row.font);
}

void PaintSymbol(HDC dc) {
    const GdipSurface surface = SurfaceOn(dc);
    if (!surface) return;
    Gdip().GdipSetTextRenderingHint(surface.Get(), Gdiplus::TextRenderingHintAntiAliasGridFit);
    DrawDisc(surface.Get(), {.bounds = kDialogCircle, .fill = Pick(kColours.accent, COLOR_HIGHLIGHT)});
    const GdipFont font(kDialogSymbolFace, kDialogSymbolPixels, Gdiplus::FontStyleRegular);
    DrawCentredText(surface.Get(), {.text = kDialogSymbol,
                                    .box = kDialogSymbolBox,
                                    .font = font,
                                    .colour = Pick(kColours.white, COLOR_HIGHLIGHTTEXT)});
}

LRESULT PaintDialog(HWND dialog) {
    const PaintDc paint(dialog);
    RECT client;
    GetClientRect(dialog, &client);
    FillSolid(paint.Get(), {0, 0, client.right, Scaled(kDialogBandHeight)}, Pick(kColours.accent, COLOR_HIGHLIGHT));
    PaintSymbol(paint.Get());
    return 0;
}

LRESULT ColorDialogStatic(HDC dc, HWND control) {
    SetBkMode(dc, TRANSPARENT);
    const COLORREF design = GetDlgCtrlID(control) == IDC_DLG_KICKER ? kColours.accent : kColours.text;
    SetTextColor(dc, Pick(design, COLOR_WINDOWTEXT));
    return reinterpret_cast<LRESULT>(Brush(CardBrush));
}

void DrawConfirmButton(const DRAWITEMSTRUCT& item) {
    const COLORREF fill = (item.itemState & ODS_SELECTED) != 0 ? kColours.dialogConfirmPressed : kColours.accent;
    DrawRoundBlock(item.hDC, {.rect = item.rcItem,
                              .corner = Scaled(kDialogConfirmCorner),
                              .fill = Pick(fill, COLOR_HIGHLIGHT),
                              .outline = Outline({})});
    DrawTextBox(item.hDC, {.text = kConfirmText,
                           .rect = item.rcItem,
                           .font = ControlFont(item.hwndItem),
                           .colour = Pick(kColours.white, COLOR_HIGHLIGHTTEXT),
                           .format = DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX});
    if (!FocusRingWanted(item)) return;
    DrawRoundRing(item.hDC, {.rect = item.rcItem,
                             .corner = Scaled(kDialogConfirmCorner),
                             .inset = Scaled(kFocusRingInset),
                             .width = Scaled(kFocusRingWidth),
                             .colour = Pick(kColours.white, COLOR_HIGHLIGHTTEXT)});
}

// A message box of ours that is open behind the pop-up keeps the owner disabled: the box
// enables it when it closes.
void EnableOwner(HWND owner) {
    if (ModalBoxesOpen() == 0) EnableWindow(owner, TRUE);
}

// The owner comes back first, so that closing the pop-up hands activation to it and not to
// another program's window.
void Confirm(HWND dialog) {
    EnableOwner(GetWindow(dialog, GW_OWNER));
    DestroyWindow(dialog);
}

LRESULT HandleDialogMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: CreateDialogControls(dialog); return 0;
    case WM_DESTROY: ForgetCues(dialog); return 0;
    case WM_ERASEBKGND: return FillClientArea(dialog, reinterpret_cast<HDC>(wParam), Brush(CardBrush));
    case WM_PAINT: return PaintDialog(dialog);
    case WM_CLOSE: return 0;      // only the button closes it
    case WM_DPICHANGED: return 0; // the main window lays out both at the one scale
    case WM_CTLCOLORSTATIC: return ColorDialogStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    // The pop-up's white shows in the corners of its rounded button.
    case WM_CTLCOLORBTN: return reinterpret_cast<LRESULT>(Brush(CardBrush));
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (item.CtlID != static_cast<UINT>(IDC_DLG_CONFIRM)) break;
        DrawConfirmButton(item);
        return TRUE;
    }
    // Enter and Esc come as IDOK and IDCANCEL: every key that ends a dialog ends this one as its button does.
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_DLG_CONFIRM || LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) Confirm(dialog);
        return 0;
    case DM_GETDEFID: return MAKELRESULT(IDC_DLG_CONFIRM, DC_HASDEFID);
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) SetFocus(GetDlgItem(dialog, IDC_DLG_CONFIRM));
        return 0;
    case WM_UPDATEUISTATE: return OnUpdateUiState(dialog, wParam, lParam);
    default: break;
    }
    return DefWindowProcW(dialog, message, wParam, lParam);
}

bool RegisterReinstallClass() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = ReinstallDialogProc;
    windowClass.hInstance = ProgramInstance();
    windowClass.hIcon = Ui().icon.Get();
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    // None: WM_ERASEBKGND fills it with the card brush of the moment, which the colours may remake.
    windowClass.lpszClassName = kReinstallDialogClass;
    return RegisterClassW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// The pop-up's outer rectangle at the layout scale, centred on the owner's.
RECT CentredOn(HWND owner) {
    RECT frame = {};
    GetWindowRect(owner, &frame);
    const int width = Scaled(kReinstallDialogWidth);
    const int height = Scaled(kReinstallDialogHeight);
    const int x = frame.left + (frame.right - frame.left - width) / 2;
    const int y = frame.top + (frame.bottom - frame.top - height) / 2;
    return {x, y, x + width, y + height};
}

HWND CreateCentredPopup(HWND owner) {
    const RECT place = CentredOn(owner);
    return CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_TOPMOST, kReinstallDialogClass, kPopupName, WS_POPUP | WS_BORDER,
                           place.left, place.top, place.right - place.left, place.bottom - place.top, owner, nullptr,
                           ProgramInstance(), nullptr);
}

// Serves every window of the thread until the pop-up is gone; a quit is handed on to the main loop.
void RunNestedLoop(HWND popup) {
    MSG message = {};
    while (IsWindow(popup)) {
        const BOOL fetched = GetMessageW(&message, nullptr, 0, 0);
        if (fetched == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (fetched == -1) return;
        if (HandleDialogKeys(popup, message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

} // namespace

void RunReinstallDialog(HWND owner) {
    if (!reinstallClassRegistered) reinstallClassRegistered = RegisterReinstallClass();
    HWND popup = CreateCentredPopup(owner);
    if (popup == nullptr) return;
    StartWithCuesOf(popup, owner);
    EnableWindow(owner, FALSE);
    ShowWindow(popup, SW_SHOW);
    SetForegroundWindow(popup);
    SetFocus(GetDlgItem(popup, IDC_DLG_CONFIRM));
    openPopup = popup;
    RunNestedLoop(popup);
    openPopup = nullptr;
    EnableOwner(owner);
    if (IsWindow(popup)) DestroyWindow(popup); // the loop ended on a quit or an error
    if (ModalBoxesOpen() == 0) SetForegroundWindow(owner);
}

void FollowLayoutScaleInReinstallDialog() {
    if (openPopup == nullptr || !IsWindow(openPopup)) return;
    const RECT place = CentredOn(GetWindow(openPopup, GW_OWNER));
    SetWindowPos(openPopup, nullptr, place.left, place.top, place.right - place.left, place.bottom - place.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    LayOutChildrenAgain(openPopup);
}

void RepaintReinstallDialog() {
    if (openPopup != nullptr && IsWindow(openPopup))
        RedrawWindow(openPopup, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void CloseReinstallDialog() {
    if (openPopup != nullptr && IsWindow(openPopup)) Confirm(openPopup);
}

LRESULT CALLBACK ReinstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    return HandleGuarded("reinstall dialog", HandleDialogMessage, dialog, message, wParam, lParam);
}
