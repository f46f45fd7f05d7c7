#include "ui/system_libraries.h"

#include <commctrl.h>

HMODULE LoadSystemLibrary(const wchar_t* name) { return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32); }

bool InitProgressBarClass() {
    using InitFunction = decltype(&::InitCommonControlsEx);
    // comctl32 is not a known DLL either; without a manifest this is the System32 version.
    const auto init = SystemFunction<InitFunction>(LoadSystemLibrary(L"comctl32.dll"), "InitCommonControlsEx");
    if (init == nullptr) return false;
    INITCOMMONCONTROLSEX classes = {};
    classes.dwSize = sizeof(classes);
    classes.dwICC = ICC_PROGRESS_CLASS;
    return init(&classes) != FALSE;
}
