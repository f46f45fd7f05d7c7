// The real station-sim on a real pseudo-terminal, driven the way the program and a test script
// drive it: commands on the pty, control lines on stdin and the FIFO, events read from stdout.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "firmware/firmware_image.h"
#include "tests/support/temp_dir.h"
#include "tools/station-sim/sim_wire.h"
#include "tools/station-sim/tests/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string HexBlock(const std::string& image, size_t index) {
    static const char* digits = "0123456789abcdef";
    std::string line = "DUB";
    for (size_t i = 0; i < FirmwareBlockSize; ++i) {
        const auto byte = static_cast<uint8_t>(image[index * FirmwareBlockSize + i]);
        line += digits[byte >> 4];
        line += digits[byte & 15];
    }
    return line + "\n";
}

uint32_t CrcOf(const std::string& image) { return Crc32(reinterpret_cast<const uint8_t*>(image.data()), image.size()); }

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::string LinkTarget(const std::string& link) {
    char target[256] = {};
    const ssize_t size = readlink(link.c_str(), target, sizeof target - 1);
    return size > 0 ? std::string(target, static_cast<size_t>(size)) : "";
}

long ElapsedMs(Clock::time_point since) {
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

// The transcript's lines without their "hh:mm:ss.mmm  " stamps; "?" for a line without one.
std::vector<std::string> TranscriptLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        bool stamped = line.size() > 14 && line.compare(12, 2, "  ") == 0;
        for (size_t i = 0; i < 12 && stamped; ++i) {
            stamped = (i == 2 || i == 5) ? line[i] == ':' : i == 8 ? line[i] == '.' : (line[i] >= '0' && line[i] <= '9');
        }
        lines.push_back(stamped ? line.substr(14) : "?");
    }
    return lines;
}

bool HasLines(const std::string& bytes, size_t count) {
    size_t seen = 0;
    for (const char c : bytes) seen += c == '\n';
    return seen >= count;
}

class SimProgram : public ::testing::Test {
protected:
    // Starts the simulator and opens its pty.
    void Start(const std::vector<std::string>& args) {
        ASSERT_TRUE(StartSim(sim_, args));
        const auto first = WaitForLine(sim_, "pty ");
        ASSERT_TRUE(first) << "no pty line; stderr: " << (WaitExit(sim_), sim_.stderrText);
        ptyPath_ = first->substr(4);
        port_ = OpenPort(ptyPath_);
        ASSERT_GE(port_, 0) << ptyPath_;
    }
    void TearDown() override {
        if (port_ >= 0) close(port_);
        // A clean exit also means no leak under the sanitizers.
        if (sim_.pid > 0) {
            EXPECT_EQ(0, StopSim(sim_)) << sim_.stderrText;
        }
    }
    std::string Path(const char* name) const { return (dir_.path() / name).string(); }

    TempDir dir_;
    SimProcess sim_;
    std::string ptyPath_;
    int port_ = -1;
};

TEST_F(SimProgram, AnswersOnItsPtyInRawMode) {
    Start({"--battery", "3890"});
    EXPECT_EQ(0u, ptyPath_.rfind("/dev/pts/", 0));
    EXPECT_EQ("ZARVEL DS-4 v3.1\r\n", Transact(port_, "BGV\n"));
    EXPECT_EQ("1\r\n", Transact(port_, "BIC\n"));
    EXPECT_EQ("1.0.0\r\n", Transact(port_, "GV\n"));
    EXPECT_EQ("3890 mV\r\n", Transact(port_, "GB\n"));
    EXPECT_EQ("ERROR\r\n", Transact(port_, "HELLO\n"));
    EXPECT_TRUE(WaitForLine(sim_, "event error unknown command 'HELLO'"));
}

TEST_F(SimProgram, PortKeepsWorkingWhenTheClientClosesAndReopens) {
    Start({});
    EXPECT_EQ("1\r\n", Transact(port_, "BIC\n"));
    for (int round = 0; round < 3; ++round) {
        close(port_);
        port_ = OpenPort(ptyPath_);
        ASSERT_GE(port_, 0);
        EXPECT_EQ("ZARVEL DS-4 v3.1\r\n", Transact(port_, "BGV\n")) << round;
    }
}

