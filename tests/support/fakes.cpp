#include "tests/support/fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

#include "core/app_state.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/notifications.h"

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;
VirtualClock* theClock = nullptr;
FakeSerial* theSerial = nullptr;
Posts* thePosts = nullptr;

void ResetAppState() {
    AppState& app = App();
    for (auto* flag : {&app.appClosing, &app.operationBusy, &app.cancelRequested, &app.cancelAllowed}) flag->store(false);
    app.preferredPort.store(0);
    app.batteryVoltage = 0.0;
    app.instrumentReady = false;
    app.firmware = FirmwareImage{};
}

uint32_t Listing(wchar_t* buffer, uint32_t capacity, uint32_t* error) {
    const Lock lock(FakeMutex());
    theClock->Step();
    theSerial->listings.push_back(capacity);
    std::wstring names = theSerial->otherNames;
    for (const auto& [number, port] : theSerial->ports) names += port.gone ? L"" : L"COM" + std::to_wstring(number) + L'\0';
    names += L'\0';
    if (theSerial->listingError != 0 || names.size() > capacity) {
        *error = theSerial->listingError != 0 ? theSerial->listingError : 122; // too small a buffer
        return 0;
    }
    return static_cast<uint32_t>(names.copy(buffer, names.size()));
}

OpenOutcome Open(int number, PortHandle* handle) {
    const Lock lock(FakeMutex());
    const auto found = theSerial->ports.find(number);
    if (found == theSerial->ports.end() || found->second.gone || found->second.kind == FakeSerial::Held) return OpenOutcome::CannotOpen;
    if (found->second.kind == FakeSerial::Refuses) return OpenOutcome::SettingsFailed;
    static uintptr_t next = 0x100;
    *handle = reinterpret_cast<PortHandle>(next++);
    theSerial->handles[*handle] = number;
    return OpenOutcome::Opened;
}

void Close(PortHandle handle) {
    const Lock lock(FakeMutex());
    theSerial->Of(handle).input.clear();
    theSerial->handles.erase(handle);
}

void Purge(PortHandle handle) { // what has arrived goes; bytes still on their way come later
    const Lock lock(FakeMutex());
    auto& input = theSerial->Of(handle).input;
    while (!input.empty() && input.front().first <= theClock->now) input.pop_front();
}

bool Write(PortHandle handle, const char* data, uint32_t size, uint32_t* written) {
    int number = 0;
    Device device;
    {
        const Lock lock(FakeMutex());
        theClock->Step();
        if (theSerial->Of(handle, &number).gone) return false;
        theSerial->writes.emplace_back(number, std::string(data, size));
        device = theSerial->ports[number].device;
    }
    const std::string reply = device(std::string(data, size)); // unlocked: it may block or throw
    const Lock lock(FakeMutex());
    FakeSerial::Port& port = theSerial->Of(handle);
    port.gone = port.gone || reply == kUnplugs;
    *written = reply == kShortWrite ? size - 1 : size;
    if (reply == kWriteFails || reply == kShortWrite || reply == kUnplugs) return reply != kWriteFails;
    uint64_t at = theClock->now;
    for (char c : reply) {
        if (c == '~') at += 100;
        else port.input.emplace_back(at, c);
    }
    return true;
}

bool Read(PortHandle handle, char* buffer, uint32_t capacity, uint32_t* got) {
    const Lock lock(FakeMutex());
    ++theSerial->reads;
    auto& input = theSerial->Of(handle).input;
    for (*got = 0; *got < capacity && !input.empty() && input.front().first <= theClock->now; input.pop_front())
        buffer[(*got)++] = input.front().second;
    return !theSerial->Of(handle).gone;
}
uint64_t Tick() {
    const Lock lock(FakeMutex());
    return theClock->now;
}

void Sleep(uint32_t ms) {
    {
        const Lock lock(FakeMutex());
        theClock->Step();
        theClock->now += ms;
        if (ms != kEmptyReadPauseMs) theClock->pauses.push_back(ms);
    }
    if (theClock->onSleep) theClock->onSleep(ms);
}
} // namespace

