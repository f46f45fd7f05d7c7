#pragma once
// Calling the technician back from other work: the progress and state of the taskbar button, its
// flash, a balloon from the notification-area icon and the system sounds. Window thread only.
// None of it is needed to update an instrument: a failure changes nothing else, shows no box and
// is logged once a run.

#include <windows.h>

#include <shellapi.h>
#include <shobjidl.h>

#include <string>

#include "core/notifications.h"

// Tests stand in for the shell, the sounds and the question whether our window is in front.
struct AttentionHooks {
    HRESULT (*openTaskbar)(HWND window); // the button's ITaskbarList3; fails where no shell runs
    HRESULT (*setTaskbarState)(HWND window, TBPFLAG state);
    HRESULT (*setTaskbarValue)(HWND window, int percent);
    void (*flash)(HWND window); // FlashWindowEx tells no failure
    bool (*showBalloon)(NOTIFYICONDATAW* record);
    bool (*beep)(UINT sound);
    bool (*inFront)(HWND window); // the foreground window is ours, or one that ours owns
};
// nullptr restores the system's. The hooks object must outlive its use. Each installation
// starts the once-a-run log of failures afresh.
void SetAttentionHooks(const AttentionHooks* hooks);
const AttentionHooks& CurrentAttentionHooks();

// As the main window is made: the shell's "TaskbarButtonCreated" let through to an elevated
// window, the screen readers' live regions marked.
void PrepareAttention(HWND window);
bool IsTaskbarButtonCreated(UINT message);
// The button exists (again, after the shell restarted): it takes the state the window is in.
LRESULT OnTaskbarButtonCreated(HWND window);
// At WM_DESTROY, before COM ends on this thread.
void ReleaseAttention();

// The update's percentage: the bar painted again, its window text, screen readers, the taskbar.
void ShowUpdateProgress(int percent);
// No progress on the button: any page change, the end of an update that did not fail.
void ClearTaskbarProgress();
// The reinstall pop-up is about to wait for the person: a sound, and a call from the background.
void CallForReinstall(HWND window);
// The pop-up closed while the update runs on.
void ResumeTaskbarProgress();
// An update ended: the button's state, and the person called back to the window.
void AnnounceUpdateEnd(HWND window, OperationResult result, const std::wstring& message);
