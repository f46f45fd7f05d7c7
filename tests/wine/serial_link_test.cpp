// The serial link through the Win32 backend, against the station simulator on a pseudo-terminal
// that Wine maps to a COM port, started by with_station.sh with each suite's options.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "serial/commands.h"
#include "serial/serial_port.h"
#include "tests/support/shortcuts.h"

namespace {

constexpr ULONGLONG kHangMs = 30000; // far beyond any exchange on a loaded machine: only a hang reaches it

class Station : public ::testing::Test {
protected:
    const int port_ = std::atoi(std::getenv("ZARVEL_SIM_PORT") != nullptr ? std::getenv("ZARVEL_SIM_PORT") : "0");
    SerialPort first_, second_;
    const PortCloser firstClosed_{first_}, secondClosed_{second_}; // at the test's end
};

TEST_F(Station, OnItsComPortIsListedFirstWhenPreferred) {
    const std::vector<int> ports = EnumerateComPorts(0);
    EXPECT_NE(ports.end(), std::find(ports.begin(), ports.end(), port_)) << "COM" << port_ << " (with_station.sh's)";
    EXPECT_EQ(port_, EnumerateComPorts(port_).front());
}

TEST_F(Station, OnItsComPortOpensOnceAtATime) {
    ASSERT_TRUE(OpenPort(first_, port_));
    EXPECT_FALSE(OpenPort(second_, port_)) << "a port this process holds must not open twice";
    ClosePort(first_);
    EXPECT_TRUE(OpenPort(second_, port_)) << "closing releases the port";
}

TEST_F(Station, OnItsComPortAnswersEachQuery) {
    ASSERT_TRUE(OpenPort(first_, port_));
    const struct { Command command; std::string reply; } exchanges[] = {
        {Command::Bgv, ZARVEL_STATION_IDENT "\r\n"}, {Command::GbMonitor, "3950 mV\r\n"}, {Command::Bic, "1\r\n"},
    };
    for (const auto& exchange : exchanges) EXPECT_EQ(exchange.reply, Ask(first_, exchange.command));
}

TEST_F(Station, SilentGivesAnEmptyReplyNoEarlierThanTheDeadline) {
    ASSERT_TRUE(OpenPort(first_, port_));
    for (uint32_t deadlineMs : {DeadlineMs(Command::Bgv), 100u}) {
        // The link's own clock: a coarser one could make the wait look shorter than it was.
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ("", Transact(first_, CommandLine(Command::Bgv), deadlineMs));
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_LE(deadlineMs, took.count());
        EXPECT_GT(kHangMs, static_cast<ULONGLONG>(took.count()));
    }
    EXPECT_EQ("1\r\n", Ask(first_, Command::Bic)) << "only BGV is silenced";
}

TEST_F(Station, UnpluggedEndsAnExchangeCutByThePulledCableEmptyWithoutHanging) {
    ASSERT_TRUE(OpenPort(first_, port_));
    // The simulator pulls the cable when BGV arrives; only the failed read can end this early.
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ("", Transact(first_, CommandLine(Command::Bgv), 60000));
    EXPECT_GT(kHangMs, GetTickCount64() - start);
    EXPECT_EQ("", Ask(first_, Command::Bic)) << "the port stays dead";
    ClosePort(first_);
    // Nothing behind the port any more, once the simulator has let its end go.
    for (const ULONGLONG deadline = GetTickCount64() + 10000; OpenPort(second_, port_) && GetTickCount64() < deadline; Sleep(20))
        ClosePort(second_);
    EXPECT_FALSE(IsPortOpen(second_));
}

} // namespace
