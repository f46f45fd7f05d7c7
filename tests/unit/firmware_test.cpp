// The firmware file: loading, padding, CRC-32, block commands and the version in its name.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <tuple>

#include "firmware/firmware_file.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_version.h"
#include "tests/support/temp_dir.h"
#include "text/narrow_text.h"

#ifdef _WIN32
#include <windows.h>

#include "core/scoped_handle_win32.h"
#include "text/narrow_text_win32.h"
#else
#include <sys/stat.h>
#endif

namespace {

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    return bytes;
}

std::wstring WriteFile(const std::filesystem::path& path, size_t size) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(Pattern(size).data()), static_cast<std::streamsize>(size));
    return path.wstring();
}

// The file layer with every open and read counted, and faults to put in.
int opens = 0, reads = 0;
uint64_t reportedSize = 0;
std::FILE* Open(const std::wstring& path) { ++opens; return OpenFirmwareFileShared(path); }
size_t Read(void* buffer, size_t size, size_t count, std::FILE* file) {
    if (++reads > 100) throw std::runtime_error("runaway read loop");
    return std::fread(buffer, size, count, file);
}
size_t HalfRead(void* buffer, size_t size, size_t count, std::FILE* file) { return Read(buffer, size, count / 2, file); }
size_t NoRead(void*, size_t, size_t, std::FILE*) { return 0; }
size_t EndlessRead(void* buffer, size_t size, size_t count, std::FILE* file) { // a file that never ends
    Read(buffer, 0, 0, file);
    std::memset(buffer, 0xAA, size * count);
    return count;
}
bool UnknownSize(std::FILE*, uint64_t&) { return false; }
bool ReportedSize(std::FILE*, uint64_t& size) { size = reportedSize; return true; }

// What loading raises ("system_error: " before a system error's text), or "N blocks" loaded.
std::string LoadFailure(const std::wstring& path, FirmwareFileHooks hooks = {.open = Open, .size = OpenFileSize, .read = Read}, uint64_t size = 0) {
    SetFirmwareFileHooks(&hooks);
    opens = reads = 0;
    reportedSize = size;
    std::string failure;
    try {
        failure = std::to_string(BlockCount(LoadFirmwareImage(path))) + " blocks";
    } catch (const std::system_error& error) {
        failure = std::string("system_error: ") + error.what();
    } catch (const std::runtime_error& error) {
        failure = error.what();
    }
    SetFirmwareFileHooks(nullptr);
    return failure;
}

TEST(FirmwareImage, PadsWithFFToWholeBlocksAndChecksumsThePaddedBytes) {
    const TempDir dir;
    const std::tuple<size_t, size_t, uint32_t> rows[] = {{1, 1, 0x92C0E351u}, {120, 1, 0x20DA8815u}, {121, 2, 0x6985FFECu}, {300, 3, 0x71C31A3Bu}};
    for (const auto& [size, blocks, crc32] : rows) { // the file's size, its blocks, the standard CRC-32 of those
        const std::wstring path = WriteFile(dir.path() / ("fw_v1.2.3_" + std::to_string(size) + ".bin"), size);
        std::vector<uint8_t> padded = Pattern(size);
        padded.resize(blocks * FirmwareBlockSize, 0xFF);
        const FirmwareImage image = LoadFirmwareImage(path);
        EXPECT_EQ(path, image.path);
        EXPECT_EQ("1.2.3", image.version);
        EXPECT_EQ(padded, image.bytes);
        EXPECT_EQ(crc32, image.crc32);
        EXPECT_TRUE(std::filesystem::remove(path)) << "the file is closed (Windows keeps an open one)";
    }
}

// The commands themselves are in the update's approved transcripts.
TEST(FirmwareImage, MakeBlockCommandRefusesAnIndexPastTheLastBlock) {
    FirmwareImage image;
    image.bytes.assign(3 * FirmwareBlockSize, 0xFF);
    for (const uint64_t index : {uint64_t{3}, ~uint64_t{0}}) EXPECT_THROW(MakeBlockCommand(image, index), std::out_of_range);
    try {
        MakeBlockCommand(FirmwareImage{}, 0);
        ADD_FAILURE() << "an empty image has no block 0";
    } catch (const std::out_of_range& error) {
        EXPECT_STREQ("Firmware block index", error.what());
    }
}

