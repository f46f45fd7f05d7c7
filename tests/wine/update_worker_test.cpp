// The update worker in real time through the Win32 serial backend, against the station
// simulator (started by tests/wine/with_station.sh with the options in CMakeLists.txt). A
// message-only window stands in for the main window: it receives the notifications as the real
// one does and frees their texts.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/notifications.h"
#include "core/text.h"
#include "firmware/firmware_image.h"
#include "tests/support/app_reset.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/wine/station_sim_env.h"
#include "workflows/workflows.h"

namespace {

// The identification the simulator is started with (--ident, from tests/wine/CMakeLists.txt).
constexpr char kIdentification[] = ZARVEL_STATION_IDENT;
// The whole update takes about 20 s (1.5 s before the reset, the 15 s reinstall wait); a
// failure may take as long as the deadlines allow, and the machine may be loaded.
constexpr DWORD kUpdateDeadlineMs = 240000;
constexpr uint32_t kWorkerEndMs = 30000;
constexpr DWORD kReinstallWaitMs = 15000;
constexpr size_t kFileBytes = 300; // three blocks, the last one padded with 0xFF

// One notification as the window received it; a text payload is copied and freed on receipt.
struct Notice {
    uint32_t code;
    uintptr_t wParam;
    intptr_t lParam; // 0 for the text notifications
    std::wstring text;
    bool operator==(const Notice& other) const {
        return code == other.code && wParam == other.wParam && lParam == other.lParam && text == other.text;
    }
};

void PrintTo(const Notice& notice, std::ostream* out) {
    *out << "{0x" << std::hex << notice.code << std::dec << ", " << notice.wParam << ", " << notice.lParam << ", \""
         << WideToUtf8(notice.text) << "\"}";
}

Notice Status(uintptr_t line, const std::wstring& text) { return {MSG_STATUS_LINE, line, 0, text}; }
Notice Progress(uintptr_t percent, intptr_t mark) { return {MSG_PROGRESS, percent, mark, {}}; }
Notice Done(OperationResult result, const std::wstring& text) { return {MSG_OPERATION_DONE, result, 0, text}; }

// Written and read on the test thread only (the window procedure runs there).
std::vector<Notice> received;
DWORD promptTime = 0; // post times (GetMessageTime) of the reinstall prompt and of the end
DWORD doneTime = 0;

LRESULT CALLBACK SinkProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message < MSG_INSTRUMENT_CHECKED || message > MSG_REINSTALL_PROMPT) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    Notice notice{message, static_cast<uintptr_t>(wParam), static_cast<intptr_t>(lParam), {}};
    if (message == MSG_STATUS_LINE || message == MSG_OPERATION_DONE) {
        // From the moment it was posted the text is ours to free.
        const std::unique_ptr<std::wstring> text(reinterpret_cast<std::wstring*>(lParam));
        notice.lParam = 0;
        notice.text = text ? *text : L"(null)";
    }
    if (message == MSG_REINSTALL_PROMPT) promptTime = static_cast<DWORD>(GetMessageTime());
    if (message == MSG_OPERATION_DONE) doneTime = static_cast<DWORD>(GetMessageTime());
    received.push_back(notice);
    return 0;
}

void PumpPending() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

bool OperationDone() {
    return std::any_of(received.begin(), received.end(), [](const Notice& n) { return n.code == MSG_OPERATION_DONE; });
}

// Dispatches messages until the worker reported its end or the deadline passed.
bool PumpUntilDone(DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!OperationDone()) {
        if (GetTickCount64() >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        PumpPending();
    }
    return true;
}

// True when every item of `expected` appears in `actual`, in this order (others may lie between).
bool InOrder(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
    auto at = actual.begin();
    for (const std::string& item : expected) {
        at = std::find(at, actual.end(), item);
        if (at == actual.end()) return false;
        ++at;
    }
    return true;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += "\n  " + line;
    return all;
}

