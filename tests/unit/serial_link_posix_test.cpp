// The native serial primitives against a real pseudo-terminal, in real time: the program's end
// of the line is the pty's slave, reached through the link "com5"; the test plays the station
// on the master.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "serial/serial_port.h"
#include "tests/support/temp_dir.h"

namespace {

// A station on a pty master that answers each line with reply(line); "" answers nothing.
class PtyStation {
public:
    explicit PtyStation(std::function<std::string(const std::string&)> reply) : reply_(std::move(reply)) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_LE(0, master_);
        EXPECT_EQ(0, grantpt(master_));
        EXPECT_EQ(0, unlockpt(master_));
        slave_ = ptsname(master_);
        thread_ = std::thread([this] { Serve(); });
    }
    ~PtyStation() {
        stop_.store(true);
        thread_.join();
        if (master_ >= 0) close(master_);
    }
    const std::string& slave() const { return slave_; }
    // Pulls the cable: the master goes away while the program may be reading.
    void Unplug() { unplug_.store(true); }

private:
    void Serve() {
        std::string line;
        while (!stop_.load() && !unplug_.load()) {
            pollfd watch{master_, POLLIN, 0};
            if (poll(&watch, 1, 10) <= 0) continue;
            char byte = 0;
            if (read(master_, &byte, 1) != 1) continue;
            if (byte != '\n') {
                line += byte;
                continue;
            }
            const std::string answer = reply_(line);
            line.clear();
            if (!answer.empty() && write(master_, answer.data(), answer.size()) < 0) ADD_FAILURE() << "station write failed";
        }
        if (unplug_.load()) {
            close(master_);
            master_ = -1;
        }
    }

    std::function<std::string(const std::string&)> reply_;
    int master_ = -1;
    std::string slave_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> unplug_{false};
    std::thread thread_;
};

class SerialLinkPosixTest : public ::testing::Test {
protected:
    void SetUp() override { setenv("ZARVEL_COM_LINK_DIR", dir_.path().c_str(), 1); }
    void TearDown() override { unsetenv("ZARVEL_COM_LINK_DIR"); }
    void Link(const std::string& name, const std::string& target) {
        std::filesystem::create_symlink(target, dir_.path() / name);
    }
    TempDir dir_;
};

TEST_F(SerialLinkPosixTest, WithoutTheLinkDirectoryNoPortOpens) {
    PtyStation station([](const std::string&) { return std::string(); });
    Link("com5", station.slave());
    unsetenv("ZARVEL_COM_LINK_DIR");
    SerialPort port;
    EXPECT_FALSE(OpenPort(port, 5));
    EXPECT_FALSE(IsPortOpen(port));
}

TEST_F(SerialLinkPosixTest, OpensOneHolderAtATimeAndExchangesALine) {
    PtyStation station([](const std::string& line) { return line == "BGV" ? std::string("ZDS-2 1.0\r\n") : std::string(); });
    Link("com5", station.slave());
    SerialPort port;
    SerialPort second;
    ASSERT_TRUE(OpenPort(port, 5));
    EXPECT_FALSE(OpenPort(second, 5));
    EXPECT_FALSE(IsPortOpen(second));
    EXPECT_EQ("ZDS-2 1.0\r\n", Transact(port, "BGV\n", 700));
    ClosePort(port);
    EXPECT_TRUE(OpenPort(second, 5));
    ClosePort(second);
}

TEST_F(SerialLinkPosixTest, ASilentStationGivesAnEmptyReplyNoEarlierThanTheTimeout) {
    PtyStation station([](const std::string&) { return std::string(); });
    Link("com5", station.slave());
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, 5));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ("", Transact(port, "BGV\n", 150));
    EXPECT_LE(150, std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    ClosePort(port);
}

TEST_F(SerialLinkPosixTest, AnUnpluggedStationEndsTheExchangeEmptyWithoutHanging) {
    PtyStation station([](const std::string&) { return std::string(); });
    Link("com5", station.slave());
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, 5));
    std::thread unplug([&station] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        station.Unplug();
    });
    // A 60 s deadline: only the failed read can end this exchange in time.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ("", Transact(port, "BGV\n", 60000));
    unplug.join();
    EXPECT_GT(30, std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count());
    ClosePort(port);
}

} // namespace
