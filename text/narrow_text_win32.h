#pragma once
// Windows only: strict conversion of wide text into one code page.

#include <windows.h>

#include <string>

// No best-fit look-alikes, no default characters, no malformed UTF-16: any of them throws
// std::system_error with the system's text.
std::string ToCodePageStrict(const std::wstring& text, UINT codePage);
