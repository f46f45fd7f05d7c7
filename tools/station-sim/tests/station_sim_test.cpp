// The real station-sim as the program's tests use it, through the program's own native serial link and its control
// FIFO: each case starts it with options and plays a script of commands, exact replies, control lines and events.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "firmware/firmware_image.h"
#include "serial/serial_port.h"
#include "tests/support/shortcuts.h"
#include "tests/support/temp_dir.h"
#include "tools/station-sim/sim_options.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// send: a command; "!line" a control line; "@" waits for an event; "^" reopens the port; "=" checks the saved image.
// expect: the exact reply; the event that "!" or "@" brings; the image. minMs: the reply takes at least this long.
struct Step { std::string send, expect; uint32_t minMs = 0; };

std::string ReadAll(const std::string& path) { return {std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}}; }

// Starts the simulator with these options, plays the script (in parts, some shared), quits it.
void Play(const char* name, const std::vector<std::string>& options, const std::vector<std::vector<Step>>& script) {
    SCOPED_TRACE(name);
    const TempDir dir;
    const auto path = [&dir](const char* file) { return (dir.path() / file).string(); };
    std::string command = "cd " + dir.path().string() + " && exec " STATION_SIM_PATH " --link com5 --control control";
    for (const std::string& option : options) command += " '" + option + "'";
    setenv("ZARVEL_COM_LINK_DIR", dir.path().c_str(), 1);
    FILE* sim = popen((command + " --save-image image --transcript transcript >events").c_str(), "w"); // nobody types on its stdin
    size_t taken = 0; // the events up to the last one awaited
    const auto await = [&](const std::string& text) {
        for (const auto end = Clock::now() + 10s; Clock::now() < end; std::this_thread::sleep_for(10ms)) {
            const size_t at = ("\n" + ReadAll(path("events"))).find("\n" + text, taken);
            taken = at == std::string::npos ? taken : at + 1;
            if (at != std::string::npos) return true;
        }
        return false;
    };
    const auto control = [&path](const std::string& line) { // not blocking: a simulator that is gone fails here
        const int fifo = open(path("control").c_str(), O_WRONLY | O_NONBLOCK);
        EXPECT_TRUE(fifo >= 0 && write(fifo, (line + "\n").data(), line.size() + 1) > 0 && close(fifo) == 0) << line;
    };
    SerialPort port;
    EXPECT_TRUE(sim && await("pty ") && OpenPort(port, 5));
    for (const auto& part : script) {
        for (const Step& step : part) {
            SCOPED_TRACE(step.send.substr(0, 12));
            const auto started = Clock::now();
            if (step.send[0] == '!') control(step.send.substr(1));
            if (step.send == "^") ClosePort(port);
            if (step.send == "^") EXPECT_TRUE(OpenPort(port, 5));
            else if (step.send == "=") EXPECT_EQ(step.expect, ReadAll(path("image")));
            else if (step.send[0] == '!' || step.send[0] == '@') EXPECT_TRUE(await("event " + step.expect)) << step.expect;
            else EXPECT_EQ(step.expect, Transact(port, step.send + "\n", 1000));
            EXPECT_LE(step.minMs, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
        }
    }
    ClosePort(port);
    control("quit");
    EXPECT_EQ(0, sim ? pclose(sim) : -1) << "quit ends it cleanly"; // one that ignored quit holds the test up to CTest's timeout
    EXPECT_NE(0, access(path("com5").c_str(), F_OK)) << "and removes the link";
}

const FirmwareImage kImage = [] {
    FirmwareImage image;
    for (size_t i = 0; i < 2 * FirmwareBlockSize; ++i) image.bytes.push_back(static_cast<uint8_t>(i * 7 + 3));
    return image;
}();
const std::string kCrc = std::to_string(Crc32(kImage.bytes.data(), kImage.bytes.size()));
const std::string kOk = "OK\r\n", kNext = "NEXT\r\n", kIdent = "ZARVEL DS-4 v3.1\r\n";

std::string Dub(uint64_t index) { return MakeBlockCommand(kImage, index).substr(0, 3 + 2 * FirmwareBlockSize); }

std::vector<Step> Announce(const std::string& blocks = "2", const std::string& crc = kCrc) {
    return {{"DUSTART", kOk}, {"DUSIZE" + blocks, kOk}, {"DUSUMM" + crc, kOk}};
}

const std::vector<Step> kTransfer = {{Dub(0), kNext}, {"@", "block 1/2"}, {Dub(1), kOk}, {"@", "image-ok blocks=2 crc=" + kCrc},
    {"@", "saved "}, {"=", std::string(kImage.bytes.begin(), kImage.bytes.end())}}; // after Announce()
const std::vector<Step> kReplugged = {{"@", "unplugged"}, {"!plug", "plugged"}, {"^", ""}};

const struct { const char* name; std::vector<std::string> options; std::vector<std::vector<Step>> script; } kCases[] = {
    {"answers, the hands, the cable, a port reopened; the checks of DUSTART, DUSIZE, DUSUMM, the blocks and DRST; an image "
     "that keeps the old version", {"--new-version", "1.2.3", "--after-reboot", "unchanged", "--reboot-ms", "0"},
     {{{"BGV", kIdent}, {"BIC", "1\r\n"}, {"GV", "1.0.0\r\n"}, {"GB", "3950 mV\r\n"}, {"BB", kOk}, {"bgv", "ERROR\r\n"}, {"^", ""},
       {"BGV", kIdent}, {"!lift", "lifted"}, {"BIC", "0\r\n"}, {"GV", ""}, {"!place", "placed"}, {"BIC", "1\r\n"},
       {"!set battery 3800", "battery 3800"}, {"GB", "3800 mV\r\n"}, {"!set version 1.1.0", "version 1.1.0"}, {"GV", "1.1.0\r\n"},
       {"!unplug", "unplugged"}, {"!plug", "plugged"}, {"^", ""}, {"BGV", kIdent}, {"DUSIZE2", "ERROR not in update mode\r\n"},
       {Dub(0), "FAIL not in update mode\r\n"}, {"DUSTART", kOk}, {"DUSIZE2", kOk}, {Dub(0), "FAIL no size or checksum\r\n"}},
      Announce(), {{Dub(0), kNext}, {"DUSUMM" + kCrc, "ERROR transfer in progress\r\n"}, {Dub(1), "FAIL update aborted\r\n"}},
      Announce(), {{"DUB" + std::string(240, 'A'), "FAIL bad block\r\n"}}, Announce(),
      {{Dub(0).substr(0, 242), "FAIL bad block\r\n"}, {"DUSTART", kOk}, {"DUSIZE0", "ERROR bad block count\r\n"},
       {"DUSUMM-1", "ERROR bad checksum\r\n"}}, Announce("1", std::to_string(Crc32(kImage.bytes.data(), 120))),
      {{Dub(0), kOk}, {Dub(1), "FAIL too many blocks\r\n"}}, Announce(), {{Dub(0), kNext}, {"DRST", "FAIL image incomplete\r\n"}},
      Announce("2", "1"), {{Dub(0), kNext}, {Dub(1), "FAIL checksum mismatch\r\n"}, {"DRST", "FAIL image rejected\r\n"}},
      Announce(), kTransfer, {{"DRST", kOk}, {"@", "drst"}, {"@", "rebooted version=1.1.0"}}}},
    {"a good image reboots into the new version", {"--new-version", "1.2.3", "--reboot-ms=1000"},
     {Announce(), kTransfer, {{"DRST", kOk}, {"BIC", "0\r\n"}, {"GV", ""}, {"@", "rebooted version=1.2.3"}, {"GV", "1.2.3\r\n"}}}},
    // A block's 248 bytes take 21 ms on the line at 115200 baud, and the link's read waits 20 ms more for silence.
    {"reply faults, the command still taking effect; block faults, each once; the line rate; an image that never comes back",
     {"--reply=DUSTART#1=ERR\\x21", "--silent", "GV#1", "--no-lf=GB", "--garbage=BIC#1", "--split=BGV=300", "--delay=BB=300",
      "--unplug-on=GV#3", "--refuse-block=2", "--unplug-at-block=1", "--line-rate", "--after-reboot=absent", "--reboot-ms=0"},
     {{{"DUSTART", "ERR!\r\n"}, {"DUSIZE2", kOk}, {"GV", ""}, {"GV", "1.0.0\r\n"}, {"GB", "3950 mV"},
       {"BIC", std::string("\x00\xff\x13\xfe\x80\x1b[\x7f\xaa\x55\x00\x91\xe4\x02\xfd\x9c\r\n", 18)}, {"BGV", kIdent, 300},
       {"BB", kOk, 300}, {"GV", ""}}, kReplugged, {{"BGV", kIdent, 300}}, Announce(), {{Dub(0), ""}}, kReplugged, Announce(),
      {{Dub(0), kNext, 40}, {Dub(1), "FAIL block 2 refused\r\n"}, {"@", "refused block 2/2"}}, Announce(), kTransfer,
      {{"DRST", kOk}, {"@", "reboot-failed"}, {"BIC", "0\r\n"}, {"GV", ""}}}},
};

TEST(StationSim, PlaysItsScript) {
    for (const auto& c : kCases) Play(c.name, c.options, c.script);
}

TEST(StationSim, BadOptionsGiveAClearError) {
    EXPECT_EQ("--silent: unknown command 'gv' (known: BGV BIC BB GV GB DUSTART DUSIZE DUSUMM DUB DRST)",
              ParseOptions({"--silent", "gv"}).error);
    EXPECT_EQ("--delay needs a value", ParseOptions({"--delay"}).error);
    EXPECT_EQ("unexpected argument 'com5'", ParseOptions({"com5"}).error);
    EXPECT_EQ("--after-reboot new needs --new-version", ParseOptions({"--after-reboot", "new"}).error);
}

} // namespace
