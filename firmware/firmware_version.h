#pragma once
// The firmware version is read from the file name, e.g. "fw_v1.2.3.bin" -> "1.2.3".

#include <string>

// Returns the version text of the file name (empty when it carries none), read from the name in
// the file-system code page. The patterns are ASCII: a character the code page lacks matches
// none of them, so any name has a version, or none.
std::string VersionFromFileName(const std::wstring& path);

// The last path component: the text after the last backslash or slash.
std::wstring FileNamePart(const std::wstring& path);

// Strict conversion to the narrow file-system encoding: on Windows UTF-8 when the C runtime's
// code page is 65001, else the ANSI code page (OEM when file APIs use OEM), with no best-fit or
// default characters; elsewhere UTF-8. Throws std::system_error with the system's text.
std::string ToFileSystemNarrow(const std::wstring& text);
// The same for showing a text, never for naming a file: a character the encoding cannot hold
// becomes '?'. A text that converts strictly gives the same bytes.
std::string ToFileSystemNarrowLossy(const std::wstring& text);
