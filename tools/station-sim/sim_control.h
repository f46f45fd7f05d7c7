#pragma once
// Commands typed by the person (or test) acting as the user, from stdin or the control FIFO:
// place, lift, unplug, plug, set battery <mV>, set version <text>, status, help, quit.

#include <cstdint>
#include <string>

enum class ControlKind { None, Place, Lift, Unplug, Plug, SetBattery, SetVersion, Status, Help, Quit, Invalid };

struct ControlCommand {
    ControlKind kind = ControlKind::None;
    uint32_t millivolts = 0; // SetBattery
    std::string text{};      // SetVersion: the version; Invalid: what is wrong
};

// One line, without its line feed. Blank lines and lines starting with '#' are None.
ControlCommand ParseControl(const std::string& line);
const char* ControlHelp();

// A named pipe that a script writes control lines into ("echo lift > PATH").
struct ControlFifo {
    int readFd = -1;
    int keepFd = -1; // our own writer, so that a script closing its end is no end of file
    std::string path;
    bool created = false; // made by us, removed again at the end
};

bool OpenControlFifo(ControlFifo& fifo, const std::string& path, std::string* error);
void CloseControlFifo(ControlFifo& fifo);
