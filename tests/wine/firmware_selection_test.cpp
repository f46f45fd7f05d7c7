// Choosing the firmware file through the real open-file dialog.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "core/app_state.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_version.h"
#include "tests/wine/ui_harness.h"
#include "ui/main_window.h"

namespace {

class FirmwareSelection : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        CreateWindowWithAssetsIn(SourceAssetsParent());
        ReachCheckPage(4.1);
        SetRiskAccepted(true);
        Command(IDC_ACCEPT_RISK);
    }

    std::wstring MakeFile(const std::wstring& name, const std::vector<uint8_t>& bytes) {
        const std::filesystem::path path = dir_.path() / name;
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
        return path.wstring();
    }

    void Choose(DialogHandler answer) {
        ExpectDialog(std::move(answer));
        Click(IDC_CHOOSE_FILE);
    }

    // A good file chosen: its path.
    std::wstring ChooseGoodFile() {
        const std::wstring path = MakeFile(L"fw_v1.2.3.bin", std::vector<uint8_t>(300, 0x5A));
        Choose(OpenFileNamed(path));
        return path;
    }
};

uint32_t PaddedCrc(std::vector<uint8_t> bytes) {
    while (bytes.size() % FirmwareBlockSize != 0) bytes.push_back(0xFF);
    return Crc32(bytes.data(), bytes.size());
}

TEST_F(FirmwareSelection, AGoodFileIsShownLoggedAndEnablesStart) {
    EXPECT_FALSE(Enabled(IDC_START));
    const size_t linesBefore = LogLines().size();
    const std::wstring path = ChooseGoodFile();

    EXPECT_TRUE(App().firmwareReady);
    EXPECT_EQ(path, App().firmware.path);
    EXPECT_EQ(360u, App().firmware.bytes.size());
    EXPECT_EQ(L"fw_v1.2.3.bin", Text(IDC_FILE_BOX));
    EXPECT_TRUE(Enabled(IDC_START));
    const std::vector<std::string> log = LogLines();
    ASSERT_EQ(linesBefore + 1, log.size());
    EXPECT_EQ("Firmware selected: " + ToFileSystemNarrow(path) + ", blocks=3, crc32=" +
                  std::to_string(PaddedCrc(std::vector<uint8_t>(300, 0x5A))),
              log.back());
}

TEST_F(FirmwareSelection, TheChecksumIsLoggedInDecimal) {
    const std::wstring path = MakeFile(L"one.bin", {0x41});
    Choose(OpenFileNamed(path));
    const std::string line = LogLines().back();
    const uint32_t crc = PaddedCrc({0x41});
    EXPECT_EQ(", blocks=1, crc32=" + std::to_string(crc), line.substr(line.find(", blocks=")));
}

struct RefusedFile {
    const wchar_t* name;
    std::vector<uint8_t> bytes;
    const wchar_t* message;
};

TEST_F(FirmwareSelection, ARefusedFileShowsItsErrorKeepsTheOldNameAndDisablesStart) {
    const RefusedFile cases[] = {
        {L"firmware.Bin", {1, 2, 3}, L"Firmware file must have .bin extension"},
        {L"empty.bin", {}, L"Firmware file is empty"},
    };
    const std::wstring good = ChooseGoodFile();
    ASSERT_TRUE(Enabled(IDC_START));
    for (const RefusedFile& refused : cases) {
        SCOPED_TRACE(testing::Message() << refused.message);
        const size_t linesBefore = LogLines().size();
        SeenBox box;
        ExpectDialog(OpenFileNamed(MakeFile(refused.name, refused.bytes)));
        Choose(AnswerBox(&box));
        ASSERT_TRUE(box.seen);
        EXPECT_EQ(L"Файл прошивки", box.caption);
        EXPECT_EQ(refused.message, box.text);
        EXPECT_EQ(LoadIconW(nullptr, IDI_ERROR), box.icon);
        EXPECT_FALSE(App().firmwareReady);
        EXPECT_FALSE(Enabled(IDC_START));
        EXPECT_EQ(L"fw_v1.2.3.bin", Text(IDC_FILE_BOX));
        EXPECT_EQ(good, App().firmware.path) << "the slot keeps the image it had";
        EXPECT_EQ(linesBefore, LogLines().size());
    }
}

TEST_F(FirmwareSelection, CancellingTheDialogChangesNothing) {
    ChooseGoodFile();
    const size_t linesBefore = LogLines().size();
    Choose(CancelFileDialog());
    EXPECT_TRUE(App().firmwareReady);
    EXPECT_TRUE(Enabled(IDC_START));
    EXPECT_EQ(L"fw_v1.2.3.bin", Text(IDC_FILE_BOX));
    EXPECT_EQ(linesBefore, LogLines().size());

    // Nor is Start re-evaluated: a cancel leaves it as it was even when the rule changed.
    SetRiskAccepted(false);
    Choose(CancelFileDialog());
    EXPECT_TRUE(Enabled(IDC_START));
}

bool Convertible(const std::wstring& text) {
    try {
        ToFileSystemNarrow(text);
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

// A folder name the file-system code page cannot hold: the file loads, its name is shown, but
// the log line cannot be written, so the choice is not usable. Where the code page holds every
// character (UTF-8), the same file is simply chosen.
TEST_F(FirmwareSelection, APathTheLogCannotHoldIsShownButNotUsable) {
    const std::filesystem::path folder = dir_.path() / L"папка_☃";
    std::filesystem::create_directory(folder);
    const std::wstring path = (folder / L"fw_v2.0.bin").wstring();
    std::ofstream(std::filesystem::path(path), std::ios::binary) << "abc";
    const bool convertible = Convertible(path);
    SeenBox box;
    ExpectDialog(OpenFileNamed(path));
    if (!convertible) ExpectDialog(AnswerBox(&box));
    Click(IDC_CHOOSE_FILE);
    EXPECT_EQ(L"fw_v2.0.bin", Text(IDC_FILE_BOX));
    EXPECT_EQ(path, App().firmware.path);
    EXPECT_EQ(convertible, App().firmwareReady);
    EXPECT_EQ(convertible, Enabled(IDC_START));
    EXPECT_EQ(!convertible, box.seen);
    EXPECT_EQ(convertible ? L"" : L"Файл прошивки", box.caption);
}

// A file name it cannot hold carries no readable version: the load itself is refused.
TEST_F(FirmwareSelection, AFileNameTheCodePageCannotHoldIsRefused) {
    const std::wstring path = MakeFile(L"прошивка_☃_v2.bin", {1, 2, 3});
    if (Convertible(path)) GTEST_SKIP() << "this code page holds every character";
    ChooseGoodFile();
    SeenBox box;
    ExpectDialog(OpenFileNamed(path));
    Choose(AnswerBox(&box));
    EXPECT_EQ(L"Файл прошивки", box.caption);
    EXPECT_FALSE(App().firmwareReady);
    EXPECT_EQ(L"fw_v1.2.3.bin", Text(IDC_FILE_BOX));
    EXPECT_FALSE(Enabled(IDC_START));
}

} // namespace
