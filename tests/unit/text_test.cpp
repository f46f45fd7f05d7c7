#include <gtest/gtest.h>

#include <string>

#include "core/text.h"

namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::wstring wide;
};

// Versions and error texts reach the window through this conversion; bad bytes must never throw.
TEST(Utf8ToWide, DecodesValidTextAndReplacesEveryMalformedByte) {
    const Utf8Case cases[] = {
        {"ascii version", "1.2.3", L"1.2.3"},
        {"cyrillic", "\xD0\x9A\xD1\x81\xD0\xB0\xD1\x80\xD0\xBE\xD0\xBD", L"Ксарон"},
        {"outside the basic plane", "\xF0\x9F\x98\x80", L"\U0001F600"},
        {"stray continuation byte", "a\x80" "b", L"a\uFFFDb"},
        {"truncated sequence at the end", "v\xD0", L"v\uFFFD"},
        {"overlong slash", "\xC0\xAF", L"\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"empty", "", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.wide, Utf8ToWide(c.utf8)) << c.name;
}

TEST(WideToUtf8, EncodesAndRoundTrips) {
    const std::wstring text = L"Прошивка v1.2 \U0001F600";
    EXPECT_EQ(text, Utf8ToWide(WideToUtf8(text)));
    EXPECT_EQ("\xD0\x9F", WideToUtf8(L"П"));
}

} // namespace
