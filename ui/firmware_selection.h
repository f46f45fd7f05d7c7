#pragma once
// The firmware choice: the open-file dialog, the load into the firmware slot, the file box,
// the log line and the Start button. Window thread only.

// Room for the longest path Windows accepts, so a long path is never refused silently.
constexpr unsigned kFirmwarePathChars = 32768;

void ChooseFirmwareFile();
