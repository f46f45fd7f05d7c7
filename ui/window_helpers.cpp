#include "ui/window_helpers.h"

#include <cstdio>
#include <exception>
#include <map>
#include <string>
#include <system_error>

#include "core/app_state.h"
#include "core/log.h"
#include "core/scoped_handle_win32.h"
#include "text/text.h"
#include "ui/live_regions.h"
#include "ui/text_fit.h"

namespace {

int openBoxes = 0;                   // window thread only
std::map<int, PixelBox> designBoxes; // window thread: every control's place at scale 1, by id

void MoveToScaledBox(HWND control, const PixelBox& box) {
    const PixelBox scaled = Scaled(box);
    SetWindowPos(control, nullptr, scaled.x, scaled.y, scaled.width, scaled.height, SWP_NOZORDER | SWP_NOACTIVATE);
    FitControlText(control);
}

void SetTextAs(int id, const std::wstring& text, TextOrigin origin) {
    SetTextOrigin(id, origin);
    SetTextAnnounced(Control(id), text);
    FitControlText(Control(id));
    InvalidateControl(id);
}

} // namespace

HWND MainWindow() { return static_cast<HWND>(App().mainWindow); }

HWND Control(int id) { return GetDlgItem(MainWindow(), id); }

HWND CreateChildControl(HWND parent, const ChildControl& row) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    const PixelBox box = Scaled(row.box);
    designBoxes[row.id] = row.box;
    SetTextOrigin(row.id, TextOrigin::Fixed); // the text it is made with is the program's own
    return CreateWindowExW(0, row.className, row.text, row.style, box.x, box.y, box.width, box.height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance, nullptr);
}

void InvalidateControl(int id) { InvalidateRect(Control(id), nullptr, TRUE); }

void GiveFont(HWND control, UiFont font) {
    SetDesignFont(GetDlgCtrlID(control), font);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(Font(font)), TRUE);
    FitControlText(control);
}

void SetControlText(int id, const std::wstring& text) { SetTextAs(id, text, TextOrigin::Fixed); }

void SetOutsideText(int id, const std::wstring& text) { SetTextAs(id, text, TextOrigin::Outside); }

void SetControlFont(int id, UiFont font) { GiveFont(Control(id), font); }

void MoveControl(int id, const PixelBox& box) {
    designBoxes[id] = box;
    MoveToScaledBox(Control(id), box);
}

void LayOutChildrenAgain(HWND parent) {
    for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        const auto box = designBoxes.find(GetDlgCtrlID(child));
        if (box != designBoxes.end()) MoveToScaledBox(child, box->second);
    }
    InvalidateRect(parent, nullptr, TRUE);
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

std::wstring SystemErrorText(DWORD code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const LocalMemory<wchar_t> owned(text);
    std::wstring message(text != nullptr ? text : L"", text != nullptr ? length : 0);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message;
}

int ShowMessageBox(const wchar_t* text, const wchar_t* caption, UINT icon) {
    return RunMessageBox(text, caption, icon | MB_OK);
}

bool AskYesNo(const wchar_t* text, const wchar_t* caption) {
    return RunMessageBox(text, caption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
}

int ModalBoxesOpen() { return openBoxes; }

std::wstring ErrorText(const std::exception& error) {
    // The C++ library's own text for it is narrow, in the ANSI code page: read as UTF-8 it is garbled.
    const auto* system = dynamic_cast<const std::system_error*>(&error);
    if (system != nullptr && system->code().category() == std::system_category()) {
        const std::wstring text = SystemErrorText(static_cast<DWORD>(system->code().value()));
        if (!text.empty()) return text;
    }
    return Utf8ToWide(error.what());
}

std::string HresultText(HRESULT result) {
    char text[16] = {};
    std::snprintf(text, sizeof(text), "0x%08lX", static_cast<unsigned long>(result));
    return text;
}
