#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "firmware/firmware_file.h"
#include "firmware/firmware_image.h"
#include "tests/support/temp_dir.h"

#ifdef _WIN32
#include <windows.h>

#include <locale.h>
#else
#include <sys/stat.h>
#endif

namespace {

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    return bytes;
}

std::wstring WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path.wstring();
}

// What loading raises: the message of a std::runtime_error, "system_error: " + the message of a
// std::system_error, or "" when the file loads.
std::string LoadFailure(const std::wstring& path) {
    try {
        LoadFirmwareImage(path);
    } catch (const std::system_error& error) {
        return std::string("system_error: ") + error.what();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "";
}

// The command written out independently of MakeBlockCommand.
std::string ExpectedCommand(const std::vector<uint8_t>& bytes, size_t index) {
    std::string command = "DUB";
    for (size_t k = 0; k < FirmwareBlockSize; ++k) {
        char digits[3];
        std::snprintf(digits, sizeof digits, "%02x", bytes[index * FirmwareBlockSize + k]);
        command += digits;
    }
    return command + "\n";
}

int opens = 0;
std::FILE* CountingOpen(const std::wstring& path) {
    ++opens;
    return OpenFirmwareFileShared(path);
}
size_t WholeRead(void* buffer, size_t size, size_t count, std::FILE* file) {
    return std::fread(buffer, size, count, file);
}
// A read that breaks off halfway, as a network share that drops out.
size_t HalfRead(void* buffer, size_t size, size_t count, std::FILE* file) {
    return std::fread(buffer, size, count / 2, file);
}
size_t FailedRead(void*, size_t, size_t, std::FILE*) { return 0; }
bool UnknownSize(std::FILE*, uint64_t&) { return false; }
// A file that grew after it was opened: its size was smaller than its content.
bool ZeroSize(std::FILE*, uint64_t& size) {
    size = 0;
    return true;
}

// A file whose size is reported as reportedSize; every read is counted.
uint64_t reportedSize = 0;
int reads = 0;
bool ReportedSize(std::FILE*, uint64_t& size) {
    size = reportedSize;
    return true;
}
size_t CountedRead(void* buffer, size_t size, size_t count, std::FILE* file) {
    ++reads;
    return std::fread(buffer, size, count, file);
}
// A source that never ends, as a device streaming data.
size_t EndlessRead(void* buffer, size_t size, size_t count, std::FILE*) {
    ++reads;
    std::memset(buffer, 0xAA, size * count);
    return count;
}

const FirmwareFileHooks kCountingFile{CountingOpen, OpenFileSize, WholeRead};
const FirmwareFileHooks kSizedFile{CountingOpen, ReportedSize, CountedRead};
const FirmwareFileHooks kEndlessFile{CountingOpen, ReportedSize, EndlessRead};
const FirmwareFileHooks kHalfRead{CountingOpen, OpenFileSize, HalfRead};
const FirmwareFileHooks kFailedRead{CountingOpen, OpenFileSize, FailedRead};
const FirmwareFileHooks kUnknownSize{CountingOpen, UnknownSize, WholeRead};
const FirmwareFileHooks kGrownFile{CountingOpen, ZeroSize, WholeRead};

class FirmwareImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        opens = 0;
        SetFirmwareFileHooks(&kCountingFile);
    }
    void TearDown() override { SetFirmwareFileHooks(nullptr); }
    TempDir dir_;
};

TEST_F(FirmwareImageTest, PadsToWholeBlocksAndChecksumsThePaddedBytes) {
    struct Case {
        size_t fileSize;
        uint64_t blocks;
        uint32_t crc32;
    };
    const Case cases[] = {{1, 1, 0x92C0E351u}, {120, 1, 0x20DA8815u}, {121, 2, 0x6985FFECu}, {300, 3, 0x71C31A3Bu}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileSize);
        const std::wstring path =
            WriteFile(dir_.path() / ("fw_" + std::to_string(c.fileSize) + ".bin"), Pattern(c.fileSize));
        std::vector<uint8_t> expected = Pattern(c.fileSize);
        expected.resize(c.blocks * FirmwareBlockSize, 0xFF);

        const FirmwareImage image = LoadFirmwareImage(path);
        EXPECT_EQ(path, image.path);
        EXPECT_EQ(expected, image.bytes);
        EXPECT_EQ(c.blocks, BlockCount(image));
        EXPECT_EQ(c.crc32, image.crc32);
        EXPECT_EQ(ExpectedCommand(expected, c.blocks - 1), MakeBlockCommand(image, c.blocks - 1));
    }
}

