#pragma once
// Screen readers hear what changes in the status lines, the heading and the progress bar: each is
// a polite live region, and each change raises EVENT_OBJECT_LIVEREGIONCHANGED. Window thread only.

#include <windows.h>

#include <string>

// Marks the regions, and the bar's role, through IAccPropServices where the system offers it;
// the events are raised either way.
void MarkLiveRegions(HWND window);
void ReleaseLiveRegions();

// SetWindowTextW; a status line or the heading whose text changed raises the event.
void SetTextAnnounced(HWND control, const std::wstring& text);
// The bar's window text and value ("15 %"); the event each time the tens change.
void ShowProgressText(int percent);