TEST_F(SimProgram, WholeUpdateIsSavedTranscribedAndRebootsIntoTheNewVersion) {
    const std::string transcript = Path("transcript.txt");
    const std::string saved = Path("image.bin");
    Start({"--new-version", "1.1.0", "--reboot-ms", "50", "--transcript", transcript, "--save-image", saved});
    std::string image(2 * FirmwareBlockSize, '\0');
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 13);
    EXPECT_EQ("OK\r\n", Transact(port_, "DUSTART\n"));
    EXPECT_EQ("OK\r\n", Transact(port_, "DUSIZE2\n"));
    EXPECT_EQ("OK\r\n", Transact(port_, "DUSUMM" + std::to_string(CrcOf(image)) + "\n"));
    EXPECT_EQ("NEXT\r\n", Transact(port_, HexBlock(image, 0)));
    EXPECT_EQ("OK\r\n", Transact(port_, HexBlock(image, 1)));
    EXPECT_TRUE(WaitForLine(sim_, "event image-ok blocks=2 crc=" + std::to_string(CrcOf(image))));
    EXPECT_TRUE(WaitForLine(sim_, "event saved " + saved));
    EXPECT_EQ(image, ReadFile(saved));
    EXPECT_EQ("OK\r\n", Transact(port_, "DRST\n"));
    EXPECT_TRUE(WaitForLine(sim_, "event rebooted version=1.1.0"));
    EXPECT_EQ("1.1.0\r\n", Transact(port_, "GV\n"));

    const std::vector<std::string> lines = TranscriptLines(ReadFile(transcript));
    EXPECT_EQ(lines.end(), std::find(lines.begin(), lines.end(), "?")) << "a line without its time stamp";
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "DUSTART -> OK"));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(),
                                     "DUB000d1a2734414e5b..." + HexBlock(image, 0).substr(235, 8) + " [243 chars] (block 1/2) -> NEXT"));
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), "event rebooted version=1.1.0"));
}

TEST_F(SimProgram, ViolationIsAnsweredAndReported) {
    const std::string transcript = Path("transcript.txt");
    Start({"--transcript", transcript});
    Transact(port_, "DUSTART\n");
    Transact(port_, "DUSIZE1\n");
    Transact(port_, "DUSUMM0\n");
    EXPECT_EQ("FAIL bad block\r\n", Transact(port_, "DUB" + std::string(239, 'a') + "\n"));
    EXPECT_TRUE(WaitForLine(sim_, "event error block 1/1: 239 payload characters, expected 240"));
    EXPECT_NE(std::string::npos, ReadFile(transcript).find("  event error block 1/1: 239 payload characters, expected 240\n"));
}

TEST_F(SimProgram, ControlFromTheFifoAndFromStdin) {
    const std::string fifo = Path("control");
    Start({"--control", fifo});
    const auto control = [&fifo](const std::string& line) {
        const int fd = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(static_cast<ssize_t>(line.size() + 1), write(fd, (line + "\n").data(), line.size() + 1));
        close(fd);
    };
    control("lift");
    ASSERT_TRUE(WaitForLine(sim_, "event lifted"));
    EXPECT_EQ("0\r\n", Transact(port_, "BIC\n"));
    SendControl(sim_, "place");
    ASSERT_TRUE(WaitForLine(sim_, "event placed"));
    EXPECT_EQ("1\r\n", Transact(port_, "BIC\n"));
    control("set battery 3700");
    ASSERT_TRUE(WaitForLine(sim_, "event battery 3700"));
    SendControl(sim_, "set version 2.0.1");
    ASSERT_TRUE(WaitForLine(sim_, "event version 2.0.1"));
    EXPECT_EQ("3700 mV\r\n", Transact(port_, "GB\n"));
    EXPECT_EQ("2.0.1\r\n", Transact(port_, "GV\n"));
    control("jump");
    EXPECT_TRUE(WaitForLine(sim_, "event control-error unknown command 'jump'"));
    control("status");
    EXPECT_TRUE(WaitForLine(sim_, "event status instrument=present on-station=1 version=2.0.1 battery=3700"));
}

// A reply still on its way when the cable is pulled never arrives; the client sees a hang-up.
TEST_F(SimProgram, UnplugAndPlugRepointTheLink) {
    const std::string link = Path("com5");
    Start({"--link", link, "--delay", "GV=60000"});
    EXPECT_EQ(ptyPath_, LinkTarget(link));
    close(port_);
    port_ = OpenPort(link);
    ASSERT_GE(port_, 0);
    ASSERT_EQ(3, write(port_, "GV\n", 3));
    ASSERT_TRUE(WaitForLine(sim_, "event gv 1.0.0"));
    SendControl(sim_, "unplug");
    ASSERT_TRUE(WaitForLine(sim_, "event unplugged"));
    const PortRead read = ReadUntil(port_, [](const std::string&) { return false; });
    EXPECT_TRUE(read.hangup);
    EXPECT_EQ("", read.bytes);
    EXPECT_FALSE(Exists(link));

    SendControl(sim_, "plug");
    const auto plugged = WaitForLine(sim_, "event plugged ");
    ASSERT_TRUE(plugged);
    EXPECT_EQ(plugged->substr(14), LinkTarget(link));
    close(port_);
    port_ = OpenPort(link);
    ASSERT_GE(port_, 0);
    EXPECT_EQ("ZARVEL DS-4 v3.1\r\n", Transact(port_, "BGV\n"));
}

TEST_F(SimProgram, UnplugAtBlockHangsUpMidTransfer) {
    Start({"--unplug-at-block", "2"});
    const std::string image(3 * FirmwareBlockSize, '\x5a');
    Transact(port_, "DUSTART\n");
    Transact(port_, "DUSIZE3\n");
    Transact(port_, "DUSUMM" + std::to_string(CrcOf(image)) + "\n");
    EXPECT_EQ("NEXT\r\n", Transact(port_, HexBlock(image, 0)));
    const std::string block = HexBlock(image, 1);
    ASSERT_EQ(static_cast<ssize_t>(block.size()), write(port_, block.data(), block.size()));
    const PortRead read = ReadUntil(port_, [](const std::string&) { return false; });
    EXPECT_TRUE(read.hangup);
    EXPECT_EQ("", read.bytes);
    EXPECT_TRUE(WaitForLine(sim_, "event unplug at block 2/3"));
    EXPECT_TRUE(WaitForLine(sim_, "event update-aborted"));
}