TEST(FirmwareImage, RefusesAnotherExtensionBeforeTouchingTheFileAndWhatCannotBeReadWholeOrIsTooLarge) {
    const TempDir dir;
    for (const wchar_t* name : {L"firmware.bin", L"FIRMWARE.BIN", L"fw.v1.2.bin"}) EXPECT_EQ("1 blocks", LoadFailure(WriteFile(dir.path() / name, 1)));
    for (const wchar_t* path : {L"firmware.Bin", L"firmware.bIN", L"fw.bin.txt", L"firmware", L".bin", L".BIN", L"x.bin/firmware", L"x.bin\\firmware",
                                L"x.bin/.", L"x.bin\\..", L"C:\\fw\\.bin", L"fw.bin\\", L""}) {
        EXPECT_EQ("Firmware file must have .bin extension", LoadFailure(path));
        EXPECT_EQ(0, opens);
    }
    std::filesystem::create_directory(dir.path() / "folder.bin");
#ifdef _WIN32
    const std::wstring special = L"\\\\.\\pipe\\zarvel-firmware-test.bin", emoji = L"fw_\U0001F600_v1.2.bin"; // no ANSI form
    OwnedHandle pipe = OwnFile(CreateNamedPipeW(special.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr));
    const std::string noNarrowForm = "1 blocks"; // file names are wide here: any loads
    const bool kReadBeforeTheName = true;
    WriteFile(dir.path() / emoji, 10);
#else
    const std::wstring special = L"fifo.bin", emoji = L"fw_" + std::wstring(1, wchar_t(0xD800)) + L".bin"; // no UTF-8 form
    mkfifo((dir.path() / "fifo.bin").c_str(), 0600);
    const std::string noNarrowForm = "system_error: " + std::make_error_code(std::errc::illegal_byte_sequence).message(); // cannot be named
    const bool kReadBeforeTheName = false;
#endif
    const struct {
        const wchar_t* name;
        int size; // of the file written; -1: none
        FirmwareFileHooks hooks;
        uint64_t reportedSize;
        std::string failure;
        bool read;
    } rows[] = {
        {L"missing.bin", -1, {.open = Open, .size = OpenFileSize, .read = Read}, 0, "Cannot open firmware file", false},
        {L"folder.bin", -1, {.open = Open, .size = OpenFileSize, .read = Read}, 0, "Cannot open firmware file", false},
        {special.c_str(), -1, {.open = Open, .size = OpenFileSize, .read = Read}, 0, "Cannot open firmware file", false},
        {emoji.c_str(), -1, {.open = Open, .size = OpenFileSize, .read = Read}, 0, noNarrowForm, kReadBeforeTheName},
        {L"empty.bin", 0, {.open = Open, .size = OpenFileSize, .read = Read}, 0, "Firmware file is empty", true},
        {L"half read.bin", 1000, {.open = Open, .size = OpenFileSize, .read = HalfRead}, 0, "Cannot read firmware file", true},
        {L"nothing read.bin", 1000, {.open = Open, .size = OpenFileSize, .read = NoRead}, 0, "Cannot read firmware file", false},
        {L"size unknown.bin", 1000, {.open = Open, .size = UnknownSize, .read = Read}, 0, "Cannot read firmware file", false},
        {L"16 MiB and a byte.bin", 1000, {.open = Open, .size = ReportedSize, .read = Read}, kLargestFirmwareBytes + 1, "Firmware file is too large", false},
        {L"16 MiB, shorter.bin", 1000, {.open = Open, .size = ReportedSize, .read = Read}, kLargestFirmwareBytes, "Cannot read firmware file", true},
        {L"endless.bin", 1000, {.open = Open, .size = ReportedSize, .read = EndlessRead}, 0, "Firmware file is too large", true},
        {L"grew since it was opened.bin", 1000, {.open = Open, .size = ReportedSize, .read = Read}, 0, "9 blocks", true},
    };
    for (const auto& row : rows) {
        const std::wstring path = row.name[0] == L'\\' ? row.name : dir.path().wstring() + L"/" + row.name;
        if (row.size >= 0) WriteFile(path, static_cast<size_t>(row.size));
        EXPECT_EQ(row.failure, LoadFailure(path, row.hooks, row.reportedSize)) << path;
        EXPECT_EQ(row.read, reads > 0) << path;
    }
    SetFirmwareFileHooks(nullptr);
#ifdef _WIN32
    pipe.Reset();
    // A file another program holds open for writing loads all the same.
    const OwnedHandle writer = OwnFile(CreateFileW((dir.path() / L"firmware.bin").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                   OPEN_EXISTING, 0, nullptr));
    EXPECT_EQ("1 blocks", LoadFailure((dir.path() / L"firmware.bin").wstring()));
#else
    char byte = 0;
    std::FILE* stream = fmemopen(&byte, 1, "rb"); // a stream without a file: its size cannot be told
    uint64_t size = 0;
    EXPECT_FALSE(OpenFileSize(stream, size));
    std::fclose(stream);
#endif
}

