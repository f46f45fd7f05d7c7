// The real station-sim as the program's tests use it, through the program's own native serial link and its control
// FIFO: each case starts it with options and plays a script of commands, exact replies, control lines and events.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "firmware/firmware_image.h"
#include "serial/serial_port.h"
#include "tests/support/temp_dir.h"
#include "tools/station-sim/sim_options.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Step {
    std::string send;   // a command; "!line" a control line; "@" waits for an event; "^" reopens the port; "=" the image
    std::string expect; // the exact reply; the event that "!" or "@" brings; the saved image
    uint32_t minMs = 0; // the reply takes at least this long
};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Starts the simulator with these options, plays the steps, quits it.
void Play(std::vector<std::string> args, const std::vector<Step>& steps) {
    const TempDir dir;
    const auto path = [&dir](const char* name) { return (dir.path() / name).string(); };
    size_t taken = 0; // stdout up to the last line awaited
    const auto await = [&](const std::string& text) {
        size_t at = std::string::npos;
        for (const auto end = Clock::now() + std::chrono::seconds(10); at == std::string::npos && Clock::now() < end;) {
            at = ("\n" + ReadAll(path("events"))).find("\n" + text, taken);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        taken = at == std::string::npos ? taken : at + 1;
        return at != std::string::npos;
    };
    const auto control = [&path](const std::string& line) {
        const int fifo = open(path("control").c_str(), O_WRONLY | O_NONBLOCK);
        EXPECT_EQ(static_cast<ssize_t>(line.size() + 1), write(fifo, (line + "\n").data(), line.size() + 1)) << line;
        close(fifo);
    };
    args.insert(args.begin(), {STATION_SIM_PATH, "--link", path("com5"), "--control", path("control"), "--save-image",
                               path("image"), "--transcript", path("transcript")});
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    setenv("ZARVEL_COM_LINK_DIR", dir.path().c_str(), 1);
    posix_spawn_file_actions_t files; // its events to a file, nothing on the stdin where a person would type
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, path("events").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    EXPECT_EQ(0, posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ));
    posix_spawn_file_actions_destroy(&files);
    SerialPort port;
    EXPECT_TRUE(await("pty ") && OpenPort(port, 5));
    for (const Step& step : steps) {
        SCOPED_TRACE(step.send.substr(0, 12));
        const auto started = Clock::now();
        if (step.send == "^") {
            ClosePort(port);
            EXPECT_TRUE(OpenPort(port, 5));
        } else if (step.send == "=") {
            EXPECT_EQ(step.expect, ReadAll(path("image")));
        } else if (step.send[0] == '!' || step.send[0] == '@') {
            if (step.send[0] == '!') control(step.send.substr(1));
            EXPECT_TRUE(await("event " + step.expect)) << step.expect;
        } else {
            EXPECT_EQ(step.expect, Transact(port, step.send + "\n", 1000));
            EXPECT_LE(step.minMs, std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
        }
    }
    ClosePort(port);
    control("quit");
    int status = -1;
    waitpid(pid, &status, 0); // one that ignored quit would hold the test up to CTest's timeout
    EXPECT_EQ(0, status) << "quit ends it cleanly";
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

std::vector<Step> Join(std::initializer_list<std::vector<Step>> parts) {
    std::vector<Step> steps;
    for (const auto& part : parts) steps.insert(steps.end(), part.begin(), part.end());
    return steps;
}

std::vector<Step> Announce(const std::string& blocks = "2", const std::string& crc = kCrc) {
    return {{"DUSTART", kOk}, {"DUSIZE" + blocks, kOk}, {"DUSUMM" + crc, kOk}};
}

const std::vector<Step> kTransfer = Join({Announce(), {{Dub(0), kNext}, {Dub(1), kOk}, {"@", "image-ok blocks=2 crc=" + kCrc},
                                                       {"@", "saved "}, {"=", std::string(kImage.bytes.begin(), kImage.bytes.end())}}});
const std::vector<Step> kReplugged = {{"@", "unplugged"}, {"!plug", "plugged"}, {"^", ""}};

const struct {
    const char* name;
    std::vector<std::string> options;
    std::vector<Step> steps;
} kCases[] = {
    {"answers, the hands, the cable, a port closed and opened again", {},
     {{"BGV", kIdent}, {"BIC", "1\r\n"}, {"GV", "1.0.0\r\n"}, {"GB", "3950 mV\r\n"}, {"BB", kOk}, {"bgv", "ERROR\r\n"}, {"^", ""},
      {"BGV", kIdent}, {"!lift", "lifted"}, {"BIC", "0\r\n"}, {"GV", ""}, {"!place", "placed"}, {"BIC", "1\r\n"},
      {"!set battery 3800", "battery 3800"}, {"GB", "3800 mV\r\n"}, {"!set version 1.1.0", "version 1.1.0"},
      {"GV", "1.1.0\r\n"}, {"!unplug", "unplugged"}, {"!plug", "plugged"}, {"^", ""}, {"BGV", kIdent}}},
    {"a good image reboots into the new version", {"--new-version", "1.2.3", "--reboot-ms", "1000"},
     Join({kTransfer, {{"DRST", kOk}, {"BIC", "0\r\n"}, {"GV", ""}, {"@", "rebooted version=1.2.3"}, {"GV", "1.2.3\r\n"}}})},
    {"or into the old one", {"--new-version", "1.2.3", "--after-reboot", "unchanged", "--reboot-ms", "0"},
     Join({kTransfer, {{"DRST", kOk}, {"@", "rebooted version=1.0.0"}}})},
    {"or never comes back", {"--after-reboot", "absent", "--reboot-ms", "0"},
     Join({kTransfer, {{"DRST", kOk}, {"@", "reboot-failed"}, {"BIC", "0\r\n"}, {"GV", ""}}})},
    {"DUSTART, DUSIZE and DUSUMM before the first block", {},
     Join({{{"DUSIZE2", "ERROR not in update mode\r\n"}, {Dub(0), "FAIL not in update mode\r\n"}, {"DUSTART", kOk}, {"DUSIZE2", kOk},
            {Dub(0), "FAIL no size or checksum\r\n"}}, Announce(), {{Dub(0), kNext},
            {"DUSUMM" + kCrc, "ERROR transfer in progress\r\n"}, {Dub(1), "FAIL update aborted\r\n"}}})},
    {"hex, block count, CRC-32", {},
     Join({Announce(), {{"DUB" + std::string(240, 'A'), "FAIL bad block\r\n"}}, Announce(), {{Dub(0).substr(0, 242), "FAIL bad block\r\n"},
           {"DUSTART", kOk}, {"DUSIZE0", "ERROR bad block count\r\n"}}, Announce("1", std::to_string(Crc32(kImage.bytes.data(), 120))),
           {{Dub(0), kOk}, {Dub(1), "FAIL too many blocks\r\n"}}, Announce(), {{Dub(0), kNext}, {"DRST", "FAIL image incomplete\r\n"}},
           Announce("2", "1"), {{Dub(0), kNext}, {Dub(1), "FAIL checksum mismatch\r\n"}, {"DRST", "FAIL image rejected\r\n"}}})},
    {"reply faults; the command still takes effect", {"--reply", "DUSTART=ERR\\x21", "--silent", "GV#1", "--no-lf", "GB",
      "--garbage", "BIC", "--split", "BGV=300", "--delay", "BB=300", "--unplug-on", "GV#3"},
     Join({{{"DUSTART", "ERR!\r\n"}, {"DUSIZE2", kOk}, {"GV", ""}, {"GV", "1.0.0\r\n"}, {"GB", "3950 mV"},
            {"BIC", std::string("\x00\xff\x13\xfe\x80\x1b[\x7f\xaa\x55\x00\x91\xe4\x02\xfd\x9c\r\n", 18)},
            {"BGV", kIdent, 300}, {"BB", kOk, 300}, {"GV", ""}}, kReplugged, {{"BGV", kIdent, 300}}})},
    {"block faults, each once", {"--refuse-block", "2", "--unplug-at-block", "1"},
     Join({Announce(), {{Dub(0), ""}}, kReplugged, Announce(), {{Dub(0), kNext}, {Dub(1), "FAIL block 2 refused\r\n"}}, kTransfer})},
    // The 248 bytes take 21 ms on the line, and the link's read waits 20 ms more for silence.
    {"line rate", {"--line-rate"}, Join({Announce(), {{Dub(0), kNext, 40}}})},
};

TEST(StationSim, PlaysItsScript) {
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        Play(c.options, c.steps);
    }
}

TEST(StationSim, BadOptionsGiveAClearError) {
    EXPECT_EQ("--silent: unknown command 'gv' (known: BGV BIC BB GV GB DUSTART DUSIZE DUSUMM DUB DRST)",
              ParseOptions({"--silent", "gv"}).error);
    EXPECT_EQ("--after-reboot new needs --new-version", ParseOptions({"--after-reboot", "new"}).error);
}

} // namespace
