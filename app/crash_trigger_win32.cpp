// Test builds only: the release is built without this file, and its check proves it.

#include <windows.h>

#include <malloc.h>

#include <cstring>
#include <exception>

#include "app/crash_trigger.h"
#include "core/detached_thread.h"

namespace {

void Fault() {
    // Volatile both ways: the compiler must make the very access.
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

LRESULT CALLBACK FaultOnCreate(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) Fault();
    return DefWindowProcW(window, message, wParam, lParam);
}

// As a thread stopped inside malloc or new would: the heap they use stays locked.
void HoldTheHeap(HANDLE held) {
    HeapLock(reinterpret_cast<HANDLE>(_get_heap_handle()));
    SetEvent(held);
    Sleep(INFINITE);
}

} // namespace

void PullCrashTrigger() {
    char what[16] = {};
    if (GetEnvironmentVariableA("ZARVEL_TEST_CRASH", what, sizeof(what)) == 0) return;
    if (std::strcmp(what, "window") == 0) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = FaultOnCreate;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ZarvelCrash";
        RegisterClassW(&windowClass);
        CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        return;
    }
    if (std::strcmp(what, "heap") == 0) {
        HANDLE held = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        StartDetachedThread([held] { HoldTheHeap(held); });
        WaitForSingleObject(held, INFINITE);
        Fault();
    }
    const bool terminate = std::strcmp(what, "terminate") == 0;
    StartDetachedThread([terminate] {
        if (terminate) std::terminate();
        Fault();
    });
}
