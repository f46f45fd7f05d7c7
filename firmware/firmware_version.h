#pragma once
// The firmware version is read from the file name, e.g. "fw_v1.2.3.bin" -> "1.2.3".

#include <string>

// Returns the version text of the file name (empty when it carries none), read from the name in
// the file-system code page. The patterns are ASCII: a character the code page lacks matches
// none of them, so any name has a version, or none.
std::string VersionFromFileName(const std::wstring& path);

// How the instrument's version stands to the file's, for the question before an update.
enum class VersionStanding {
    Same,      // the very text, as the update's final check compares them
    FileOlder, // both digits(.digits)*, the file's lower number by number (a missing one counts 0)
    Other,     // anything else: newer, only numerically equal ("1.2", "1.2.0"), empty, not numeric
};
VersionStanding CompareVersions(const std::string& instrument, const std::string& file);

// The last path component: the text after the last backslash or slash.
std::wstring FileNamePart(const std::wstring& path);
