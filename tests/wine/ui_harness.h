#pragma once
// The real main window, created in the test process, and the means to drive it as a user
// does: messages to its controls, answers to its message boxes and to the open-file dialog.

#include <windows.h>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "ui/worker_launch.h"

struct SerialIo;

struct ControlBox {
    int x;
    int y;
    int width;
    int height;
    bool operator==(const ControlBox& other) const {
        return x == other.x && y == other.y && width == other.width && height == other.height;
    }
};
void PrintTo(const ControlBox& box, std::ostream* out);

// One control of a page as the user sees it; a null text is not checked.
struct ExpectedControl {
    int id;
    ControlBox box;
    bool visible;
    const wchar_t* text;
};

// What a message box showed, and anything the test read while it was open.
struct SeenBox {
    bool seen = false;
    std::wstring caption;
    std::wstring text;
    HICON icon = nullptr;
};

// "/a/b" (a Linux path baked in at build time) as the Wine drive path "Z:\a\b".
std::filesystem::path WinePath(const std::string& unixPath);

// Dispatches the thread's messages until done() or the deadline; false on the deadline.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000);
void PumpPending();

// Workers started through the window, recorded instead of run; a set failure makes the next
// start throw as a thread that cannot be created.
struct LaunchRecord {
    int monitors = 0;
    int nextMonitors = 0; // started for the next instrument after an update
    std::vector<void (*)()> operations;
    bool failNext = false;
};
LaunchRecord& Launches();
const WorkerLaunch& RecordingLaunch();

// Watches one heap object: WasFreed() turns true when it is deleted.
void WatchFree(const void* object);
bool WasFreed();

// A port list with no COM ports; counts the threads that listed the ports.
const SerialIo& NoPortsSerialIo();
int ThreadsThatListedPorts();

// The dialog handler for the next dialog of this thread that appears (a message box or the
// open-file dialog). A dialog nobody expected is closed and counted as unexpected.
using DialogHandler = std::function<void(HWND dialog)>;
void ExpectDialog(DialogHandler handler);
// The handler for the next reinstall pop-up; it runs inside the pop-up's own message loop and
// may pump messages itself. One nobody expected is confirmed and counted as unexpected.
void ExpectReinstallDialog(DialogHandler handler);
// Records the box into *seen, runs whileOpen (inside the box's loop), then presses OK.
DialogHandler AnswerBox(SeenBox* seen, std::function<void()> whileOpen = {});
// Real input, as the user's hands give it: a left click at a screen point, and keys pressed
// together and released in reverse order (virtual-key codes).
void ClickAt(POINT screen);
void PressKeys(std::initializer_list<WORD> keys);

// Types path into the open-file dialog's name box and presses Open; or presses Cancel.
DialogHandler OpenFileNamed(const std::wstring& path);
DialogHandler CancelFileDialog();

// The window as the program creates it, over the fresh process state of each test.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the window with the assets of directory (the program's own by default).
    void CreateWindowWithAssetsIn(const std::filesystem::path& directory);
    void DestroyTheWindow();

    HWND Item(int id) const { return GetDlgItem(window_, id); }
    std::wstring Text(int id) const;
    ControlBox BoxOf(int id) const;
    bool Visible(int id) const;
    bool Enabled(int id) const;
    void Click(int id);            // the button's own click, as the mouse gives it
    void Command(int id);          // WM_COMMAND as a click on that control sends it
    void SetRiskAccepted(bool accepted);
    void PostText(UINT code, WPARAM wParam, const std::wstring& text);
    std::vector<std::string> LogLines() const;

    // Every control of the page as expected, the page fonts on heading and description.
    template <size_t N>
    void ExpectPage(const ExpectedControl (&page)[N]) {
        ExpectPage(page, N);
    }
    void ExpectPage(const ExpectedControl* page, size_t count);

    // The check page with a ready instrument, the given voltage and, optionally, a file.
    void ReachCheckPage(double volts, bool instrumentReady = true);
    // A ready check page (4.1 V, a file, the risk accepted), then a click on Start.
    void StartUpdateFromCheckPage();

    TempDir dir_;
    HWND window_ = nullptr;
    bool keepLaunchers_ = false; // true: the real workers run (over a port list without ports)
};

// The assets folder of the source tree.
std::filesystem::path SourceAssetsParent();
