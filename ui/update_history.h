#pragma once
// The history line of each update the window started. Window thread only.

#include <string>

#include "core/notifications.h"

// At the Start click that starts the update worker: its duration counts from here.
void NoteUpdateStarted();
// When the window handles the update's result, before any box: one line to the history.
void RecordUpdateEnded(OperationResult result, const std::wstring& message);