TEST(FirmwareVersion, ReadFromTheFileNameOnly) {
    const std::pair<const wchar_t*, const char*> rows[] = {
        {L"fw_v1.2.3.bin", "1.2.3"}, {L"v2.0.bin", "2.0"},  {L"app-V1.10.7-beta.BIN", "1.10.7"}, {L"fw_v9.1.2.bin", "9.1.2"},
        {L"x_v01.002.bin", "01.002"}, {L"release-v10.20-rc1.bin", "10.20"}, {L"fw_v1.2_v3.4.bin", "1.2"}, {L"fwv1.2.bin", "1.2"},
        {L"firmware_1.5.bin", "1.5"}, {L"fw_1.2.3.bin", "1.2.3"}, {L"KSARON4_FW_2.1.0.bin", "2.1.0"}, {L"x_1.2.3.4.bin", "1.2.3.4"}, {L"fw_1..2.3.bin", "2.3"},
        {L"fw_2.0.bin", "2.0"}, {L"fw_v1.bin", ""}, {L"fw_v1..2.bin", ""}, {L"fw.bin", ""}, {L"12.bin", ""}, {L"fw_1.2.3.BIN.txt", ""},
        // Characters the file-system code page may lack (Cyrillic under code page 1252; a lone
        // surrogate anywhere) do not keep a name from its version.
        {L"Ксарон-v1.4.bin", "1.4"}, {L"прибор\U0001F600_v2.0.1.bin", "2.0.1"}, {L"\xD800_v3.1.bin", "3.1"}, {L"\xDC00v3.2.bin", "3.2"},
    };
    // Folders carry versions of their own that must not be read.
    for (const wchar_t* folder : {L"", L"C:\\Firmware\\fw_v9.9.bin\\", L"/home/v9.9_fw/", L"\\\\pc\\v9.9-share/x_v8.8.bin\\", L"D:\\Прошивки_v9.9\\"})
        for (const auto& [name, version] : rows) EXPECT_EQ(version, VersionFromFileName(folder + std::wstring(name))) << folder << name;
    for (const auto& [path, name] : {std::pair{L"fw.bin", L"fw.bin"}, {L"C:\\a/b\\fw.bin", L"fw.bin"}, {L"C:\\fw\\", L""}, {L"", L""}})
        EXPECT_EQ(name, FileNamePart(path));
}

TEST(FirmwareVersion, CompareVersionsFindsTheSameTextOrANumericallyOlderFile) {
    using V = VersionStanding;
    const std::tuple<const char*, const char*, VersionStanding> rows[] = { // the instrument's, the file's
        {"1.2.0", "1.2.0", V::Same},      {"V2.1", "V2.1", V::Same},          {"1.2.0", "1.1.9", V::FileOlder},
        {"1.10", "1.9", V::FileOlder},    {"2", "1.99.99", V::FileOlder},     {"1.2.1", "1.2", V::FileOlder},
        {"01.2", "1.1", V::FileOlder},    {"1.1.0", "1.2.0", V::Other},       {"1.2", "1.2.0", V::Other},
        {"1.2.0", "1.2", V::Other},       {"1.02", "1.2", V::Other},          {"1.2.0-beta", "1.1.0", V::Other},
        {"V2.1", "1.0", V::Other},        {"1.2.0", "", V::Other},            {"", "1.0", V::Other},
        {"1..2", "1.0", V::Other},        {"1.2.", "1.0", V::Other},          {"v1.2.0", "v1.2.0", V::Same},
        {"1.2.0", "1.2.0 ", V::Other},    {"1.2.0", "1.2.O", V::Other},       {"1.2.9", "1.3.0", V::Other},
        {"99999999999999999999999999", "99999999999999999999999998", V::FileOlder},
        {"99999999999999999999999999", "100000000000000000000000000", V::Other},
    };
    for (const auto& [instrument, file, standing] : rows) EXPECT_EQ(standing, CompareVersions(instrument, file)) << instrument << " / " << file;
}

