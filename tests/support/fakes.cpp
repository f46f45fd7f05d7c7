#include "tests/support/fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "core/app_state.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/notifications.h"
#include "text/text.h"
#include "workflows/workflows.h"

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;
Rig* rig = nullptr;

void ResetAppState() {
    AppState& app = App();
    for (auto* flag : {&app.appClosing, &app.operationBusy, &app.cancelRequested, &app.cancelAllowed}) flag->store(false);
    app.preferredPort.store(0);
    app.batteryVoltage = 0.0;
    app.instrumentVersion.clear();
    app.instrumentReady = false;
    app.updateFacts = UpdateFacts{};
    app.firmware = FirmwareImage{};
    const std::lock_guard<std::mutex> lock(app.portNotes.mutex);
    for (auto* notes : {&app.portNotes.slow, &app.portNotes.saidSlow, &app.portNotes.saidTaken, &app.portNotes.saidBluetooth}) notes->clear();
}

std::string Com(int number) { return "COM" + std::to_string(number) + " "; }

void Sleep(uint32_t ms) {
    {
        const Lock lock(rig->mutex);
        rig->Step();
        if (ms != kEmptyReadPauseMs) rig->Note("pause " + std::to_string(ms)); // Transact's between reads left out
        rig->now += ms;
    }
    if (rig->onSleep) rig->onSleep(ms);
}

uint32_t Listing(wchar_t* buffer, uint32_t capacity, uint32_t* error) {
    const Lock lock(rig->mutex);
    rig->Step();
    if (!rig->listingErrors.empty()) {
        *error = rig->listingErrors.front();
        rig->listingErrors.pop_front();
        return 0;
    }
    std::wstring names = rig->otherNames;
    for (const auto& [number, port] : rig->ports)
        if (!port.gone) names += L"COM" + std::to_wstring(number) + L'\0';
    names += L'\0';
    if (names.size() <= capacity) return static_cast<uint32_t>(names.copy(buffer, names.size()));
    *error = 122; // the buffer is too small
    return 0;
}

// On the opener's own thread.
OpenOutcome Open(int number, PortHandle* handle) {
    std::unique_lock<std::recursive_mutex> lock(rig->mutex);
    static uintptr_t next = 0x100;
    const auto found = rig->ports.find(number);
    if (found == rig->ports.end() || found->second.gone) return rig->Note(Com(number) + "cannot be opened"), OpenOutcome::CannotOpen;
    Rig::Port& port = found->second;
    if (port.blocks) {
        ++rig->opening;
        NoteOpenBlocking(number, true);
        rig->released.wait(lock, [&] { return !port.blocks; });
        --rig->opening;
    }
    rig->Note(Com(number) + (port.kind == Rig::Held ? "held by another program" : port.kind == Rig::Refuses ? "refuses its settings" : "opened"));
    if (port.kind == Rig::Held) return OpenOutcome::InUse;
    if (port.kind == Rig::Refuses) return OpenOutcome::SettingsFailed;
    rig->handles[*handle = reinterpret_cast<PortHandle>(next++)] = number;
    return OpenOutcome::Opened;
}

void Close(PortHandle handle) {
    const Lock lock(rig->mutex);
    rig->Of(handle).input.clear();
    rig->Note(Com(rig->handles[handle]) + "closed");
    rig->handles.erase(handle);
}

bool Write(PortHandle handle, const char* data, uint32_t size, uint32_t* written) {
    const std::string command(data, size);
    Device device;
    {
        const Lock lock(rig->mutex);
        rig->Step();
        if (rig->Of(handle).gone) return false;
        rig->writes.emplace_back(rig->handles[handle], command);
        rig->Note(Com(rig->handles[handle]) + "> " + Shown(command));
        device = rig->Of(handle).device;
    }
    const std::string reply = device(command); // unlocked: it may block or throw
    const Lock lock(rig->mutex);
    Rig::Port& port = rig->Of(handle);
    rig->Note(Com(rig->handles[handle]) + "< " + Shown(reply));
    port.gone = port.gone || reply == kUnplugs;
    *written = reply == kShortWrite ? size - 1 : size;
    if (reply == kWriteFails || reply == kShortWrite || reply == kUnplugs) return reply != kWriteFails;
    uint64_t at = rig->now;
    for (char c : reply) {
        if (c == '~') at += 100;
        else port.input.emplace_back(at, c);
    }
    return true;
}

bool Read(PortHandle handle, char* buffer, uint32_t capacity, uint32_t* got) {
    const Lock lock(rig->mutex);
    ++rig->reads;
    auto& input = rig->Of(handle).input;
    for (*got = 0; *got < capacity && !input.empty() && input.front().first <= rig->now; input.pop_front())
        buffer[(*got)++] = input.front().second;
    return !rig->Of(handle).gone;
}

bool ListDevices(std::vector<SerialDeviceInfo>* devices) {
    const Lock lock(rig->mutex);
    *devices = rig->devices;
    return !rig->devicesFail;
}

std::wstring Described(uint32_t code, uintptr_t wParam, intptr_t lParam) {
    const auto* text = reinterpret_cast<const std::wstring*>(lParam);
    switch (code) {
    case MSG_STATUS_LINE: return L"line " + std::to_wstring(wParam) + L": " + *text;
    case MSG_PROGRESS: return L"progress " + std::to_wstring(wParam) + L" mark " + std::to_wstring(lParam);
    case MSG_OPERATION_DONE: return L"done " + std::to_wstring(wParam) + L": " + (text != nullptr ? *text : L"");
    case MSG_INSTRUMENT_CHECKED: return L"instrument checked";
    case MSG_REINSTALL_PROMPT: return L"reinstall prompt";
    default: return L"code " + std::to_wstring(code);
    }
}

