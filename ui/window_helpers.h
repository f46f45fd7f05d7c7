#pragma once
// Small helpers every window of the program uses. Window thread only.

#include <windows.h>

// The main window, as stored when it was created.
HWND MainWindow();

// A message box owned by the main window with one OK button and the given icon. While it is
// open, ModalBoxesOpen() counts it, so that nothing else enables the main window under it.
int ShowMessageBox(const wchar_t* text, const wchar_t* caption, UINT icon);
int ModalBoxesOpen();
