#include "ui/firmware_selection.h"

#include <windows.h>

#include <commdlg.h>

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "core/app_state.h"
#include "core/log.h"
#include "firmware/firmware_image.h"
#include "firmware/firmware_version.h"
#include "text/narrow_text.h"
#include "ui/control_ids.h"
#include "ui/keyboard_focus.h"
#include "ui/start_button.h"
#include "ui/system_libraries.h"
#include "ui/version_question.h"
#include "ui/window_helpers.h"

namespace {

// One filter pair; the literal's own terminator closes the list with a second NUL.
const wchar_t kFilter[] = L"Прошивка Zarvel (*.bin)\0*.bin\0";

// Loaded when the dialog first opens: the library and those it brings cost every start more than a bare window's.
struct FileDialogLibrary {
    decltype(&::GetOpenFileNameW) getOpenFileName = nullptr;
    decltype(&::CommDlgExtendedError) extendedError = nullptr;
};

const FileDialogLibrary& FileDialog() {
    static const FileDialogLibrary library = [] {
        const HMODULE module = LoadSystemLibrary(L"comdlg32.dll");
        return FileDialogLibrary{
            .getOpenFileName = SystemFunction<decltype(&::GetOpenFileNameW)>(module, "GetOpenFileNameW"),
            .extendedError = SystemFunction<decltype(&::CommDlgExtendedError)>(module, "CommDlgExtendedError")};
    }();
    return library;
}

// The chosen path, or an empty string when the user cancelled or the dialog failed.
std::wstring AskForFirmwarePath() {
    const FileDialogLibrary& library = FileDialog();
    if (library.getOpenFileName == nullptr || library.extendedError == nullptr) {
        WriteLog("Open-file dialog failed: comdlg32.dll could not be loaded");
        return std::wstring();
    }
    std::vector<wchar_t> buffer(kFirmwarePathChars, L'\0');
    OPENFILENAMEW dialog = {};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = MainWindow();
    dialog.lpstrFilter = kFilter;
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = kFirmwarePathChars;
    dialog.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (library.getOpenFileName(&dialog)) return std::wstring(buffer.data());
    // A cancel reports 0; anything else is the dialog's own failure, worth a line.
    const DWORD error = library.extendedError();
    if (error != 0) WriteLog("Open-file dialog failed: error " + std::to_string(error));
    return std::wstring();
}

void TakeFirmware(const std::wstring& path) {
    AppState& app = App();
    FirmwareImage image = LoadFirmwareImage(path);
    app.firmware = std::move(image);
    app.firmwareReady = true;
    SetOutsideText(IDC_FILE_BOX, FileNamePart(app.firmware.path));
    // A path the code page cannot hold in full is no reason to refuse a file that loaded.
    WriteLog("Firmware selected: " + ToFileSystemNarrowLossy(app.firmware.path) +
             ", blocks=" + std::to_string(BlockCount(app.firmware)) + ", crc32=" + std::to_string(app.firmware.crc32));
    LogVersions();
}

void RefuseFirmware(const std::exception& error) {
    App().firmwareReady = false;
    ShowMessageBox(ErrorText(error).c_str(), L"Файл прошивки", MB_ICONERROR);
}

} // namespace

void ChooseFirmwareFile() {
    const std::wstring path = AskForFirmwarePath();
    if (path.empty()) return;
    try {
        TakeFirmware(path);
    } catch (const std::exception& error) {
        RefuseFirmware(error);
    }
    UpdateStartButton();
    FocusRiskAfterFileLoaded();
}
