// The serial primitives on Linux, for the native side of the serial benchmark and the native
// link test, both against a pseudo-terminal. COM n is whatever the link "com<n>" in the directory
// $ZARVEL_COM_LINK_DIR points at, the links the Wine set-up maps to COM ports. Ports are opened
// by number only: the listing is always empty, and without that variable no port opens.

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "serial/raw_line_posix.h"
#include "serial/serial_io.h"

namespace platform_serial {

constexpr char kLinkDirVariable[] = "ZARVEL_COM_LINK_DIR";

int Fd(PortHandle handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

PortHandle Handle(int fd) { return reinterpret_cast<PortHandle>(static_cast<intptr_t>(fd)); }

// The driver's timeouts run on real time, whatever clock the program's own logic uses.
uint64_t DriverTickMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

const char* LinkDirectory() { return std::getenv(kLinkDirVariable); }

std::string DevicePath(int portNumber) { return std::string(LinkDirectory()) + "/com" + std::to_string(portNumber); }

// The empty list: nothing native searches for the station, the benchmark is told its port.
uint32_t QueryDosDevices(wchar_t* buffer, uint32_t, uint32_t*) {
    buffer[0] = L'\0';
    return 1;
}

OpenOutcome OpenDevice(int portNumber, PortHandle* handle) {
    if (!LinkDirectory()) return OpenOutcome::CannotOpen;
    NoteOpenBlocking(portNumber, true);
    const int fd = open(DevicePath(portNumber).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return OpenOutcome::CannotOpen;
    // One holder at a time, as a Windows COM port opened without sharing.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return OpenOutcome::InUse;
    }
    // Reads never block: the timeouts are ours.
    if (!SetRawLine(fd, 0)) {
        close(fd);
        return OpenOutcome::SettingsFailed;
    }
    // A pseudo-terminal has no modem lines; the station's cable does.
    int dtr = TIOCM_DTR;
    ioctl(fd, TIOCMBIS, &dtr);
    tcflush(fd, TCIOFLUSH);
    *handle = Handle(fd);
    return OpenOutcome::Opened;
}

void CloseDevice(PortHandle handle) { close(Fd(handle)); }

void PurgeInput(PortHandle handle) { tcflush(Fd(handle), TCIFLUSH); }

// Waits up to ms for the event; false on timeout, or on a hang-up or error without it.
bool WaitFor(int fd, short event, uint64_t ms, bool* failed) {
    pollfd watch{fd, event, 0};
    int ready = 0;
    do {
        ready = poll(&watch, 1, static_cast<int>(ms));
    } while (ready < 0 && errno == EINTR);
    if (ready < 0 || (ready > 0 && !(watch.revents & event))) *failed = true;
    return ready > 0 && (watch.revents & event);
}

// Ends short once the 500 ms write timeout passes, so a station that stops reading cannot hang it.
bool Write(PortHandle handle, const char* data, uint32_t size, uint32_t* written) {
    const int fd = Fd(handle);
    const uint64_t deadline = DriverTickMs() + kWriteTotalConstantMs;
    *written = 0;
    while (*written < size) {
        const ssize_t done = write(fd, data + *written, size - *written);
        if (done > 0) {
            *written += static_cast<uint32_t>(done);
            continue;
        }
        if (done < 0 && errno != EAGAIN && errno != EINTR) return false;
        const uint64_t now = DriverTickMs();
        bool failed = false;
        if (now >= deadline || !WaitFor(fd, POLLOUT, deadline - now, &failed)) return !failed;
    }
    return true;
}

void Flush(PortHandle handle) { tcdrain(Fd(handle)); }

// Appends what is there now; false when the device is gone.
bool Drain(int fd, char* buffer, uint32_t capacity, uint32_t* got) {
    const ssize_t done = read(fd, buffer + *got, capacity - *got);
    if (done > 0) *got += static_cast<uint32_t>(done);
    // End of file or EIO: the other side of the line has gone away.
    return done > 0 || (done < 0 && (errno == EAGAIN || errno == EINTR));
}

// The Win32 port's read timeouts, so that the benchmark compares like with like: the first byte
// is awaited up to 50 + 2 per requested byte, then the read ends when 20 ms pass without another.
bool Read(PortHandle handle, char* buffer, uint32_t capacity, uint32_t* got) {
    const int fd = Fd(handle);
    const uint64_t deadline = DriverTickMs() + kReadTotalConstantMs + uint64_t{kReadTotalMultiplierMs} * capacity;
    *got = 0;
    bool failed = false;
    while (*got < capacity) {
        const uint64_t now = DriverTickMs();
        if (now >= deadline) break;
        const uint64_t wait = *got == 0 ? deadline - now : std::min<uint64_t>(kReadIntervalTimeoutMs, deadline - now);
        if (!WaitFor(fd, POLLIN, wait, &failed)) break;
        if (!Drain(fd, buffer, capacity, got)) return false;
    }
    return !failed || *got > 0;
}

// No device list here: no port is ever taken for a Bluetooth one.
bool ListDevices(std::vector<SerialDeviceInfo>* devices) {
    devices->clear();
    return true;
}

} // namespace platform_serial
