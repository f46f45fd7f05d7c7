#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/notifications.h"
#include "serial/commands.h"
#include "workflows/workflows.h"

namespace {

constexpr uint32_t kNoStationPauseMs = 1200;
constexpr uint32_t kNoInstrumentPauseMs = 900;
constexpr uint32_t kFailedCheckPauseMs = 1200;

// On the connect page line 1 tells about the station, line 2 about the instrument, line 3 (shown
// only while it has a text) about ports that another program holds.
constexpr int kStationLine = 1;
constexpr int kInstrumentLine = 2;
constexpr int kTakenPortsLine = 3;

constexpr wchar_t kNoStationText[] = L"○  Дата-станция не обнаружена";
constexpr wchar_t kStationFoundText[] = L"✓  Дата-станция подключена (COM";
constexpr wchar_t kPlaceInstrumentText[] = L"○  Установите прибор на дата-станцию";
constexpr wchar_t kInstrumentFoundText[] = L"✓  Прибор обнаружен";
constexpr wchar_t kCheckFailedText[] = L"✕  Не удалось проверить прибор";

// What one monitor carries from attempt to attempt.
struct MonitorRun {
    // The instrument on the station is the one just updated: it is not checked again, and the
    // attempts only watch for it to be lifted.
    bool awaitingLift = false;
    std::wstring takenText; // status line 3 as last posted
};

bool MonitorMayRun() { return !App().appClosing.load() && !App().operationBusy.load(); }

// The window reads the record after MSG_INSTRUMENT_CHECKED without the lock: posting inside it
// makes both values visible before the message can be handled.
void PublishInstrument(double voltage, const std::string& version) {
    AppState& app = App();
    std::lock_guard<std::mutex> lock(app.instrumentMutex);
    app.batteryVoltage = voltage;
    app.instrumentVersion = version;
    app.instrumentReady = true;
    PostNotification(MSG_INSTRUMENT_CHECKED, 0, 0);
}

// Reads version and battery; the battery is judged first, as the station reports it.
void ReadInstrument(SerialPort& port) {
    const std::string gv = Ask(port, Command::GvMonitor);
    const std::string gb = Ask(port, Command::GbMonitor);
    WriteLog("GV -> " + LoggedReply(gv));
    WriteLog("GB -> " + LoggedReply(gb));
    const double voltage = ParseBatteryVoltage(gb);
    const std::string version = Trim(gv);
    if (version.empty() || IsFailureReply(gv)) throw std::runtime_error("Instrument version is missing");
    PublishInstrument(voltage, version);
}

// The station answered BIC, and not with a confirmation: nothing sits on it.
bool ReportsLifted(const std::string& bic) { return !IsFailureReply(bic) && !IsConnectedReply(bic); }

// One attempt on an open station port; returns the pause before the next attempt, 0 when done.
uint32_t CheckInstrument(SerialPort& port, bool& awaitingLift) {
    const std::string bic = Ask(port, Command::Bic);
    WriteLog("BIC -> " + LoggedReply(bic));
    if (awaitingLift && !ReportsLifted(bic)) {
        PostStatusLine(kInstrumentLine, kLiftUpdatedInstrumentText);
        return kNoInstrumentPauseMs;
    }
    awaitingLift = false;
    if (!IsConnectedReply(bic)) {
        PostStatusLine(kInstrumentLine, kPlaceInstrumentText);
        return kNoInstrumentPauseMs;
    }
    PostStatusLine(kInstrumentLine, kInstrumentFoundText);
    try {
        ReadInstrument(port);
    } catch (const std::exception&) {
        PostStatusLine(kInstrumentLine, kCheckFailedText);
        return kFailedCheckPauseMs;
    }
    return 0;
}

// "✕  Порт COM5 занят другой программой", "✕  Порты COM5, COM7 заняты другой программой"; empty for none.
std::wstring TakenPortsText(const std::vector<int>& ports) {
    std::wstring names;
    for (int port : ports) names += (names.empty() ? L"COM" : L", COM") + std::to_wstring(port);
    if (ports.size() == 1) return L"✕  Порт " + names + L" занят другой программой";
    return ports.empty() ? L"" : L"✕  Порты " + names + L" заняты другой программой";
}

void ShowTakenPorts(MonitorRun& run, const std::vector<int>& ports) {
    std::wstring text = TakenPortsText(ports);
    if (text == run.takenText) return;
    run.takenText = text;
    PostStatusLine(kTakenPortsLine, text);
}

// One attempt: station, instrument, readings. Returns the pause before the next one, 0 when done.
uint32_t MonitorAttempt(MonitorRun& run) {
    SerialPort port;
    const PortCloser closer(port);
    StationScan scan;
    if (!FindStation(port, App().preferredPort.load(), &scan)) {
        PostStatusLine(kStationLine, kNoStationText);
        ShowTakenPorts(run, scan.taken);
        return kNoStationPauseMs;
    }
    App().preferredPort.exchange(port.portNumber);
    PostStatusLine(kStationLine, kStationFoundText + std::to_wstring(port.portNumber) + L")");
    ShowTakenPorts(run, {});
    const uint32_t pause = CheckInstrument(port, run.awaitingLift);
    // The port is free while the monitor pauses, so another worker's scan can take it.
    ClosePort(port);
    return pause;
}

// An attempt broken by an unexpected error counts as a failed check: the monitor never gives up.
uint32_t GuardedAttempt(MonitorRun& run) {
    try {
        return MonitorAttempt(run);
    } catch (const std::exception& error) {
        LogInternalError("Instrument check", error);
    }
    return kFailedCheckPauseMs;
}

void RunMonitor(bool awaitingLift) {
    MonitorRun run;
    run.awaitingLift = awaitingLift;
    while (MonitorMayRun()) {
        const uint32_t pause = GuardedAttempt(run);
        if (pause == 0) return;
        SleepMs(pause);
    }
}

void StartMonitor(void (*monitor)()) {
    if (App().operationBusy.load()) return;
    StartDetachedWorker(monitor);
}

} // namespace

void InstrumentMonitor() { RunMonitor(false); }

void NextInstrumentMonitor() { RunMonitor(true); }

void StartInstrumentMonitor() { StartMonitor(InstrumentMonitor); }

void StartNextInstrumentMonitor() { StartMonitor(NextInstrumentMonitor); }
