#include "core/app_state.h"
#include "core/log.h"
#include "serial/commands.h"
#include "workflows/workflows.h"

namespace {

std::string PortListLine(const std::vector<int>& ports) {
    std::string line = "Available COM ports:";
    if (ports.empty()) line += " none";
    for (int port : ports) line += " COM" + std::to_string(port);
    return line;
}

// Any sensible answer to BGV marks the station; its content is only logged.
bool AnswersLikeStation(const std::string& reply) { return !reply.empty() && !IsFailureReply(reply); }

} // namespace

bool FindStation(SerialPort& port, int preferredPort, std::string* stationReply) {
    const std::vector<int> ports = EnumerateComPorts(preferredPort);
    WriteLog(PortListLine(ports));
    for (int number : ports) {
        // A closing program opens nothing more; the list line above is still written.
        if (App().appClosing.load()) break;
        // Absent, held by another program or worker, or refusing the line settings.
        if (!OpenPort(port, number)) continue;
        const std::string reply = Transact(port, BgvCommand(), kBgvDeadlineMs);
        WriteLog("COM" + std::to_string(number) + " BGV -> " + LoggedReply(reply));
        if (AnswersLikeStation(reply)) {
            if (stationReply != nullptr) *stationReply = reply;
            return true;
        }
        ClosePort(port);
    }
    ClosePort(port);
    return false;
}
