#include "serial/serial_port.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <mutex>
#include <set>

#include "core/clock.h"
#include "core/log.h"
#include "serial/serial_io.h"

namespace {

constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr char kLineFeed = '\n';

std::atomic<const SerialIo*> currentIo{nullptr};

// The COM ports this process holds open. Windows refuses a second exclusive open of a port, but
// not every serial driver enforces the share mode (Wine's does not), and two workers must never
// talk to the station at once. Leaked on purpose: detached workers may close ports at exit.
struct PortClaims {
    std::mutex mutex;
    std::set<int32_t> held; // under mutex; any thread that opens or closes a port
};

PortClaims& Claims() {
    static auto* claims = new PortClaims;
    return *claims;
}

bool ClaimPort(int32_t portNumber) {
    PortClaims& claims = Claims();
    std::lock_guard<std::mutex> lock(claims.mutex);
    return claims.held.insert(portNumber).second;
}

void ReleasePort(int32_t portNumber) {
    PortClaims& claims = Claims();
    std::lock_guard<std::mutex> lock(claims.mutex);
    claims.held.erase(portNumber);
}

// "COM<n>" with n a positive decimal that fits a signed 32-bit value, else 0.
int ComPortNumber(const wchar_t* name, size_t length) {
    if (length <= 3 || name[0] != L'C' || name[1] != L'O' || name[2] != L'M') return 0;
    int32_t value = 0;
    for (size_t i = 3; i < length; ++i) {
        if (name[i] < L'0' || name[i] > L'9') return 0;
        const auto digit = static_cast<int32_t>(name[i] - L'0');
        if (value > (std::numeric_limits<int32_t>::max() - digit) / 10) return 0;
        value = value * 10 + digit;
    }
    return value;
}

} // namespace

const SerialIo& PlatformSerialIo() {
    static const SerialIo table = [] {
        SerialIo io{};
        io.queryDosDevices = platform_serial::QueryDosDevices;
        io.openDevice = platform_serial::OpenDevice;
        io.closeDevice = platform_serial::CloseDevice;
        io.purgeInput = platform_serial::PurgeInput;
        io.write = platform_serial::Write;
        io.flush = platform_serial::Flush;
        io.read = platform_serial::Read;
        return io;
    }();
    return table;
}

const SerialIo& CurrentSerialIo() {
    const SerialIo* io = currentIo.load();
    return io ? *io : PlatformSerialIo();
}

void SetSerialIo(const SerialIo* io) { currentIo.store(io); }

std::vector<int> ParseComPortNames(const wchar_t* names, size_t count) {
    std::vector<int> ports;
    size_t position = 0;
    while (position < count && names[position] != L'\0') {
        const wchar_t* end = std::find(names + position, names + count, L'\0');
        // A last name without its terminator is not trusted.
        if (end == names + count) break;
        const auto length = static_cast<size_t>(end - (names + position));
        const int number = ComPortNumber(names + position, length);
        if (number > 0) ports.push_back(number);
        position += length + 1;
    }
    return ports;
}

std::vector<int> OrderComPorts(std::vector<int> ports, int preferredPort) {
    std::sort(ports.begin(), ports.end());
    ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
    const auto preferred = std::find(ports.begin(), ports.end(), preferredPort);
    if (preferred != ports.end()) std::rotate(ports.begin(), preferred, preferred + 1);
    return ports;
}

std::wstring ComDevicePath(int portNumber) { return L"\\\\.\\COM" + std::to_wstring(portNumber); }

std::vector<int> EnumerateComPorts(int preferredPort) {
    const SerialIo& io = CurrentSerialIo();
    std::vector<wchar_t> names(kFirstNameBufferChars, L'\0');
    uint32_t error = 0;
    uint32_t count = io.queryDosDevices(names.data(), static_cast<uint32_t>(names.size()), &error);
    while (count == 0) {
        if (error != kErrorInsufficientBuffer || names.size() >= kLargestNameBufferChars) {
            WriteLog("COM port enumeration failed: Windows error " + std::to_string(error));
            return {};
        }
        names.assign(names.size() * 2, L'\0');
        error = 0;
        count = io.queryDosDevices(names.data(), static_cast<uint32_t>(names.size()), &error);
    }
    // Never walk past the buffer, whatever count the system reported.
    const size_t stored = std::min<size_t>(count, names.size());
    return OrderComPorts(ParseComPortNames(names.data(), stored), preferredPort);
}

bool IsPortOpen(const SerialPort& port) { return port.handle != InvalidPortHandle(); }

bool OpenPort(SerialPort& port, int portNumber) {
    ClosePort(port);
    port.portNumber = portNumber;
    if (!ClaimPort(portNumber)) return false;

    PortHandle handle = InvalidPortHandle();
    switch (CurrentSerialIo().openDevice(portNumber, &handle)) {
    case OpenOutcome::Opened:
        port.handle = handle;
        return true;
    case OpenOutcome::SettingsFailed:
        port.portNumber = 0;
        break;
    case OpenOutcome::CannotOpen:
        break;
    }
    ReleasePort(portNumber);
    return false;
}

std::string Transact(SerialPort& port, const std::string& command, uint32_t timeoutMs) {
    if (!IsPortOpen(port) || command.size() > std::numeric_limits<uint32_t>::max()) return {};
    const SerialIo& io = CurrentSerialIo();

    // Whatever the station sent earlier and nobody read would be taken for this reply.
    io.purgeInput(port.handle);
    const auto size = static_cast<uint32_t>(command.size());
    uint32_t written = 0;
    if (!io.write(port.handle, command.data(), size, &written) || written < size) return {};
    io.flush(port.handle);

    std::string reply;
    const uint64_t start = TickMs();
    if (TickMs() - start >= timeoutMs) return reply;
    for (;;) {
        char chunk[kReadChunkBytes];
        uint32_t got = 0;
        if (!io.read(port.handle, chunk, kReadChunkBytes, &got)) return {};
        if (got > 0) {
            reply.append(chunk, std::min(got, kReadChunkBytes));
            const size_t lineFeed = reply.find(kLineFeed);
            if (lineFeed != std::string::npos) {
                reply.resize(lineFeed + 1);
                return reply;
            }
        } else {
            SleepMs(kEmptyReadPauseMs);
        }
        if (TickMs() - start >= timeoutMs) return reply;
    }
}

void ClosePort(SerialPort& port) {
    if (IsPortOpen(port)) {
        // Closed before it is released, so that no other opener meets a handle still open.
        CurrentSerialIo().closeDevice(port.handle);
        ReleasePort(port.portNumber);
    }
    port.handle = InvalidPortHandle();
    port.portNumber = 0;
}
