#include "text/narrow_text.h"

#include <system_error>

#include "text/utf8.h"

namespace {

[[noreturn]] void FailInvalidCharacter() {
    throw std::system_error(std::make_error_code(std::errc::illegal_byte_sequence));
}

} // namespace

// File names are UTF-8 here. A surrogate or a value beyond U+10FFFF has no UTF-8 form.
std::string ToFileSystemNarrow(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (const wchar_t character : text) {
        const auto cp = static_cast<char32_t>(character);
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) FailInvalidCharacter();
        AppendUtf8(out, cp);
    }
    return out;
}
