#pragma once
// What the workers tell the window. Workers never touch a window: they post one of these
// messages to the main window. A text travels as a heap-allocated std::wstring whose address is
// the lParam; from the moment it is posted the window owns it and frees it.

#include <cstdint>
#include <string>

constexpr uint32_t MSG_INSTRUMENT_CHECKED = 0x8001; // wParam 0, lParam 0
constexpr uint32_t MSG_STATUS_LINE = 0x8002;        // wParam line 1..5, lParam std::wstring*
constexpr uint32_t MSG_PROGRESS = 0x8003;           // wParam percent, lParam 1 = final phase begun
constexpr uint32_t MSG_OPERATION_DONE = 0x8004;     // wParam OperationResult, lParam std::wstring*
constexpr uint32_t MSG_TRAY_ICON = 0x8005;          // wParam icon id, lParam the mouse message
constexpr uint32_t MSG_REINSTALL_PROMPT = 0x8006;   // wParam 0, lParam 0
// The window's own, posted to itself at creation: its icons and the notification-area icon come
// after the first paint, which they would delay. wParam 0, lParam 0.
constexpr uint32_t MSG_ADD_ICONS = 0x8007;

enum OperationResult : uintptr_t {
    Failed = 0,
    Succeeded = 1,
    Cancelled = 2,
};

// Posts one notification to the main window; false when it could not be posted.
// The caller keeps ownership of a payload that was not posted.
bool PostNotification(uint32_t code, uintptr_t wParam, intptr_t lParam);

// Allocates a copy of the text and posts MSG_STATUS_LINE; frees the copy if posting fails.
void PostStatusLine(int line, const std::wstring& text);
// Allocates a copy of the text and posts MSG_OPERATION_DONE; frees the copy if posting fails.
void PostOperationDone(OperationResult result, const std::wstring& text);

// How a notification is posted: Windows posts with PostMessageW to App().mainWindow; native
// tests record.
struct PostHooks {
    bool (*post)(uint32_t code, uintptr_t wParam, intptr_t lParam); // false when not posted
};
// nullptr restores the platform's own. The hooks object must outlive its use.
void SetPostHooks(const PostHooks* hooks);
const PostHooks& CurrentPostHooks();