class UpdateAgainstStation : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = SimComPort();
        ASSERT_NE(0, port_) << "run through tests/wine/with_station.sh";
        ResetAppState();
        received.clear();

        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = SinkProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ZarvelNotificationSink";
        RegisterClassW(&windowClass);
        sink_ = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
        ASSERT_NE(nullptr, sink_);
        App().mainWindow = sink_;

        for (size_t i = 0; i < kFileBytes; ++i) file_.push_back(static_cast<char>((i * 37 + 11) & 0xFF));
        const auto path = dir_.path() / L"zarvel_v1.2.0.bin";
        std::ofstream(path, std::ios::binary) << file_;
        App().firmware = LoadFirmwareImage(path.wstring());
        App().firmwareReady = true;
        // As the instrument monitor leaves it, and as the window sets it before starting the update.
        App().preferredPort.store(port_);
        App().operationBusy.store(true);
    }

    void TearDown() override {
        EXPECT_TRUE(WaitForWorkers(kWorkerEndMs)) << "the worker did not end";
        PumpPending();
        App().mainWindow = nullptr;
        if (sink_) DestroyWindow(sink_);
        ResetAppState();
    }

    // Runs one update as the Start button does and waits for its end.
    void RunUpdate() {
        StartDetachedWorker(UpdateWorker);
        ASSERT_TRUE(PumpUntilDone(kUpdateDeadlineMs)) << "no MSG_OPERATION_DONE in time";
        EXPECT_TRUE(WaitForWorkers(kWorkerEndMs));
        PumpPending(); // nothing may follow the end
    }

    // The log without the port-list lines, which name whatever ports Wine offers; each becomes
    // "(ports)" once checked to put the simulator's port first.
    std::vector<std::string> Log() {
        std::vector<std::string> lines = log_.Messages();
        const std::string listing = "Available COM ports: COM" + std::to_string(port_);
        for (std::string& line : lines) {
            if (line.rfind("Available COM ports:", 0) != 0) continue;
            EXPECT_TRUE(line == listing || line.rfind(listing + " ", 0) == 0) << line;
            line = "(ports)";
        }
        return lines;
    }

    std::string BgvLine() const { return "COM" + std::to_string(port_) + " BGV -> " + kIdentification; }

    LogCapture log_;
    TempDir dir_;
    int port_ = 0;
    HWND sink_ = nullptr;
    std::string file_;
};

TEST_F(UpdateAgainstStation, WholeUpdateSendsTheImageResetsReconnectsAndSucceeds) {
    std::string padded = file_;
    padded.resize(BlockCount(App().firmware) * FirmwareBlockSize, '\xFF');
    ASSERT_EQ(360u, padded.size());
    const std::string crc = std::to_string(App().firmware.crc32);

    RunUpdate();

    const std::vector<Notice> expected = {
        Status(1, L"✓  Подключение к прибору"),
        Status(2, L"✓  Переход в режим обновления"),
        Progress(36, 0),
        Status(3, L"●  Передача прошивки: 1 из 3"),
        Progress(63, 0),
        Status(3, L"●  Передача прошивки: 2 из 3"),
        Progress(90, 1),
        Progress(90, 0),
        Status(3, L"●  Передача прошивки: 3 из 3"),
        Status(3, L"✓  Прошивка передана"),
        Status(4, L"●  Перезапуск прибора"),
        {MSG_REINSTALL_PROMPT, 0, 0, {}},
        Status(4, L"✓  Перезапуск выполнен"),
        Status(5, L"✓  Прибор повторно подключён"),
        Progress(100, 0),
        Done(Succeeded, L"Прошивка успешно обновлена до версии 1.2.0."),
    };
    EXPECT_EQ(expected, received);
    // Both stamps are taken when the worker posts; the worker waits 15 s after the prompt.
    EXPECT_LE(kReinstallWaitMs, doneTime - promptTime);

    // What the instrument received: the padded file, whole, with a matching CRC-32.
    const std::vector<std::string> events = SimEvents();
    EXPECT_TRUE(InOrder({"bgv", "gb 3950", "dustart", "dusize 3", "dusumm " + crc, "block 1/3", "block 2/3", "block 3/3",
                         "image-ok blocks=3 crc=" + crc, "drst", "rebooted version=1.2.0", "bgv", "bic 1", "gv 1.2.0", "bb"},
                        events))
        << Joined(events);
    EXPECT_TRUE(std::none_of(events.begin(), events.end(), [](const std::string& e) { return e.rfind("error", 0) == 0; }))
        << Joined(events);
    EXPECT_EQ(padded, ReadWholeFile(SimFile("image.bin")));

    const std::vector<std::string> expectedLog = {
        "(ports)",
        BgvLine(),
        "DUSTART -> OK",
        "DUSIZE -> OK",
        "DUSUMM -> OK",
        "DUB 1/3 -> NEXT",
        "DUB 2/3 -> NEXT",
        "DUB 3/3 -> OK",
        "DRST -> OK",
        "Reset confirmed; waiting 15 seconds for the instrument to reboot",
        "(ports)",
        BgvLine(),
        "BIC after instrument reinstall -> 1",
        "GV after instrument reinstall -> 1.2.0",
        "BB after successful update -> OK",
    };
    EXPECT_EQ(expectedLog, Log());
}

TEST_F(UpdateAgainstStation, DustartRefusedFailsBeforeAnythingIsWritten) {
    RunUpdate();

    const std::vector<Notice> expected = {
        Status(1, L"✓  Подключение к прибору"),
        Done(Failed, L"Прибор не поддерживает запуск DFWU. Прошивка не изменена."),
    };
    EXPECT_EQ(expected, received);

    // DUSTART was the last thing the instrument heard.
    const std::vector<std::string> events = SimEvents();
    ASSERT_FALSE(events.empty());
    EXPECT_TRUE(InOrder({"bgv", "gb 3950", "dustart"}, events)) << Joined(events);
    EXPECT_EQ("dustart", events.back()) << Joined(events);
    EXPECT_EQ((std::vector<std::string>{"(ports)", BgvLine(), "DUSTART -> ERR"}), Log());
}

} // namespace
