#pragma once
// The wizard's pages: the main window's controls as a table, each page as a table of places,
// texts and visibility, and the code that applies them. Window thread only.

#include <windows.h>

#include <string>

// Creates the controls of the main window, each with its font.
void CreateWizardControls(HWND window);

// Sets the three step labels again and has the step indicator drawn for the new step.
void RefreshStepLabels();
void ShowConnectPage();
void ShowCheckPage();
void ShowUpdatePage();
// The done page, with the update's message as its description.
void ShowDonePage(const std::wstring& message);
// The update page asking for the instrument to be set down again: progress at 95 % and the texts that ask.
void ShowReinstallState();
// A worker's status line 1..5; on the connect page line 3 shows only while it has a text.
void ShowStatusLine(int line, const std::wstring& text);

// "✓  " or "✕  " + "Напряжение аккумулятора: " + volts cut to two decimals + " В".
std::wstring BatteryLine(double volts);
