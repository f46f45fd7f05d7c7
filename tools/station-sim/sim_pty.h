#pragma once
// The station's end of the cable: a pseudo-terminal in raw mode, and the symlink that gives it
// a fixed name (Wine maps a COM port to that link).

#include <string>

struct PtyPort {
    int master = -1;  // ours: commands in, replies out; non-blocking
    int slave = -1;   // held open so that a client closing its side leaves the port working
    std::string path; // "/dev/pts/7"
};

bool OpenPtyPort(PtyPort& port, std::string* error);
void ClosePtyPort(PtyPort& port);
bool IsOpen(const PtyPort& port);

// Points `link` at `target`, replacing an older symlink in one step. Refuses to replace anything
// that is not a symlink.
bool PointLink(const std::string& link, const std::string& target, std::string* error);
// Removes `link` if it is a symlink.
void RemoveLink(const std::string& link);
