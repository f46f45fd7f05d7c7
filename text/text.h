#pragma once
// UTF-8 <-> wide text. Wide strings are UTF-16 on Windows and UTF-32 elsewhere.

#include <string>

// Malformed UTF-8 becomes U+FFFD; never throws.
std::wstring Utf8ToWide(const std::string& text);
// Unpaired surrogates become U+FFFD; never throws.
std::string WideToUtf8(const std::wstring& text);
