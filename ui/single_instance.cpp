#include "ui/single_instance.h"

#include <windows.h>

#include "ui/main_window.h"

namespace {

// In the session's own namespace: another user's copy on the same PC is not ours.
constexpr wchar_t kOneCopyMutex[] = L"Local\\ZarvelUpdate-OneCopy";
constexpr ULONGLONG kWindowWaitMs = 5000;
constexpr DWORD kWindowPollMs = 50;

void BringToFront(HWND window) {
    // Asynchronous: a copy that stopped answering must not hang this one.
    if (IsIconic(window)) ShowWindowAsync(window, SW_RESTORE);
    // A box or the pop-up of that copy stays in front of its window.
    SetForegroundWindow(GetLastActivePopup(window));
}

} // namespace

bool HandOverToRunningCopy() {
    // Never closed: the mark lasts as long as this process.
    const HANDLE mutex = CreateMutexW(nullptr, FALSE, kOneCopyMutex);
    const DWORD error = GetLastError();
    // An elevated copy's mark refuses a copy without elevation: it is there all the same.
    if (mutex == nullptr ? error != ERROR_ACCESS_DENIED : error != ERROR_ALREADY_EXISTS) return false;
    // The first copy may still be creating its window.
    for (const ULONGLONG deadline = GetTickCount64() + kWindowWaitMs;; Sleep(kWindowPollMs)) {
        HWND window = FindWindowW(kMainWindowClass, kMainWindowTitle);
        if (window != nullptr && IsWindowVisible(window)) {
            BringToFront(window);
            return true;
        }
        if (GetTickCount64() >= deadline) return false;
    }
}
