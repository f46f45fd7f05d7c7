#include "tools/station-sim/sim_pty.h"

#include "serial/raw_line_posix.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

bool Fail(std::string* error, const std::string& what) {
    *error = what + ": " + std::strerror(errno);
    return false;
}

} // namespace

bool OpenPtyPort(PtyPort& port, std::string* error) {
    port.master = posix_openpt(O_RDWR | O_NOCTTY);
    if (port.master < 0) return Fail(error, "posix_openpt");
    const char* name = nullptr;
    if (grantpt(port.master) != 0 || unlockpt(port.master) != 0 || (name = ptsname(port.master)) == nullptr) {
        Fail(error, "grantpt/unlockpt/ptsname");
        ClosePtyPort(port);
        return false;
    }
    port.path = name;
    port.slave = open(port.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    // No echo: a reply must never come back to the simulator as a command.
    if (port.slave < 0 || !SetRawLine(port.slave, 1) || fcntl(port.master, F_SETFL, O_NONBLOCK) != 0 ||
        fcntl(port.master, F_SETFD, FD_CLOEXEC) != 0) {
        Fail(error, "setting up " + port.path);
        ClosePtyPort(port);
        return false;
    }
    return true;
}

void ClosePtyPort(PtyPort& port) {
    if (port.slave >= 0) close(port.slave);
    if (port.master >= 0) close(port.master);
    port = PtyPort{};
}

bool IsOpen(const PtyPort& port) { return port.master >= 0; }

bool PointLink(const std::string& link, const std::string& target, std::string* error) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        *error = link + " exists and is not a symlink";
        return false;
    }
    const std::string temporary = link + ".new-" + std::to_string(getpid());
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0) return Fail(error, "symlink " + temporary);
    if (rename(temporary.c_str(), link.c_str()) != 0) {
        Fail(error, "rename to " + link);
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

void RemoveLink(const std::string& link) {
    struct stat existing {};
    if (lstat(link.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) unlink(link.c_str());
}