TEST_F(FirmwareImageTest, OneByteFileMakesOnePaddedBlock) {
    const FirmwareImage image = LoadFirmwareImage(WriteFile(dir_.path() / "a.bin", {0x41}));
    std::string ff;
    for (int i = 0; i < 119; ++i) ff += "ff";
    EXPECT_EQ(1u, BlockCount(image));
    EXPECT_EQ(0xCFE54DAFu, image.crc32);
    EXPECT_EQ("DUB41" + ff + "\n", MakeBlockCommand(image, 0));
}

TEST(MakeBlockCommand, WritesEachByteAsTwoLowerCaseDigits) {
    FirmwareImage image;
    image.bytes.assign(2 * FirmwareBlockSize, 0xFF);
    image.bytes[FirmwareBlockSize + 0] = 0x00;
    image.bytes[FirmwareBlockSize + 1] = 0x0A;
    std::string ff;
    for (int i = 0; i < 118; ++i) ff += "ff";

    const std::string command = MakeBlockCommand(image, 1);
    EXPECT_EQ(244u, command.size());
    EXPECT_EQ("DUB000a" + ff + "\n", command);
}

TEST(MakeBlockCommand, RefusesAnIndexAtOrBeyondTheBlockCount) {
    FirmwareImage image;
    image.bytes.assign(3 * FirmwareBlockSize, 0x00);
    const FirmwareImage empty;
    const struct {
        const FirmwareImage* image;
        uint64_t index;
    } cases[] = {{&image, 3}, {&image, std::numeric_limits<uint64_t>::max()}, {&empty, 0}};
    for (const auto& c : cases) {
        try {
            MakeBlockCommand(*c.image, c.index);
            ADD_FAILURE() << "index " << c.index << " was accepted";
        } catch (const std::out_of_range& error) {
            EXPECT_EQ(std::string("Firmware block index"), error.what());
        }
    }
}

TEST_F(FirmwareImageTest, AcceptsOnlyDotBinOrDotBIN) {
    const wchar_t* accepted[] = {L"firmware.bin", L"FIRMWARE.BIN", L"fw.v1.2.bin"};
    for (const wchar_t* name : accepted) {
        SCOPED_TRACE(::testing::Message() << name);
        const std::wstring path = WriteFile(dir_.path() / name, {0x41});
        EXPECT_EQ("", LoadFailure(path));
    }
}

TEST_F(FirmwareImageTest, RefusesOtherExtensionsBeforeTouchingTheFile) {
    // Each file exists and could be read; every one sits in its own folder because Windows
    // names ignore case.
    const wchar_t* existing[] = {L"firmware.Bin", L"firmware.bIN", L"firmware.bin.txt", L"firmware", L".bin", L".BIN"};
    int folder = 0;
    for (const wchar_t* name : existing) {
        SCOPED_TRACE(::testing::Message() << name);
        const std::wstring path = WriteFile(dir_.path() / std::to_string(folder++) / name, {0x41});
        EXPECT_EQ("Firmware file must have .bin extension", LoadFailure(path));
    }
    const std::wstring folderPath = dir_.path().wstring();
    const std::wstring elsewhere[] = {L"",
                                      folderPath + L"/x.bin/firmware",
                                      folderPath + L"\\x.bin\\firmware",
                                      folderPath + L"/.",
                                      L"x.bin\\..",
                                      L"C:\\fw\\.bin",
                                      L"fw.bin\\"};
    for (const std::wstring& path : elsewhere) {
        SCOPED_TRACE(::testing::Message() << path);
        EXPECT_EQ("Firmware file must have .bin extension", LoadFailure(path));
    }
    EXPECT_EQ(0, opens);
}

TEST_F(FirmwareImageTest, MissingAndEmptyFilesAreRefused) {
    EXPECT_EQ("Cannot open firmware file", LoadFailure((dir_.path() / "missing.bin").wstring()));
    EXPECT_EQ("Cannot open firmware file", LoadFailure((dir_.path() / "no-folder" / "fw.bin").wstring()));
    EXPECT_EQ("Firmware file is empty", LoadFailure(WriteFile(dir_.path() / "empty.bin", {})));
}

