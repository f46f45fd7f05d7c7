#include <gtest/gtest.h>

#include <string>
#include <system_error>

#include "firmware/firmware_version.h"

#ifdef _WIN32
#include <windows.h>

#include <locale.h>

#include "firmware/narrow_text_win32.h"
#endif

namespace {

TEST(VersionFromFileName, ReadsTheVersionFromTheFileNameOnly) {
    const struct {
        const wchar_t* name;
        const char* version;
    } rows[] = {
        {L"fw_v1.2.3.bin", "1.2.3"},
        {L"v2.0.bin", "2.0"},
        {L"app-V1.10.7-beta.BIN", "1.10.7"},
        {L"release-v10.20-rc1.bin", "10.20"},
        {L"fw_v1.2.3.4.bin", "1.2.3.4"},
        {L"x_v01.002.bin", "01.002"},
        {L"fw_v1.2_v3.4.bin", "1.2"},
        {L"fwv1.2.bin", "1.2"},
        {L"firmware_1.5.bin", "1.5"},
        {L"fw_1.2.3.bin", "2.3"},
        {L"fw_v1.bin", ""},
        {L"fw_v1..2.bin", ""},
        {L"fw.bin", ""},
    };
    // The folders carry versions of their own that must not be read.
    const wchar_t* folders[] = {L"", L"C:\\Firmware\\fw_v9.9.bin\\", L"/home/tech/v9.9_fw/",
                                L"\\\\station-pc\\v9.9-share/x_v8.8.bin\\"};
    for (const auto& row : rows) {
        for (const wchar_t* folder : folders) {
            const std::wstring path = std::wstring(folder) + row.name;
            EXPECT_EQ(row.version, VersionFromFileName(path)) << path;
        }
    }
}

TEST(FileNamePart, TakesTheTextAfterTheLastSlashOrBackslash) {
    const struct {
        const wchar_t* path;
        const wchar_t* name;
    } cases[] = {
        {L"fw.bin", L"fw.bin"},
        {L"C:\\Users\\tech\\fw.bin", L"fw.bin"},
        {L"/home/tech/fw.bin", L"fw.bin"},
        {L"C:\\Users/tech\\dir/fw.bin", L"fw.bin"},
        {L"\\\\server\\share\\fw.bin", L"fw.bin"},
        {L"C:\\Firmware\\", L""},
        {L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.name, FileNamePart(c.path)) << c.path;
}

struct NarrowRow {
    std::wstring text;
    const char* narrow; // nullptr: the conversion must fail
};

using Conversion = std::string (*)(const std::wstring&);

// Converts the row's text and checks the result; a failure must carry the system's reason.
void ExpectNarrow(const NarrowRow& row, const std::error_code& failure, Conversion convert = ToFileSystemNarrow) {
    try {
        const std::string narrow = convert(row.text);
        if (row.narrow) {
            EXPECT_EQ(row.narrow, narrow);
        } else {
            ADD_FAILURE() << "converted to " << narrow;
        }
    } catch (const std::system_error& error) {
        EXPECT_EQ(nullptr, row.narrow) << error.what();
        EXPECT_EQ(failure, error.code());
        EXPECT_EQ(failure.message(), error.what());
    }
}

#ifndef _WIN32

TEST(ToFileSystemNarrow, EncodesUtf8AndRefusesWhatHasNoUtf8Form) {
    const NarrowRow rows[] = {
        {L"fw_v1.2.bin", "fw_v1.2.bin"},
        {L"", ""},
        {L"прошивка_v1.2.bin", "\xD0\xBF\xD1\x80\xD0\xBE\xD1\x88\xD0\xB8\xD0\xB2\xD0\xBA\xD0\xB0_v1.2.bin"},
        {L"\u00e9\U0001F600", "\xC3\xA9\xF0\x9F\x98\x80"},
        {std::wstring(1, wchar_t(0xD800)), nullptr},
        {L"fw" + std::wstring(1, wchar_t(0xDFFF)) + L".bin", nullptr},
        {std::wstring(1, wchar_t(0x110000)), nullptr},
    };
    for (const NarrowRow& row : rows) ExpectNarrow(row, std::make_error_code(std::errc::illegal_byte_sequence));
    EXPECT_EQ("1.2", VersionFromFileName(L"/home/tech/прошивка_v1.2.bin"));
}

#else

const std::error_code kNoTranslation(ERROR_NO_UNICODE_TRANSLATION, std::system_category());
const std::wstring kLoneSurrogate(1, wchar_t(0xD800));

// Rows that hold for the given code page; code page 0 stands for any ANSI or OEM code page.
struct CodePageRow {
    UINT codePage;
    NarrowRow row;
};

const CodePageRow kCodePageRows[] = {
    {0, {L"fw_v1.2.bin", "fw_v1.2.bin"}},
    {0, {L"\U0001F600.bin", nullptr}},
    {0, {L"fw" + kLoneSurrogate + L".bin", nullptr}},
    {1252, {L"caf\u00e9", "caf\xE9"}},
    {1252, {L"\u0100", nullptr}}, // best fit would give "A"
    {1252, {L"\u0416", nullptr}},
    {1251, {L"\u0416", "\xC6"}},
    {1251, {L"\u00e9", nullptr}},
    {437, {L"caf\u00e9", "caf\x82"}},
    {437, {L"\u0100", nullptr}},
    {866, {L"\u0416", "\x86"}},
};

void ExpectCodePage(UINT codePage) {
    for (const CodePageRow& c : kCodePageRows) {
        if (c.codePage != 0 && c.codePage != codePage) continue;
        SCOPED_TRACE(::testing::Message() << "code page " << codePage << ": " << c.row.text);
        ExpectNarrow(c.row, kNoTranslation);
    }
}

TEST(ToFileSystemNarrow, UsesTheAnsiCodePageStrictly) {
    ASSERT_NE(65001u, ___lc_codepage_func());
    ASSERT_TRUE(AreFileApisANSI());
    ExpectCodePage(GetACP());
    EXPECT_THROW(VersionFromFileName(L"C:\\fw\\\U0001F600_v1.2.bin"), std::system_error);
}

TEST(ToFileSystemNarrow, UsesTheOemCodePageWhenFileFunctionsDo) {
    SetFileApisToOEM();
    ExpectCodePage(GetOEMCP());
    SetFileApisToANSI();
}

// The C runtime here cannot switch to a UTF-8 locale, so the UTF-8 branch is driven directly.
TEST(ToCodePageStrict, Utf8RefusesOnlyMalformedUtf16) {
    const NarrowRow rows[] = {
        {L"fw_v1.2.bin", "fw_v1.2.bin"},
        {L"\u0416\u00e9\U0001F600", "\xD0\x96\xC3\xA9\xF0\x9F\x98\x80"},
        {kLoneSurrogate, nullptr},
        {L"fw" + std::wstring(1, wchar_t(0xDC00)) + L"\u0416", nullptr},
        {L"\U0001F600" + kLoneSurrogate, nullptr},
    };
    for (const NarrowRow& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.text);
        ExpectNarrow(row, kNoTranslation, [](const std::wstring& text) { return ToCodePageStrict(text, CP_UTF8); });
    }
}

#endif

} // namespace
