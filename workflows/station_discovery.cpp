#include <algorithm>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/log.h"
#include "serial/commands.h"
#include "workflows/workflows.h"

namespace {

PortNotes& Notes() { return App().portNotes; }

using NoteSet = std::set<int> PortNotes::*;

// Adds the port to one set of the notes; true when it was not in it yet.
bool Note(NoteSet set, int port) {
    PortNotes& notes = Notes();
    const std::lock_guard<std::mutex> lock(notes.mutex);
    return (notes.*set).insert(port).second;
}

bool Noted(NoteSet set, int port) {
    PortNotes& notes = Notes();
    const std::lock_guard<std::mutex> lock(notes.mutex);
    return (notes.*set).count(port) != 0;
}

void ForgetOpened(int port) {
    PortNotes& notes = Notes();
    const std::lock_guard<std::mutex> lock(notes.mutex);
    notes.saidSlow.erase(port);
    notes.saidTaken.erase(port);
}

void ForgetGone(const std::vector<int>& listed) {
    PortNotes& notes = Notes();
    const std::lock_guard<std::mutex> lock(notes.mutex);
    for (auto port = notes.saidTaken.begin(); port != notes.saidTaken.end();)
        port = std::find(listed.begin(), listed.end(), *port) == listed.end() ? notes.saidTaken.erase(port) : ++port;
}

std::string PortName(int port) { return "COM" + std::to_string(port); }

std::string PortListLine(const std::vector<int>& ports) {
    std::string line = "Available COM ports:";
    if (ports.empty()) line += " none";
    for (int port : ports) line += " " + PortName(port);
    return line;
}

// A slow station driver is still found: a port that missed the first deadline gets the longer one.
uint32_t OpenDeadlineMs(int port) { return Noted(&PortNotes::slow, port) ? kSlowPortOpenDeadlineMs : kOpenDeadlineMs; }

// Logs what kept a port from opening, once until that changes; a port another program holds joins taken.
void NoteUnopened(int port, PortOpenResult result, uint32_t deadlineMs, std::vector<int>* taken) {
    if (result == PortOpenResult::InUse) {
        if (taken != nullptr) taken->push_back(port);
        if (Note(&PortNotes::saidTaken, port)) WriteLog(PortName(port) + " is in use by another program");
    } else if (result == PortOpenResult::Slow) {
        Note(&PortNotes::slow, port);
        if (Note(&PortNotes::saidSlow, port))
            WriteLog(PortName(port) + " did not open within " + std::to_string(deadlineMs / 1000) + " s; skipped");
    }
}

// Any sensible answer to BGV marks the station; its content is only logged.
bool AnswersLikeStation(const std::string& reply) { return !reply.empty() && !IsFailureReply(reply); }

} // namespace

bool FindStation(SerialPort& port, int preferredPort, StationScan* scan) {
    const std::vector<int> ports = EnumerateComPorts(preferredPort);
    WriteLog(PortListLine(ports));
    ForgetGone(ports);
    const std::set<int> bluetooth = ports.empty() ? std::set<int>() : BluetoothComPorts();
    for (int number : ports) {
        // A closing program opens nothing more; the list line above is still written.
        if (App().appClosing.load()) break;
        // Its open waits while the radio tries to connect, and a probe would write to whatever answers.
        if (bluetooth.count(number) != 0) {
            if (Note(&PortNotes::saidBluetooth, number)) WriteLog(PortName(number) + " skipped: Bluetooth serial port");
            continue;
        }
        const uint32_t deadlineMs = OpenDeadlineMs(number);
        const PortOpenResult opened = TryOpenPort(port, number, deadlineMs);
        if (opened != PortOpenResult::Opened) {
            NoteUnopened(number, opened, deadlineMs, scan != nullptr ? &scan->taken : nullptr);
            continue;
        }
        ForgetOpened(number);
        const std::string reply = Ask(port, Command::Bgv);
        WriteLog(PortName(number) + " BGV -> " + LoggedReply(reply));
        if (AnswersLikeStation(reply)) {
            if (scan != nullptr) scan->stationReply = reply;
            return true;
        }
        ClosePort(port);
    }
    ClosePort(port);
    return false;
}
