#include "tools/station-sim/sim_control.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "tools/station-sim/sim_text.h"

namespace {

struct Word {
    const char* name;
    ControlKind kind;
};

constexpr Word kPlainCommands[] = {
    {.name = "place", .kind = ControlKind::Place},   {.name = "lift", .kind = ControlKind::Lift},
    {.name = "unplug", .kind = ControlKind::Unplug}, {.name = "plug", .kind = ControlKind::Plug},
    {.name = "status", .kind = ControlKind::Status}, {.name = "help", .kind = ControlKind::Help},
    {.name = "quit", .kind = ControlKind::Quit},
};

ControlCommand Invalid(const std::string& why) { return {.kind = ControlKind::Invalid, .text = why}; }

std::string Trimmed(const std::string& text) {
    const char* blanks = " \t\r\n\v\f";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

ControlCommand ParseSet(std::istringstream& words, const std::string& line) {
    std::string what;
    words >> what;
    std::string rest;
    std::getline(words, rest);
    rest = Trimmed(rest);
    if (what == "battery") {
        const auto mv = ParseDecimal(rest, 99999);
        if (!mv) return Invalid("set battery needs millivolts (0 to 99999), got '" + EscapeBytes(rest) + "'");
        return {.kind = ControlKind::SetBattery, .millivolts = static_cast<uint32_t>(*mv)};
    }
    if (what == "version") {
        if (rest.empty()) return Invalid("set version needs a version text");
        for (const char c : rest) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                return Invalid("set version: control characters are not allowed");
        }
        return {.kind = ControlKind::SetVersion, .text = rest};
    }
    return Invalid("unknown command '" + EscapeBytes(line) + "' (set battery <mV>, set version <text>)");
}

} // namespace

ControlCommand ParseControl(const std::string& line) {
    const std::string text = Trimmed(line);
    if (text.empty() || text[0] == '#') return {};
    std::istringstream words(text);
    std::string first;
    words >> first;
    if (first == "set") return ParseSet(words, text);
    std::string extra;
    for (const Word& word : kPlainCommands) {
        if (first != word.name) continue;
        if (words >> extra) return Invalid("'" + first + "' takes no argument");
        return {.kind = word.kind};
    }
    return Invalid("unknown command '" + EscapeBytes(text) + "' (try 'help')");
}

const char* ControlHelp() {
    return "place | lift | unplug | plug | set battery <mV> | set version <text> | status | help | quit";
}

bool OpenControlFifo(ControlFifo& fifo, const std::string& path, std::string* error) {
    struct stat existing {};
    if (lstat(path.c_str(), &existing) == 0) {
        if (!S_ISFIFO(existing.st_mode)) {
            *error = path + " exists and is not a FIFO";
            return false;
        }
    } else if (mkfifo(path.c_str(), 0600) == 0) {
        fifo.created = true;
    } else {
        *error = "mkfifo " + path + ": " + std::strerror(errno);
        return false;
    }
    fifo.path = path;
    fifo.readFd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    fifo.keepFd = fifo.readFd < 0 ? -1 : open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fifo.keepFd < 0) {
        *error = "open " + path + ": " + std::strerror(errno);
        CloseControlFifo(fifo);
        return false;
    }
    return true;
}

void CloseControlFifo(ControlFifo& fifo) {
    if (fifo.readFd >= 0) close(fifo.readFd);
    if (fifo.keepFd >= 0) close(fifo.keepFd);
    if (fifo.created) unlink(fifo.path.c_str());
    fifo = ControlFifo{};
}
