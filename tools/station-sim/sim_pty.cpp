#include "tools/station-sim/sim_pty.h"

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

// Raw 8N1: no echo (a reply must not come back to us as a command), no CR/LF translation.
bool MakeRaw(int fd) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    settings.c_cflag |= CS8 | CREAD | CLOCAL;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
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
    if (port.slave < 0 || !MakeRaw(port.slave) || fcntl(port.master, F_SETFL, O_NONBLOCK) != 0 ||
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
