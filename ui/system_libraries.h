#pragma once
// Libraries that are not known DLLs are loaded by name from System32 only, never from the
// executable's folder.

#include <windows.h>

// LoadLibraryExW(name) searching System32 alone; null when it is not there.
HMODULE LoadSystemLibrary(const wchar_t* name);

// A function of a loaded library, as the given pointer type; null when missing.
template <typename Function>
Function SystemFunction(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    // Through the generic function pointer type, which every function pointer converts from.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Registers the progress-bar class of comctl32 (InitCommonControlsEx, class set 0x20).
// False when comctl32 or the function is missing, or registration failed.
bool InitProgressBarClass();
