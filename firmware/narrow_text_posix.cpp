#include <system_error>

#include "firmware/firmware_version.h"

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
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}
