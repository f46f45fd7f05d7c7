#pragma once
// The main window: the wizard's controller. It creates the controls, switches the pages,
// enables Start, starts the workers and applies what they post. Window thread only.

#include <windows.h>

#include <string>

constexpr int IDC_CHOOSE_FILE = 1001;
constexpr int IDC_ACCEPT_RISK = 1002;
constexpr int IDC_START = 1003;
constexpr int IDC_PROGRESS = 1004;
constexpr int IDC_TITLE = 1005;
constexpr int IDC_STEP1 = 1006;
constexpr int IDC_STEP2 = 1007;
constexpr int IDC_STEP3 = 1008;
constexpr int IDC_HEADING = 1009;
constexpr int IDC_DESCRIPTION = 1010;
constexpr int IDC_STATUS1 = 1011;
constexpr int IDC_STATUS2 = 1012;
constexpr int IDC_STATUS3 = 1013;
constexpr int IDC_STATUS4 = 1014;
constexpr int IDC_STATUS5 = 1015;
constexpr int IDC_FILE_BOX = 1016;
constexpr int IDC_NOTE = 1017;
constexpr int IDC_CANCEL = 1019;

constexpr const wchar_t* kMainWindowClass = L"ZarvelUpdateWindow";
constexpr const wchar_t* kMainWindowTitle = L"Zarvel Update - Zarvel Ксарон 4";
constexpr int kMainWindowWidth = 1440;
constexpr int kMainWindowHeight = 1040;
constexpr DWORD kMainWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX; // fixed size

// The lowest battery voltage an update may start with.
constexpr double kMinimumBatteryVolts = 3.9;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Registers "ZarvelUpdateWindow" with the icon made from icon.png, or the standard one.
bool RegisterMainWindowClass(HINSTANCE instance);
// The 1440 x 1040 main window; null when it cannot be created.
HWND CreateMainWindow(HINSTANCE instance);

void CreateMainControls(HWND window);
void SetControlText(int id, const std::wstring& text);
void UpdateStartButton();
void RefreshStepLabels();
void ShowConnectPage();
void ShowCheckPage();
void ShowUpdatePage();

// The Start rule.
bool StartAllowed(bool firmwareReady, double batteryVolts, bool instrumentReady, bool riskAccepted, bool operationBusy);
// "✓  " or "✕  " + "Напряжение аккумулятора: " + volts with two decimals + " В".
std::wstring BatteryLine(double volts);
