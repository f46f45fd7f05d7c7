#pragma once
// Files beside the log that only Windows code makes, under the log's rules.

#include <filesystem>

#include <string>

// The folder's path as the system reaches it through every link and junction, or empty.
std::wstring FinalPathOfFolder(const std::filesystem::path& folder);

// Whether the open file is a regular disk file with one name, which is path once every link is
// resolved: OpenLogFile's rule.
bool IsPlainFileAt(void* file, const std::filesystem::path& path);
