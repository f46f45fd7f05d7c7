// The serial link through the Win32 backend, against the station simulator on a pseudo-terminal
// that Wine maps to a COM port. tests/wine/with_station.sh starts the simulator for each suite
// with the options that suite needs (see tests/wine/CMakeLists.txt).

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "serial/commands.h"
#include "serial/serial_port.h"
#include "tests/wine/station_sim_env.h"

namespace {

// The identification the simulator is started with (--ident, from tests/wine/CMakeLists.txt).
constexpr char kIdentification[] = ZARVEL_STATION_IDENT;
// Far beyond any exchange on a loaded machine: only a hang reaches it.
constexpr ULONGLONG kHangMs = 30000;

class WithStation : public ::testing::Test {
protected:
    void SetUp() override {
        port_ = SimComPort();
        ASSERT_NE(0, port_) << "run through tests/wine/with_station.sh";
    }
    void TearDown() override {
        ClosePort(first_);
        ClosePort(second_);
    }

    int port_ = 0;
    SerialPort first_;
    SerialPort second_;
};

using StationOnComPort = WithStation;

TEST_F(StationOnComPort, IsListedAndFirstWhenPreferred) {
    const std::vector<int> ports = EnumerateComPorts(0);
    EXPECT_NE(ports.end(), std::find(ports.begin(), ports.end(), port_)) << "COM" << port_ << " not listed";
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end()));
    const std::vector<int> preferred = EnumerateComPorts(port_);
    ASSERT_FALSE(preferred.empty());
    EXPECT_EQ(port_, preferred.front());
    EXPECT_EQ(ports.size(), preferred.size());
}

TEST_F(StationOnComPort, OpensOnceAtATimeAndAnswersBgvWithItsLine) {
    ASSERT_TRUE(OpenPort(first_, port_));
    EXPECT_EQ(port_, first_.portNumber);
    EXPECT_FALSE(OpenPort(second_, port_)) << "a port this process holds must not open twice";
    EXPECT_FALSE(IsPortOpen(second_));

    EXPECT_EQ(std::string(kIdentification) + "\r\n", Transact(first_, BgvCommand(), kBgvDeadlineMs));
    EXPECT_EQ("1\r\n", Transact(first_, BicCommand(), kBicDeadlineMs));
    EXPECT_EQ("3950 mV\r\n", Transact(first_, GbCommand(), kGbMonitorDeadlineMs));

    ClosePort(first_);
    ASSERT_TRUE(OpenPort(second_, port_)) << "closing releases the port";
    EXPECT_EQ("1.0.0\r\n", Transact(second_, GvCommand(), kGvMonitorDeadlineMs));
}

TEST_F(StationOnComPort, AnAbsentPortDoesNotOpen) {
    const std::vector<int> ports = EnumerateComPorts(0);
    int absent = 1;
    while (std::find(ports.begin(), ports.end(), absent) != ports.end()) ++absent;
    EXPECT_FALSE(OpenPort(first_, absent)) << "COM" << absent;
    EXPECT_FALSE(IsPortOpen(first_));
}

using SilentStation = WithStation;

TEST_F(SilentStation, GivesAnEmptyReplyNoEarlierThanTheTimeout) {
    ASSERT_TRUE(OpenPort(first_, port_));
    for (uint32_t timeoutMs : {kBgvDeadlineMs, 100u}) {
        // The link's own clock: a coarser one could make the wait look shorter than it was.
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ("", Transact(first_, BgvCommand(), timeoutMs));
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_LE(timeoutMs, took.count()) << "timeout " << timeoutMs;
        EXPECT_GT(kHangMs, static_cast<ULONGLONG>(took.count()));
    }
    EXPECT_EQ("1\r\n", Transact(first_, BicCommand(), kBicDeadlineMs)) << "only BGV is silenced";
}

using UnpluggedStation = WithStation;

TEST_F(UnpluggedStation, AnExchangeCutByThePulledCableEndsEmptyWithoutHanging) {
    ASSERT_TRUE(OpenPort(first_, port_));
    // The simulator pulls the cable when BGV arrives; only the failed read can end this early.
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ("", Transact(first_, BgvCommand(), 60000));
    EXPECT_GT(kHangMs, GetTickCount64() - start);
    EXPECT_TRUE(WaitForSimEvent("unplugged", 10000));

    EXPECT_EQ("", Transact(first_, BicCommand(), kBicDeadlineMs)) << "the port stays dead";
    ClosePort(first_);
    EXPECT_FALSE(OpenPort(first_, port_)) << "nothing behind the port any more";
}

} // namespace
