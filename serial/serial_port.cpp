#include "serial/serial_port.h"

#include <algorithm>
#include <limits>

#include "core/clock.h"
#include "core/log.h"
#include "serial/serial_io.h"
#include "text/seam.h"

namespace {

constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr char kLineFeed = '\n';

constexpr SerialIoHooks kPlatformSerialIo{
    .queryDosDevices = platform_serial::QueryDosDevices,
    .openDevice = platform_serial::OpenDevice,
    .closeDevice = platform_serial::CloseDevice,
    .purgeInput = platform_serial::PurgeInput,
    .write = platform_serial::Write,
    .flush = platform_serial::Flush,
    .read = platform_serial::Read,
    .listDevices = platform_serial::ListDevices,
};
constinit Seam<SerialIoHooks> serialIoSeam{kPlatformSerialIo};

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

wchar_t AsciiUpper(wchar_t c) { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

} // namespace

const SerialIoHooks& CurrentSerialIoHooks() { return serialIoSeam.Current(); }

void SetSerialIoHooks(const SerialIoHooks* hooks) { serialIoSeam.Set(hooks); }

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
    const SerialIoHooks& io = CurrentSerialIoHooks();
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

std::set<int> BluetoothComPorts() {
    static constexpr wchar_t kBluetoothBus[] = L"BTHENUM\\";
    constexpr size_t kBusChars = sizeof(kBluetoothBus) / sizeof(kBluetoothBus[0]) - 1;
    std::vector<SerialDeviceInfo> devices;
    if (!CurrentSerialIoHooks().listDevices(&devices)) return {};
    std::set<int> ports;
    for (const SerialDeviceInfo& device : devices) {
        const std::wstring& id = device.instanceId;
        const bool bluetooth = id.size() > kBusChars &&
                               std::equal(kBluetoothBus, kBluetoothBus + kBusChars, id.begin(),
                                          [](wchar_t bus, wchar_t c) { return bus == AsciiUpper(c); });
        const int number = ComPortNumber(device.portName.c_str(), device.portName.size());
        if (bluetooth && number > 0) ports.insert(number);
    }
    return ports;
}

std::string Transact(SerialPort& port, const std::string& command, uint32_t timeoutMs) {
    if (!IsPortOpen(port) || command.size() > std::numeric_limits<uint32_t>::max()) return {};
    const SerialIoHooks& io = CurrentSerialIoHooks();

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
