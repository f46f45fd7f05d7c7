#include "text/narrow_text.h"

#include <system_error>

std::string ToFileSystemNarrowLossy(const std::wstring& text) {
    try {
        return ToFileSystemNarrow(text);
    } catch (const std::system_error&) {
        // Character by character then; a surrogate pair is one character.
    }
    std::string narrow;
    for (size_t i = 0; i < text.size();) {
        const bool pair = sizeof(wchar_t) == 2 && i + 1 < text.size() && (text[i] & 0xFC00) == 0xD800 &&
                          (text[i + 1] & 0xFC00) == 0xDC00;
        const size_t length = pair ? 2 : 1;
        try {
            narrow += ToFileSystemNarrow(text.substr(i, length));
        } catch (const std::system_error&) {
            narrow += '?';
        }
        i += length;
    }
    return narrow;
}
