#include "tests/support/scripted_serial.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "serial/serial_io.h"
#include "serial/serial_port.h"

namespace {

constexpr uint32_t kErrorInsufficientBuffer = 122;
// A read with nothing to fetch waits the whole total timeout: constant + multiplier per byte.
constexpr uint64_t ReadTimeoutMs(uint32_t capacity) { return kReadTotalConstantMs + uint64_t{kReadTotalMultiplierMs} * capacity; }

std::atomic<ScriptedSerial*> installed{nullptr};

// Other devices a real machine lists besides its COM ports.
constexpr wchar_t kOtherDevices[] = L"C:\0PhysicalDrive0\0AUX\0NUL\0Volume{1}\0";

} // namespace

Reply Line(const std::string& text) { return Reply{{{0, text + "\r\n"}}, WriteOutcome::Whole, false}; }

Reply Bare(const std::string& text) { return Reply{{{0, text}}, WriteOutcome::Whole, false}; }

Reply Silence() { return Reply{}; }

Reply Split(const std::string& first, uint32_t pauseMs, const std::string& second) {
    return Reply{{{0, first}, {pauseMs, second}}, WriteOutcome::Whole, false};
}

Reply Unplugged() { return Reply{{}, WriteOutcome::Whole, true}; }

Reply WriteFailing() { return Reply{{}, WriteOutcome::Fails, false}; }

Reply WriteShort() { return Reply{{}, WriteOutcome::Short, false}; }

std::string Mnemonic(const std::string& command) {
    const auto end = std::find_if(command.begin(), command.end(), [](char c) { return c < 'A' || c > 'Z'; });
    return std::string(command.begin(), end);
}

Responder ReplyTable(std::map<std::string, Reply> replies) {
    return [replies = std::move(replies)](const std::string& command) {
        const auto found = replies.find(Mnemonic(command));
        return found == replies.end() ? Silence() : found->second;
    };
}

ScriptedSerial::ScriptedSerial(VirtualClock& clock) : clock_(clock) {
    static const SerialIo hooks{HookQueryDosDevices, HookOpenDevice, HookCloseDevice, HookPurgeInput,
                                HookWrite,           HookFlush,      HookRead};
    installed.store(this);
    SetSerialIo(&hooks);
}

ScriptedSerial::~ScriptedSerial() {
    SetSerialIo(nullptr);
    installed.store(nullptr);
    EXPECT_EQ(0u, strayCalls_) << "a serial call used a handle that was not open";
    EXPECT_EQ(0u, handles_.size()) << "a port was left open";
}

void ScriptedSerial::AddPort(int port, Device device) {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_[port] = std::move(device);
}

void ScriptedSerial::AddHeldPort(int port) {
    Device device;
    device.kind = Device::Held;
    AddPort(port, std::move(device));
}

void ScriptedSerial::AddRefusingPort(int port) {
    Device device;
    device.kind = Device::Refusing;
    AddPort(port, std::move(device));
}

void ScriptedSerial::AddSilentPort(int port) {
    AddDevice(port, [](const std::string&) { return Silence(); });
}

void ScriptedSerial::AddDevice(int port, Responder responder) {
    Device device;
    device.responder = std::move(responder);
    AddPort(port, std::move(device));
}

void ScriptedSerial::Unplug(int port) {
    std::lock_guard<std::mutex> lock(mutex_);
    devices_[port].unplugged = true;
}

void ScriptedSerial::SetLatency(uint32_t ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    latencyMs_ = ms;
}

void ScriptedSerial::SetDeviceNames(const std::wstring& names) {
    std::lock_guard<std::mutex> lock(mutex_);
    customNames_ = true;
    names_ = names;
}

void ScriptedSerial::FailListing(uint32_t errorCode) {
    std::lock_guard<std::mutex> lock(mutex_);
    listingError_ = errorCode;
}

std::vector<uint32_t> ScriptedSerial::ListingCapacities() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return listingCapacities_;
}

std::vector<std::string> ScriptedSerial::Commands(int port) const {
    std::vector<std::string> commands;
    for (const Written& write : AllWrites()) {
        if (write.port == port) commands.push_back(write.command);
    }
    return commands;
}

std::vector<std::string> ScriptedSerial::Mnemonics(int port) const {
    std::vector<std::string> mnemonics;
    for (const std::string& command : Commands(port)) mnemonics.push_back(Mnemonic(command));
    return mnemonics;
}

std::vector<ScriptedSerial::Written> ScriptedSerial::AllWrites() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}

size_t ScriptedSerial::ReadCount(int port) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = devices_.find(port);
    return found == devices_.end() ? 0 : found->second.reads;
}

size_t ScriptedSerial::OpenCount(int port) const {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = devices_.find(port);
    return found == devices_.end() ? 0 : found->second.opens;
}

size_t ScriptedSerial::OpenHandles() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return handles_.size();
}

std::wstring ScriptedSerial::DeviceNames() const {
    if (customNames_) return names_;
    std::wstring names(kOtherDevices, sizeof(kOtherDevices) / sizeof(wchar_t) - 1);
    for (const auto& [port, device] : devices_) {
        if (!device.unplugged) names += L"COM" + std::to_wstring(port) + L'\0';
    }
    return names + L'\0';
}

uint32_t ScriptedSerial::QueryDosDevices(wchar_t* buffer, uint32_t capacity, uint32_t* error) {
    std::lock_guard<std::mutex> lock(mutex_);
    listingCapacities_.push_back(capacity);
    if (listingError_ != 0) {
        *error = listingError_;
        return 0;
    }
    const std::wstring names = DeviceNames();
    if (names.size() > capacity) {
        *error = kErrorInsufficientBuffer;
        return 0;
    }
    std::copy(names.begin(), names.end(), buffer);
    return static_cast<uint32_t>(names.size());
}

