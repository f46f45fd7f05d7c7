#pragma once
// Files beside the log that only Windows code makes, under the log's rules.

#include <filesystem>

// Creates the file path, which must not exist yet, with access (plus DELETE) and no sharing,
// and keeps it only when it lands directly in its folder as OpenLogFile requires. Returns the
// handle, or INVALID_HANDLE_VALUE with the reason in GetLastError.
void* CreateNewFileBesideLog(const std::filesystem::path& path, unsigned long access);

// Whether the open file is a regular disk file with one name, which is path once every link is
// resolved: OpenLogFile's rule.
bool IsPlainFileAt(void* file, const std::filesystem::path& path);
