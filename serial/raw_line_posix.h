#pragma once
// A terminal device as a raw serial line: 115200 8N1, no echo, no flow control, no CR/LF
// translation. Shared by the native serial backend and the station simulator's pty.

#include <termios.h>

// minimumBytes is VMIN: 0 lets reads return at once with nothing, 1 blocks until a byte comes.
inline bool SetRawLine(int fd, cc_t minimumBytes) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return false;
    settings.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                               IXOFF);
    settings.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_cc[VMIN] = minimumBytes;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    return tcsetattr(fd, TCSANOW, &settings) == 0;
}
