#pragma once
// The modal pop-up that asks the user to lift the instrument and place it back.

#include <windows.h>

// Shows the pop-up owned by owner and returns when it is closed.
void RunReinstallDialog(HWND owner);
