#include "ui/window_helpers.h"

#include <exception>
#include <string>

#include "core/app_state.h"
#include "core/log.h"

namespace {

int openBoxes = 0; // window thread only

} // namespace

HWND MainWindow() { return static_cast<HWND>(App().mainWindow); }

HWND Control(int id) { return GetDlgItem(MainWindow(), id); }

HWND CreateChildControl(HWND parent, const ChildControl& row) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    const PixelBox box = Scaled(row.box);
    return CreateWindowExW(0, row.className, row.text, row.style, box.x, box.y, box.width, box.height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance, nullptr);
}

void InvalidateControl(int id) { InvalidateRect(Control(id), nullptr, TRUE); }

void SetControlText(int id, const std::wstring& text) {
    SetWindowTextW(Control(id), text.c_str());
    InvalidateControl(id);
}

void SetControlFont(int id, UiFont font) {
    SendMessageW(Control(id), WM_SETFONT, reinterpret_cast<WPARAM>(Font(font)), TRUE);
}

void MoveControl(int id, const PixelBox& box) {
    const PixelBox scaled = Scaled(box);
    SetWindowPos(Control(id), nullptr, scaled.x, scaled.y, scaled.width, scaled.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT HandleGuarded(const char* windowName, MessageHandler handler, HWND window, UINT message, WPARAM wParam,
                      LPARAM lParam) {
    try {
        return handler(window, message, wParam, lParam);
    } catch (const std::exception& error) {
        WriteLog(std::string("Unexpected error in the ") + windowName + ": " + error.what());
    } catch (...) {
        WriteLog(std::string("Unexpected error in the ") + windowName);
    }
    return 0;
}

LRESULT FillClientArea(HWND window, HDC dc, HBRUSH brush) {
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, brush);
    return 1;
}

namespace {

int RunMessageBox(const wchar_t* text, const wchar_t* caption, UINT style) {
    ++openBoxes;
    const int answer = MessageBoxW(MainWindow(), text, caption, style);
    --openBoxes;
    return answer;
}

} // namespace

int ShowMessageBox(const wchar_t* text, const wchar_t* caption, UINT icon) { return RunMessageBox(text, caption, icon | MB_OK); }

bool AskYesNo(const wchar_t* text, const wchar_t* caption) {
    return RunMessageBox(text, caption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

int ModalBoxesOpen() { return openBoxes; }
