#pragma once
// The real main window in the test process, driven as a user drives it (clicks, the answers to
// its boxes and dialogs) and read back as the user sees it: texts, places and screen pixels.

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

// "/a/b" (a path baked in at build time) as Wine's "Z:\a\b".
std::filesystem::path WinePath(const std::string& unixPath);
// Serves the thread's messages until done() or the deadline; false on the deadline.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000);
std::wstring TextOf(HWND window);

// The workers the window started, recorded instead of run.
struct Launches {
    int monitors = 0;
    int nextMonitors = 0;
    std::vector<void (*)()> operations;
};
extern Launches launches;

// The next windows of ours to appear, in order, each answered by its handler inside whatever
// loop then runs: className "#32770" (a message box, the open-file dialog) or the pop-up's.
// One nobody expected is closed and fails the test.
using DialogHandler = std::function<void(HWND dialog)>;
void ExpectDialog(const wchar_t* className, DialogHandler handler);
void Press(HWND dialog, int button);

struct SeenBox {
    HWND box = nullptr;
    std::wstring caption;
    std::wstring text;
};
// Records the message box, runs whileOpen inside its loop, then presses OK.
DialogHandler AnswerBox(SeenBox* seen, std::function<void()> whileOpen = {});

// One expectation about the pixels of an area of a client area (right and bottom exclusive).
enum class Cover { All, Some, None };
struct PixelCheck {
    const char* what;
    RECT area;
    COLORREF colour;
    int tolerance;
    Cover cover;
};
PixelCheck At(const char* what, int x, int y, COLORREF colour, int tolerance = 4);
// Serves messages until every check holds on the window's client area as the screen shows it
// (pop-ups in front included) or 10 s passed; saves the capture as build/windows/screenshots/name.png.
void ExpectShows(HWND window, const std::vector<PixelCheck>& checks, const std::string& name);

// A fresh window per test; its log in dir_, its workers recorded.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void Open();

    HWND Item(int id) const { return GetDlgItem(window_, id); }
    std::wstring Text(int id) const { return TextOf(Item(id)); }
    RECT BoxOf(int id) const; // in client coordinates
    bool Visible(int id) const { return IsWindowVisible(Item(id)) != FALSE; }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    void Click(int id) { SendMessageW(Item(id), BM_CLICK, 0, 0); }
    // A text notification as a worker posts it.
    void Post(UINT code, WPARAM wParam, const std::wstring& text);
    // The log's messages, without their time.
    std::vector<std::string> LogLines() const;

    void ReachCheckPage(double volts, bool instrumentReady = true);
    // A ready check page (4.1 V, a file, the risk accepted), then Start.
    void StartUpdate();

    TempDir dir_;
    HWND window_ = nullptr;
};
