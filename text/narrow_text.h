#pragma once
// Wide text in the narrow encoding the C runtime names files in.

#include <string>

// Strict conversion to the narrow file-system encoding: on Windows UTF-8 when the C runtime's
// code page is 65001, else the ANSI code page (OEM when file APIs use OEM), with no best-fit or
// default characters; elsewhere UTF-8. Throws std::system_error with the system's text.
std::string ToFileSystemNarrow(const std::wstring& text);
// The same for showing a text, never for naming a file: a character the encoding cannot hold
// becomes '?'. A text that converts strictly gives the same bytes.
std::string ToFileSystemNarrowLossy(const std::wstring& text);