TEST_F(FirmwareImageTest, ReadThatBreaksOffIsRefusedNotTruncated) {
    const std::wstring path = WriteFile(dir_.path() / "fw_v1.2.bin", Pattern(1000));
    const struct {
        const FirmwareFileHooks* layer;
        const char* what;
    } cases[] = {{&kHalfRead, "half read"}, {&kFailedRead, "nothing read"}, {&kUnknownSize, "size unknown"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetFirmwareFileHooks(c.layer);
        EXPECT_EQ("Cannot read firmware file", LoadFailure(path));
    }
}

TEST_F(FirmwareImageTest, ReadsToTheEndOfAFileThatGrewAfterOpening) {
    SetFirmwareFileHooks(&kGrownFile);
    std::vector<uint8_t> expected = Pattern(1000);
    const FirmwareImage image = LoadFirmwareImage(WriteFile(dir_.path() / "fw.bin", expected));
    expected.resize(9 * FirmwareBlockSize, 0xFF);
    EXPECT_EQ(expected, image.bytes);
}

TEST_F(FirmwareImageTest, FileLargerThan16MiBIsRefusedBeforeItIsRead) {
    const std::wstring path = WriteFile(dir_.path() / "fw.bin", Pattern(1000));
    const struct {
        const FirmwareFileHooks* layer;
        uint64_t size;
        const char* failure;
        bool read;
    } cases[] = {
        {&kSizedFile, kLargestFirmwareBytes + 1, "Firmware file is too large", false},
        {&kSizedFile, kLargestFirmwareBytes, "Cannot read firmware file", true}, // allowed, but the file is shorter
        {&kEndlessFile, 0, "Firmware file is too large", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        SetFirmwareFileHooks(c.layer);
        reportedSize = c.size;
        reads = 0;
        EXPECT_EQ(c.failure, LoadFailure(path));
        EXPECT_EQ(c.read, reads > 0);
    }
}

// A folder, or a pipe whose content another program sends, is not a firmware file.
TEST_F(FirmwareImageTest, OnlyARegularFileIsOpened) {
    std::filesystem::create_directory(dir_.path() / "x.bin");
    EXPECT_EQ("Cannot open firmware file", LoadFailure((dir_.path() / "x.bin").wstring()));
#ifdef _WIN32
    const std::wstring pipe = L"\\\\.\\pipe\\zarvel-firmware-test.bin";
    const HANDLE server = CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    EXPECT_EQ("Cannot open firmware file", LoadFailure(pipe));
    CloseHandle(server);
#else
    const std::filesystem::path fifo = dir_.path() / "fifo.bin";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    EXPECT_EQ("Cannot open firmware file", LoadFailure(fifo.wstring()));
#endif
}

TEST_F(FirmwareImageTest, ImageKeepsPathAndVersionAndLeavesTheFileClosed) {
    const std::wstring path = WriteFile(dir_.path() / "fw_v1.2.3.bin", Pattern(10));
    const FirmwareImage image = LoadFirmwareImage(path);
    EXPECT_EQ(path, image.path);
    EXPECT_EQ("1.2.3", image.version);
    // Windows refuses to delete a file that is still open.
    EXPECT_TRUE(std::filesystem::remove(image.path));
}

#ifdef _WIN32
TEST_F(FirmwareImageTest, LoadsAFileThatAnotherProgramHoldsOpenForWriting) {
    const std::wstring path = WriteFile(dir_.path() / "fw.bin", Pattern(10));
    const HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ("", LoadFailure(path));
    CloseHandle(writer);
}
#endif

TEST_F(FirmwareImageTest, NameWithoutANarrowFormIsRefused) {
#ifdef _WIN32
    // The C runtime opens narrow names in the ANSI code page, and no ANSI code page holds an
    // emoji: the file exists and reads, but its name has no narrow form for the version.
    ASSERT_NE(65001u, ___lc_codepage_func());
    const std::wstring path = WriteFile(dir_.path() / L"fw_\U0001F600_v1.2.bin", Pattern(10));
    EXPECT_EQ("system_error: " + std::system_category().message(ERROR_NO_UNICODE_TRANSLATION), LoadFailure(path));
#else
    // Names are UTF-8 here: only a surrogate has no narrow form.
    const std::wstring path = dir_.path().wstring() + L"/fw_" + wchar_t(0xD800) + L".bin";
    EXPECT_EQ("system_error: " + std::make_error_code(std::errc::illegal_byte_sequence).message(), LoadFailure(path));
#endif
}

} // namespace
