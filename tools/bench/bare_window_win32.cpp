// The yardstick for the program's start: a bare Win32 window of a given outer size, shown as the program shows its
// own, with nothing else done. scripts/bench-first-window.sh builds it and times both.
//
//   bare_window.exe WIDTH HEIGHT

#include <windows.h>

#include <cwchar>

namespace {

LRESULT CALLBACK BareProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    if (__argc < 3) return 2;
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = BareProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"ZarvelBareWindow";
    RegisterClassExW(&windowClass);
    const auto width = static_cast<int>(std::wcstol(__wargv[1], nullptr, 10));
    const auto height = static_cast<int>(std::wcstol(__wargv[2], nullptr, 10));
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Bare window",
                                  WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT, width, height,
                                  nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return 1;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