std::recursive_mutex& FakeMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

VirtualClock::VirtualClock() {
    static const ClockHooks hooks{Tick, Sleep};
    theClock = this;
    SetClockHooks(&hooks);
}

VirtualClock::~VirtualClock() { SetClockHooks(nullptr); }

void VirtualClock::Step() {
    if (++steps < 100000) return;
    App().appClosing.store(true);
    throw std::runtime_error("runaway test");
}

FakeSerial::FakeSerial() {
    static const SerialIo io{Listing, Open, Close, Purge, Write, /*flush*/ [](PortHandle) {}, Read};
    theSerial = this;
    SetSerialIo(&io);
}

FakeSerial::~FakeSerial() {
    SetSerialIo(nullptr);
    EXPECT_EQ(0u, handles.size()) << "a port was left open";
}

FakeSerial::Port& FakeSerial::Of(PortHandle handle, int* number) {
    static Port stray{{}, Held, true, {}};
    const auto found = handles.find(handle);
    if (found == handles.end()) {
        ADD_FAILURE() << "a serial call on a handle that is not open";
        return stray;
    }
    if (number) *number = found->second;
    return ports[found->second];
}

size_t FakeSerial::OpenHandles() {
    const Lock lock(FakeMutex());
    return handles.size();
}

std::string FakeSerial::Sent() {
    const Lock lock(FakeMutex());
    std::string sent;
    for (const auto& write : writes) sent += (sent.empty() ? "" : " ") + Mnemonic(write.second);
    return sent;
}

Posts::Posts() {
    thePosts = this;
    SetPostHook([](uint32_t code, uintptr_t wParam, intptr_t lParam) {
        if (thePosts->refusing) return false;
        auto* text = code == MSG_STATUS_LINE || code == MSG_OPERATION_DONE ? reinterpret_cast<std::wstring*>(lParam) : nullptr;
        const std::wstring post = code == MSG_STATUS_LINE      ? L"line " + std::to_wstring(wParam) + L": " + *text
                                  : code == MSG_PROGRESS       ? L"progress " + std::to_wstring(wParam) + L" mark " + std::to_wstring(lParam)
                                  : code == MSG_OPERATION_DONE ? L"done " + std::to_wstring(wParam) + L": " + (text ? *text : L"")
                                  : code == MSG_INSTRUMENT_CHECKED ? L"instrument checked"
                                  : code == MSG_REINSTALL_PROMPT   ? L"reinstall prompt"
                                                                   : L"code " + std::to_wstring(code);
        if (thePosts->onPost) thePosts->onPost(post);
        delete text;
        const Lock lock(FakeMutex());
        thePosts->all.push_back(post);
        return true;
    });
}

Posts::~Posts() { SetPostHook(nullptr); }

std::vector<std::wstring> Posts::All() {
    const Lock lock(FakeMutex());
    return all;
}

LogCapture::LogCapture() {
    SetLogTimeSource([] { return LogTime{12, 0, 0}; });
    OpenLog(dir.path() / "Zarvel-Update.log");
}

LogCapture::~LogCapture() {
    CloseLog();
    SetLogTimeSource(nullptr);
}

std::vector<std::string> LogCapture::Lines() {
    std::ifstream in(dir.path() / "Zarvel-Update.log");
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line.rfind("12:00:00  ", 0) == 0 ? line.substr(10) : "?" + line);
    return lines;
}

std::string Station::operator()(const std::string& command) {
    const std::string mnemonic = Mnemonic(command);
    const size_t nth = sent[mnemonic]++;
    if (onCommand) onCommand(mnemonic, nth);
    const std::vector<std::string>& list = replies[mnemonic];
    return list.empty() ? "" : list[std::min(nth, list.size() - 1)];
}

Rig::Rig() {
    ResetAppState();
    serial.Add(3, [this](const std::string& command) { return station(command); });
}

Rig::~Rig() { ResetAppState(); }

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
