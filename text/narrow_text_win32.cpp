#include "text/narrow_text_win32.h"

#include <locale.h>

#include <climits>
#include <system_error>

#include "text/narrow_text.h"

namespace {

[[noreturn]] void FailConversion(DWORD error) {
    throw std::system_error(static_cast<int>(error ? error : ERROR_NO_UNICODE_TRANSLATION), std::system_category());
}

// The code page the C runtime opens narrow file names in.
UINT FileSystemCodePage() {
    if (___lc_codepage_func() == CP_UTF8) return CP_UTF8;
    return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

} // namespace

// Strict, because a '?' or a look-alike in place of a character would name a different file.
std::string ToCodePageStrict(const std::wstring& text, UINT codePage) {
    if (text.empty()) return {};
    if (text.size() > static_cast<size_t>(INT_MAX)) FailConversion(ERROR_ARITHMETIC_OVERFLOW);
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    // UTF-8 has no default character; asking whether one was used is an error there.
    BOOL* usedDefaultOut = utf8 ? nullptr : &usedDefault;

    const int size = WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, usedDefaultOut);
    if (size <= 0) FailConversion(GetLastError());
    if (usedDefault) FailConversion(ERROR_NO_UNICODE_TRANSLATION);
    std::string out(static_cast<size_t>(size), '\0');
    if (WideCharToMultiByte(codePage, flags, text.data(), length, &out[0], size, nullptr, usedDefaultOut) != size)
        FailConversion(GetLastError());
    if (usedDefault) FailConversion(ERROR_NO_UNICODE_TRANSLATION);
    return out;
}

std::string ToFileSystemNarrow(const std::wstring& text) { return ToCodePageStrict(text, FileSystemCodePage()); }
