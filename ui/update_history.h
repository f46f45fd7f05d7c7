#pragma once
// The history line of each update the window started. Window thread only.

#include <windows.h>

#include <string>

#include "core/history.h"
#include "core/notifications.h"

// At the Start click that starts the update worker: its duration counts from here.
void NoteUpdateStarted();
// When the window handles the update's result, before any box: one line to the history.
HistoryBlockage RecordUpdateEnded(OperationResult result, const std::wstring& message);
// After the result's own page or box: retries while lines wait; a new blockage is told in a box.
void TellHistoryBlockage(HWND window, const HistoryBlockage& blockage);
// At the window's creation and on its retry timer: adds waiting lines to the history, and keeps the
// 30 s timer only while lines still wait.
void RetryWaitingHistory(HWND window);
// The timer's id among the main window's timers.
constexpr UINT_PTR kHistoryRetryTimer = 1;
