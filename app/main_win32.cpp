// The program's entry point: prepare the process, load the pictures, open the log, create the
// main window, run the message loop, release what was made.

#include <windows.h>

#include <objbase.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/crash_trigger.h"
#include "core/crash_dump.h"
#include "core/detached_thread.h"
#include "core/history.h"
#include "core/log.h"
#include "core/program_folder.h"
#include "core/scoped_handle_win32.h"
#include "ui/keyboard_focus.h"
#include "ui/layout_scale.h"
#include "ui/main_window.h"
#include "ui/single_instance.h"
#include "ui/system_libraries.h"
#include "ui/ui_resources.h"
#include "ui/window_helpers.h"
#include "workflows/workflows.h"

namespace {

// Long enough for a detached worker to finish the line it is writing, short enough that a
// close during a port scan ends the process at once; the state workers share is never freed.
constexpr uint32_t kWorkerWaitAtExitMs = 1000;

// Directory part of the module's full path, a root with its backslash ("E:\"); empty when unknown.
std::filesystem::path ExecutableDirectory() {
    std::vector<wchar_t> buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    // A path cut short by the buffer would name another folder.
    if (length == 0 || length >= buffer.size()) return std::filesystem::path();
    return std::filesystem::path(FolderOfPath(std::wstring(buffer.data(), length)));
}

bool IsProcessElevated() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const OwnedHandle owned(token);
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    const bool read = GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) != FALSE;
    return read && elevation.TokenIsElevated != 0;
}

// The quit message's code, or 1 when fetching a message failed.
int RunMessageLoop() {
    MSG message = {};
    for (;;) {
        const BOOL fetched = GetMessageW(&message, nullptr, 0, 0);
        if (fetched == 0) return static_cast<int>(message.wParam);
        if (fetched == -1) return 1;
        if (HandleDialogKeys(MainWindow(), message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Releases, on every way out of wWinMain, whatever start-up and the window made: the workers are
// waited for first, as they may still log, then the log closes; the pictures go before the
// graphics library ends. App() and Ui() themselves are never destroyed.
struct ReleaseAtExit {
    ReleaseAtExit() = default;
    ~ReleaseAtExit() {
        WaitForWorkers(kWorkerWaitAtExitMs);
        // Waiting history lines go in now if they can; else they wait in their file for the next start.
        FlushHistory();
        CloseLog();
        DeleteFontsAndBrushes();
        ReleasePictures();
        StopGraphics();
    }
    ReleaseAtExit(const ReleaseAtExit&) = delete;
    ReleaseAtExit& operator=(const ReleaseAtExit&) = delete;
};

// The taskbar button and the screen readers' properties are COM objects of the window thread; the
// file dialog runs on it too.
struct ComApartment {
    HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ComApartment() {
        if (SUCCEEDED(result)) return;
        WriteLog("COM not initialised: " + HresultText(result) + "; no taskbar progress");
    }
    ~ComApartment() {
        if (SUCCEEDED(result)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
};

// The graphics library starts and the pictures decode on a thread of their own while this one
// opens the log, starts COM and makes the window: together they are most of a start. Wait()
// returns once they are in, and the destructor waits too, so no way out leaves the thread
// running. Where no thread starts they load here, at once.
class PictureLoading {
public:
    explicit PictureLoading(const std::filesystem::path& directory) {
        const auto load = [directory] {
            StartGraphics();
            // Without it, nothing is looked for relative to the current folder; the log refuses such a path.
            if (!directory.empty()) LoadPictures(directory);
        };
        if (done_ && !StartDetachedThread([load, done = done_.Get()] {
                load();
                SetEvent(done);
            }))
            return;
        done_.Reset();
        load();
    }
    ~PictureLoading() { Wait(); }
    void Wait() {
        if (done_) WaitForSingleObject(done_.Get(), INFINITE);
        done_.Reset();
    }
    PictureLoading(const PictureLoading&) = delete;
    PictureLoading& operator=(const PictureLoading&) = delete;

private:
    OwnedHandle done_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    // An elevated program started from a downloads folder must never load a DLL from there.
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    const char* const dpiAwareness = DeclareDpiAwareness();
    const ReleaseAtExit release;
    const std::filesystem::path directory = ExecutableDirectory();
    PictureLoading pictures(directory);
    OpenLog(directory / L"Zarvel-Update.log");
    StartCrashDumps(directory);
    WriteLog("Zarvel Update started");
    WriteLog(std::string("Administrator elevation: ") + (IsProcessElevated() ? "yes" : "no"));
    if (HandOverToRunningCopy()) {
        WriteLog("Another copy is already running; its window was brought to the front");
        return 0;
    }
    WriteLog(std::string("DPI awareness: ") + dpiAwareness);
    ReviewCrashDumps(directory);
    SetHistoryPath(directory / L"Zarvel-Update-history.csv");
#ifdef ZARVEL_CRASH_TRIGGER
    PullCrashTrigger();
#endif
    const ComApartment com;
    // Unchecked: a class that failed to register makes the window's creation fail just below. Its
    // icon comes with the pictures.
    RegisterMainWindowClass(instance, nullptr);
    HWND window = CreateMainWindow(instance);
    if (window == nullptr) return 1;
    // Nothing draws before the window shows; from here on the pictures are this thread's.
    pictures.Wait();
    SetClassIcon(window);
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    // The window draws its own progress bar; comctl32's classes are registered all the same, here,
    // where loading it delays no paint.
    InitProgressBarClass();
    return RunMessageLoop();
}