TEST_F(SimProgram, FaultsOnTheWire) {
    Start({"--split", "BGV=150", "--delay", "GB=200", "--silent", "BB", "--no-lf", "GV#1", "--garbage", "BIC#1", "--reply",
           "DUSTART=Fail\\x21"});
    auto started = Clock::now();
    EXPECT_EQ("ZARVEL DS-4 v3.1\r\n", Transact(port_, "BGV\n"));
    EXPECT_GE(ElapsedMs(started), 150);
    started = Clock::now();
    EXPECT_EQ("3950 mV\r\n", Transact(port_, "GB\n"));
    EXPECT_GE(ElapsedMs(started), 200);
    // Silence and a missing line end show in what the next command gets back.
    EXPECT_EQ("ZARVEL DS-4 v3.1\r\n", Transact(port_, "BB\nBGV\n"));
    EXPECT_EQ("1.0.0ZARVEL DS-4 v3.1\r\n", Transact(port_, "GV\nBGV\n"));
    EXPECT_EQ(std::string("\x00\xff\x13\xfe\x80\x1b[\x7f\xaa\x55\x00\x91\xe4\x02\xfd\x9c\r\n", 18), Transact(port_, "BIC\n"));
    EXPECT_EQ("Fail!\r\n", Transact(port_, "DUSTART\n"));
    // The occurrence-limited faults are spent.
    EXPECT_EQ("1.0.0\r\n", Transact(port_, "GV\n"));
    EXPECT_EQ("1\r\n", Transact(port_, "BIC\n"));
}

// A slow answer holds up the next command: its answer comes after, as on a real device.
TEST_F(SimProgram, DelayedReplyKeepsTheOrder) {
    Start({"--delay", "GV=200"});
    ASSERT_EQ(7, write(port_, "GV\nBIC\n", 7));
    EXPECT_EQ("1.0.0\r\n1\r\n", ReadUntil(port_, [](const std::string& b) { return HasLines(b, 2); }).bytes);
}

TEST_F(SimProgram, LineRateTakesTheWireTime) {
    Start({"--line-rate"});
    const std::string image(FirmwareBlockSize, '\x11');
    Transact(port_, "DUSTART\n");
    Transact(port_, "DUSIZE1\n");
    Transact(port_, "DUSUMM" + std::to_string(CrcOf(image)) + "\n");
    const auto started = Clock::now();
    EXPECT_EQ("OK\r\n", Transact(port_, HexBlock(image, 0)));
    const auto elapsedNs = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - started).count();
    EXPECT_GE(static_cast<uint64_t>(elapsedNs), WireTimeNs(244 + 4));
}

TEST_F(SimProgram, SignalEndsItCleanlyAndEndOfStdinDoesNot) {
    const std::string link = Path("com6");
    const std::string fifo = Path("control");
    Start({"--link", link, "--control", fifo});
    close(sim_.input);
    sim_.input = -1;
    EXPECT_EQ("ZARVEL DS-4 v3.1\r\n", Transact(port_, "BGV\n"));
    ASSERT_EQ(0, kill(sim_.pid, SIGTERM));
    EXPECT_EQ(0, WaitExit(sim_)) << sim_.stderrText;
    EXPECT_FALSE(Exists(link));
    EXPECT_FALSE(Exists(fifo));
}

TEST(SimCommandLine, HelpAndErrors) {
    TempDir dir;
    const std::string plainFile = (dir.path() / "file").string();
    { std::ofstream(plainFile) << "x"; }
    const struct {
        std::vector<std::string> args;
        int status;
        std::string output; // start of stdout (status 0) or stderr
    } cases[] = {
        {{"--help"}, 0, "Usage: station-sim [OPTION]..."},
        {{"--battery", "x"}, 2, "station-sim: --battery: 'x' is not a number from 0 to 99999\nTry 'station-sim --help'.\n"},
        {{"--silent", "XYZ"}, 2, "station-sim: --silent: unknown command 'XYZ'"},
        {{"--link", plainFile}, 1, "station-sim: " + plainFile + " exists and is not a symlink\n"},
        {{"--control", plainFile}, 1, "station-sim: " + plainFile + " exists and is not a FIFO\n"},
    };
    for (const auto& c : cases) {
        SimProcess sim;
        ASSERT_TRUE(StartSim(sim, c.args));
        EXPECT_EQ(c.status, WaitExit(sim)) << c.args[0];
        std::string output;
        for (const auto& line : sim.lines) output += line + "\n";
        EXPECT_EQ(0u, (c.status == 0 ? output : sim.stderrText).find(c.output)) << output << sim.stderrText;
    }
    EXPECT_EQ("x", ReadFile(plainFile));
}

} // namespace