OpenOutcome ScriptedSerial::OpenDevice(int portNumber, PortHandle* handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = devices_.find(portNumber);
    if (found == devices_.end()) return OpenOutcome::CannotOpen;
    Device& device = found->second;
    if (device.unplugged || device.kind == Device::Held || device.open) return OpenOutcome::CannotOpen;
    ++device.opens;
    if (device.kind == Device::Refusing) return OpenOutcome::SettingsFailed;
    device.open = true;
    // Opening purges both directions.
    device.pending.clear();
    const uintptr_t id = nextHandle_++;
    handles_[id] = portNumber;
    *handle = reinterpret_cast<PortHandle>(id);
    return OpenOutcome::Opened;
}

ScriptedSerial::Device* ScriptedSerial::DeviceOf(PortHandle handle, int* port) {
    const auto found = handles_.find(reinterpret_cast<uintptr_t>(handle));
    if (found == handles_.end()) {
        ++strayCalls_;
        return nullptr;
    }
    *port = found->second;
    return &devices_[found->second];
}

void ScriptedSerial::CloseDevice(PortHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    int port = 0;
    Device* device = DeviceOf(handle, &port);
    if (!device) return;
    device->open = false;
    device->pending.clear();
    handles_.erase(reinterpret_cast<uintptr_t>(handle));
}

void ScriptedSerial::PurgeInput(PortHandle handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    int port = 0;
    Device* device = DeviceOf(handle, &port);
    if (!device) return;
    // Only what has arrived is in the driver; bytes still on their way come in later.
    const uint64_t now = clock_.Now();
    while (!device->pending.empty() && device->pending.front().at <= now) device->pending.pop_front();
}

bool ScriptedSerial::Write(PortHandle handle, const char* data, uint32_t size, uint32_t* written) {
    *written = 0;
    const std::string command(data, size);
    Responder responder;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        int port = 0;
        Device* device = DeviceOf(handle, &port);
        if (!device || device->unplugged) return false;
        writes_.push_back({port, command, clock_.Now()});
        responder = device->responder;
    }
    const Reply reply = responder ? responder(command) : Silence();

    std::lock_guard<std::mutex> lock(mutex_);
    int port = 0;
    Device* device = DeviceOf(handle, &port);
    if (!device || reply.write == WriteOutcome::Fails) return false;
    if (reply.unplug) device->unplugged = true;
    uint64_t at = clock_.Now() + latencyMs_;
    for (const ReplyPart& part : reply.parts) {
        at += part.afterMs;
        device->pending.push_back({at, part.bytes});
    }
    *written = reply.write == WriteOutcome::Short && size > 0 ? size - 1 : size;
    return true;
}

bool ScriptedSerial::Read(PortHandle handle, char* buffer, uint32_t capacity, uint32_t* got) {
    *got = 0;
    std::lock_guard<std::mutex> lock(mutex_);
    int port = 0;
    Device* device = DeviceOf(handle, &port);
    if (!device) return false;
    ++device->reads;
    if (device->unplugged) return false;

    const uint64_t start = clock_.Now();
    const uint64_t limit = start + ReadTimeoutMs(capacity);
    std::deque<Arrival>& pending = device->pending;
    if (pending.empty() || pending.front().at > limit) {
        clock_.AdvanceTo(limit);
        return true;
    }
    // Gather from the first byte on, as long as each next part follows within the interval.
    uint64_t last = std::max(start, pending.front().at);
    std::string bytes;
    while (!pending.empty() && bytes.size() < capacity) {
        Arrival& next = pending.front();
        if (next.at > last + kReadIntervalTimeoutMs || next.at > limit) break;
        last = std::max(last, next.at);
        const size_t take = std::min<size_t>(capacity - bytes.size(), next.bytes.size());
        bytes += next.bytes.substr(0, take);
        next.bytes.erase(0, take);
        if (next.bytes.empty()) pending.pop_front();
    }
    // A full buffer returns at once; otherwise the interval timer ends the read.
    clock_.AdvanceTo(bytes.size() == capacity ? last : std::min(last + kReadIntervalTimeoutMs, limit));
    std::memcpy(buffer, bytes.data(), bytes.size());
    *got = static_cast<uint32_t>(bytes.size());
    return true;
}

uint32_t ScriptedSerial::HookQueryDosDevices(wchar_t* buffer, uint32_t capacity, uint32_t* error) {
    return installed.load()->QueryDosDevices(buffer, capacity, error);
}

OpenOutcome ScriptedSerial::HookOpenDevice(int portNumber, PortHandle* handle) { return installed.load()->OpenDevice(portNumber, handle); }

void ScriptedSerial::HookCloseDevice(PortHandle handle) { installed.load()->CloseDevice(handle); }

void ScriptedSerial::HookPurgeInput(PortHandle handle) { installed.load()->PurgeInput(handle); }

bool ScriptedSerial::HookWrite(PortHandle handle, const char* data, uint32_t size, uint32_t* written) {
    return installed.load()->Write(handle, data, size, written);
}

void ScriptedSerial::HookFlush(PortHandle handle) {
    ScriptedSerial* serial = installed.load();
    std::lock_guard<std::mutex> lock(serial->mutex_);
    int port = 0;
    serial->DeviceOf(handle, &port);
}

bool ScriptedSerial::HookRead(PortHandle handle, char* buffer, uint32_t capacity, uint32_t* got) {
    return installed.load()->Read(handle, buffer, capacity, got);
}