// A row's text converts to `narrow`, or (nullptr) fails with the system's reason.
struct NarrowRow {
    std::wstring text;
    const char* narrow;
};

void ExpectNarrow(const NarrowRow& row, std::string (*convert)(const std::wstring&), const std::error_code& failure) {
    try {
        EXPECT_EQ(row.narrow ? row.narrow : "(fails)", convert(row.text));
    } catch (const std::system_error& error) {
        EXPECT_EQ(nullptr, row.narrow) << error.what();
        EXPECT_EQ(failure, error.code());
        EXPECT_EQ(failure.message(), error.what());
    }
}

const std::wstring kSurrogate(1, wchar_t(0xD800));

// For the log: the strict form wherever there is one, else '?' for each character it lacks.
TEST(FirmwareVersion, ToFileSystemNarrowLossyWritesAQuestionMarkForEachCharacterTheCodePageLacks) {
    EXPECT_EQ("D:\\fw_v1.2.bin|?x?", ToFileSystemNarrowLossy(L"D:\\fw_v1.2.bin") + "|" + ToFileSystemNarrowLossy(L"\xD800x\xDC00"));
#ifdef _WIN32
    ASSERT_EQ(1252u, GetACP()) << "the test Wine's, as on an English Windows";
    EXPECT_EQ("D:\\caf\xE9\\????????\\?.bin", ToFileSystemNarrowLossy(L"D:\\caf\u00e9\\Прошивки\\\U0001F600.bin"));
#endif
}

#ifndef _WIN32
TEST(FirmwareVersion, ToFileSystemNarrowEncodesUtf8AndRefusesWhatHasNoUtf8Form) {
    for (const NarrowRow& row : {NarrowRow{L"fw_v1.2.bin", "fw_v1.2.bin"}, {L"пр\u00e9\U0001F600", "\xD0\xBF\xD1\x80\xC3\xA9\xF0\x9F\x98\x80"},
                                 {kSurrogate, nullptr}, {L"fw" + std::wstring(1, wchar_t(0xDFFF)), nullptr}, {std::wstring(1, wchar_t(0x110000)), nullptr}})
        ExpectNarrow(row, ToFileSystemNarrow, std::make_error_code(std::errc::illegal_byte_sequence));
}
#else
// The ANSI code page, or the OEM one while file functions use it; strict: no best fit, no default.
TEST(FirmwareVersion, ToFileSystemNarrowUsesTheFileFunctionsCodePageStrictly) {
    const std::error_code noTranslation(ERROR_NO_UNICODE_TRANSLATION, std::system_category());
    const std::pair<UINT, NarrowRow> rows[] = {
        {0, {L"fw_v1.2.bin", "fw_v1.2.bin"}}, {0, {L"\U0001F600.bin", nullptr}}, {0, {L"fw" + kSurrogate, nullptr}},
        {1252, {L"caf\u00e9", "caf\xE9"}},    {1252, {L"\u0100", nullptr}},       {1252, {L"\u0416", nullptr}},
        {437, {L"caf\u00e9", "caf\x82"}},     {437, {L"\u0100", nullptr}},        {866, {L"\u0416", "\x86"}},
    };
    ASSERT_TRUE(AreFileApisANSI());
    for (const bool oem : {false, true}) {
        if (oem) SetFileApisToOEM();
        for (const auto& [codePage, row] : rows)
            if (codePage == 0 || codePage == (oem ? GetOEMCP() : GetACP())) ExpectNarrow(row, ToFileSystemNarrow, noTranslation);
    }
    SetFileApisToANSI();
    // The C runtime here cannot switch to UTF-8, so that branch is driven directly.
    for (const NarrowRow& row : {NarrowRow{L"\u0416\U0001F600", "\xD0\x96\xF0\x9F\x98\x80"}, {kSurrogate, nullptr},
                                 {L"\U0001F600" + kSurrogate, nullptr}, {std::wstring(1, wchar_t(0xDC00)), nullptr}})
        ExpectNarrow(row, [](const std::wstring& text) { return ToCodePageStrict(text, CP_UTF8); }, noTranslation);
}
#endif

} // namespace
