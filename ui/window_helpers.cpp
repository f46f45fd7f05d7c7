#include "ui/window_helpers.h"

#include "core/app_state.h"

namespace {

int openBoxes = 0; // window thread only

} // namespace

HWND MainWindow() { return static_cast<HWND>(App().mainWindow); }

int ShowMessageBox(const wchar_t* text, const wchar_t* caption, UINT icon) {
    ++openBoxes;
    const int answer = MessageBoxW(MainWindow(), text, caption, icon | MB_OK);
    --openBoxes;
    return answer;
}

int ModalBoxesOpen() { return openBoxes; }
