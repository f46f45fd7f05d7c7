#pragma once
// The instrument's version against the file's: logged when both are known, and asked about
// before an update would install the same version again or an older one. Window thread only.

#include <string>

// Logs "Instrument version: ...; file version: ..." once an instrument was checked and a file
// whose name carries a version is chosen.
void LogVersions();
// Before the update starts: true when it may, because no question is due or the user answered
// Yes. Logs the answer.
bool ConfirmFirmwareVersion();

// "✓  Прибор подключён, версия " + the version as the log shows it; without the version part
// when there is none.
std::wstring InstrumentLine(const std::string& version);