bool Post(uint32_t code, uintptr_t wParam, intptr_t lParam) {
    if (rig->refusing) return false;
    const std::wstring post = Described(code, wParam, lParam);
    if (rig->onPost) rig->onPost(post);
    if (code == MSG_STATUS_LINE || code == MSG_OPERATION_DONE) delete reinterpret_cast<std::wstring*>(lParam);
    const Lock lock(rig->mutex);
    rig->Note("post " + WideToUtf8(post) + (code == MSG_PROGRESS && App().cancelAllowed.load() ? ", cancel allowed" : ""));
    rig->posted.push_back(post);
    return true;
}
} // namespace

Rig::Rig() {
    static const ClockHooks clock{.tickMs = [] { const Lock lock(rig->mutex); return rig->now; }, .sleepMs = Sleep};
    static const SerialIoHooks io{.queryDosDevices = Listing, .openDevice = Open, .closeDevice = Close,
                                  .purgeInput = [](PortHandle handle) { const Lock lock(rig->mutex); rig->Of(handle).input.clear(); },
                                  .write = Write, .flush = [](PortHandle) {}, .read = Read, .listDevices = ListDevices};
    static const PostHooks posting{.post = Post};
    static const LogClockHooks noon{.now = [] { // asked once for each line, as it is written
        const Lock lock(rig->mutex);
        rig->Note("log  ");
        rig->logAt.push_back(rig->events.size() - 1);
        return LogTime{.hour = 12, .minute = 0, .second = 0};
    }};
    ResetAppState();
    rig = this;
    SetClockHooks(&clock);
    SetSerialIoHooks(&io);
    SetPostHooks(&posting);
    SetLogClockHooks(&noon);
    OpenLog(dir.path() / "Zarvel-Update.log");
    Add(3, [this](const std::string& command) { return station(command); });
}

Rig::~Rig() {
    {
        const Lock lock(mutex);
        for (auto& [number, port] : ports)
            if (port.blocks) Release(number);
    }
    Settle(); // the fakes must outlive the openers
    CloseLog();
    SetLogClockHooks(nullptr);
    SetPostHooks(nullptr);
    SetSerialIoHooks(nullptr);
    SetClockHooks(nullptr);
    ResetAppState();
    EXPECT_EQ(0u, handles.size()) << "a port was left open";
}

void Rig::Step() {
    if (++steps < 100000) return;
    App().appClosing.store(true);
    throw std::runtime_error("runaway test");
}

Rig::Port& Rig::Of(PortHandle handle) {
    EXPECT_EQ(1u, handles.count(handle)) << "a serial call on a handle that is not open";
    return ports[handles[handle]];
}

void Rig::Release(int number) {
    NoteOpenBlocking(number, false); // first: no waiter may take the moment before it completes for slowness
    {
        const Lock lock(mutex);
        ports[number].blocks = false;
    }
    released.notify_all();
}

bool Rig::Settle() {
    for (const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20); std::chrono::steady_clock::now() < deadline;) {
        if (const Lock lock(mutex); opening == 0 && handles.empty()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

std::string Rig::Sent() {
    const Lock lock(mutex);
    std::string sent;
    for (const auto& write : writes) sent += (sent.empty() ? "" : " ") + Mnemonic(write.second);
    return sent;
}

std::vector<std::string> Rig::Log() {
    std::ifstream in(dir.path() / "Zarvel-Update.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line.rfind("12:00:00  ", 0) == 0 ? line.substr(10) : "?" + line);
    return lines;
}

void Rig::Note(const std::string& event) {
    const Lock lock(mutex);
    const std::string ms = std::to_string(now - 1000000);
    events.push_back(std::string(ms.size() < 6 ? 6 - ms.size() : 0, ' ') + ms + "  " + event);
}

std::string Rig::Transcript() {
    const Lock lock(mutex);
    std::vector<std::string> lines = events, log = Log();
    for (size_t i = 0; i < logAt.size(); ++i) lines[logAt[i]] += i < log.size() ? log[i] : "(not in the log)";
    for (size_t i = logAt.size(); i < log.size(); ++i) lines.push_back("?       log  " + log[i]); // a line of two
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

std::string Station::operator()(const std::string& command) {
    const std::string mnemonic = Mnemonic(command);
    const size_t nth = sent[mnemonic]++;
    if (onCommand) onCommand(mnemonic, nth);
    const std::vector<std::string>& list = replies[mnemonic];
    return list.empty() ? "" : list[std::min(nth, list.size() - 1)];
}

std::string Shown(const std::string& bytes) {
    std::string shown = bytes.empty() ? "(nothing)" : "";
    for (const char c : bytes.substr(0, 300)) {
        const char hex[] = {'\\', 'x', "0123456789abcdef"[(c >> 4) & 15], "0123456789abcdef"[c & 15], '\0'};
        shown += c == '\r' ? "\\r" : c == '\n' ? "\\n" : (c >= 0 && c < 32) || c == 127 ? hex : std::string(1, c);
    }
    return bytes.size() > 300 ? shown + "... (" + std::to_string(bytes.size()) + " bytes)" : shown;
}

std::string Mnemonic(const std::string& command) {
    return command.substr(0, std::find_if(command.begin(), command.end(), [](char c) { return c < 'A' || c > 'Z'; }) - command.begin());
}

FirmwareImage TestImage(size_t blocks, const std::string& version) {
    FirmwareImage image;
    for (size_t i = 0; i < blocks * FirmwareBlockSize; ++i) image.bytes.push_back(static_cast<uint8_t>(i * 7 + i / 120));
    image.crc32 = Crc32(image.bytes.data(), image.bytes.size());
    image.version = version;
    return image;
}
