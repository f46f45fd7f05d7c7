#pragma once
// The modal pop-up that asks the user to lift the instrument and place it back. Window thread only.

#include <windows.h>

#include "ui/control_ids.h"

constexpr const wchar_t* kReinstallDialogClass = L"ZarvelReinstallDialog";
// The outer size at layout scale 1.
constexpr int kReinstallDialogWidth = 680;
constexpr int kReinstallDialogHeight = 455;

// The instruction, shown in the pop-up and in the update page's description.
constexpr const wchar_t* kReinstallInstruction =
    L"Дождитесь, пока прибор перестанет мигать. Затем поднимите его и снова установите на дата-станцию.";

// The pop-up's name, and the update page's heading while the pop-up asks.
constexpr const wchar_t* kReinstallTitle = L"Повторная установка прибора";

// Shows the pop-up centred on owner, with owner disabled, and returns when it has closed; the
// owner is then enabled and in front again, unless a message box of ours still holds it.
// Meanwhile every window of the thread keeps getting its messages. A quit message that arrives
// meanwhile is posted again for the main loop.
void RunReinstallDialog(HWND owner);

// After a change of the layout scale: the open pop-up at its new size, centred on its owner again.
void FollowLayoutScaleInReinstallDialog();

// After a change of the colours: the open pop-up painted again.
void RepaintReinstallDialog();

// Closes the pop-up if it is open, as its own button would; RunReinstallDialog then returns.
void CloseReinstallDialog();

LRESULT CALLBACK ReinstallDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
