#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/notifications.h"
#include "serial/serial_port.h"
#include "tests/support/station_script.h"
#include "tests/support/workflow_rig.h"
#include "workflows/workflows.h"

namespace {

const std::wstring kStationOn4 = L"line 1: ✓  Дата-станция подключена (COM4)";
const std::wstring kNoStation = L"line 1: ○  Дата-станция не обнаружена";
const std::wstring kPlaceInstrument = L"line 2: ○  Установите прибор на дата-станцию";
const std::wstring kInstrumentFound = L"line 2: ✓  Прибор обнаружен";
const std::wstring kCheckFailed = L"line 2: ✕  Не удалось проверить прибор";

// The monitor's own pauses, told apart from Transact's 20 ms ones.
std::vector<uint32_t> MonitorPauses(const VirtualClock& clock) {
    std::vector<uint32_t> pauses;
    for (const VirtualClock::Sleep& sleep : clock.Sleeps()) {
        if (sleep.ms != kEmptyReadPauseMs) pauses.push_back(sleep.ms);
    }
    return pauses;
}

// Closes the program during the monitor's pause number `count`, so it ends at its next attempt.
// Checks at every pause that the monitor does not hold the port while it waits.
void CloseDuringPause(WorkflowRig& rig, int count) {
    auto pauses = std::make_shared<int>(0);
    rig.clock.SetSleepObserver([&rig, pauses, count](const VirtualClock::Sleep& sleep) {
        if (sleep.ms == kEmptyReadPauseMs) return;
        EXPECT_EQ(0u, rig.serial.OpenHandles()) << "the port is closed before the pause";
        if (++*pauses == count) App().appClosing.store(true);
    });
}

struct AttemptCase {
    const char* name;
    std::function<void(StationScript&)> script;
    std::vector<std::wstring> posts;
    std::vector<std::string> log;
    std::vector<uint32_t> pauses;
    bool published;
    double voltage;
};

TEST(InstrumentMonitor, OneAttemptReportsWhatItFound) {
    const AttemptCase cases[] = {
        {"instrument absent",
         [](StationScript& s) { s.Set("BIC", Line("0")); },
         {kStationOn4, kPlaceInstrument},
         {"Available COM ports: COM4", "COM4 BGV -> ZDS-2 1.0", "BIC -> 0"},
         {900},
         false,
         0.0},
        {"GV ERROR",
         [](StationScript& s) { s.Set("GV", Line("ERROR")); },
         {kStationOn4, kInstrumentFound, kCheckFailed},
         {"Available COM ports: COM4", "COM4 BGV -> ZDS-2 1.0", "BIC -> 1", "GV -> ERROR", "GB -> 3.95"},
         {1200},
         false,
         0.0},
        {"GV silent while GB reads 4.0",
         [](StationScript& s) {
             s.Set("GV", Silence());
             s.Set("GB", Line("4.0"));
         },
         {kStationOn4, kInstrumentFound, kCheckFailed},
         {"Available COM ports: COM4", "COM4 BGV -> ZDS-2 1.0", "BIC -> 1", "GV -> ", "GB -> 4.0"},
         {1200},
         false,
         0.0},
        {"GB without a number",
         [](StationScript& s) { s.Set("GB", Line("ERR")); },
         {kStationOn4, kInstrumentFound, kCheckFailed},
         {"Available COM ports: COM4", "COM4 BGV -> ZDS-2 1.0", "BIC -> 1", "GV -> 1.2.3", "GB -> ERR"},
         {1200},
         false,
         0.0},
        {"GB streaming digits, too long for a double; GV with control bytes",
         [](StationScript& s) {
             s.Set("GB", Line(std::string(100000, '9')));
             s.Set("GV", Line("1.0\r0\x1b[2J"));
         },
         {kStationOn4, kInstrumentFound, kCheckFailed},
         {"Available COM ports: COM4", "COM4 BGV -> ZDS-2 1.0", "BIC -> 1", "GV -> 1.0\\x0d0\\x1b[2J",
          "GB -> " + std::string(200, '9') + "... (100000 bytes)"},
         {1200},
         false,
         0.0},
        {"GB in millivolts",
         [](StationScript& s) { s.Set("GB", Line("3950 mV")); },
         {kStationOn4, kInstrumentFound, L"instrument checked"},
         {"Available COM ports: COM4", "COM4 BGV -> ZDS-2 1.0", "BIC -> 1", "GV -> 1.2.3", "GB -> 3950 mV"},
         {},
         true,
         3.95},
        {"3.85 V is a valid reading, below the update threshold or not",
         [](StationScript& s) {
             s.Set("GV", Line("V2.1"));
             s.Set("GB", Line("3.85"));
         },
         {kStationOn4, kInstrumentFound, L"instrument checked"},
         {"Available COM ports: COM4", "COM4 BGV -> ZDS-2 1.0", "BIC -> 1", "GV -> V2.1", "GB -> 3.85"},
         {},
         true,
         3.85},
    };
    for (const AttemptCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkflowRig rig;
        StationScript station;
        c.script(station);
        rig.serial.AddDevice(4, station.AsResponder());
        CloseDuringPause(rig, 1);
        InstrumentMonitor();
        EXPECT_EQ(c.posts, rig.posts.Descriptions());
        EXPECT_EQ(c.log, rig.log.Messages());
        EXPECT_EQ(c.pauses, MonitorPauses(rig.clock));
        EXPECT_EQ(c.published, App().instrumentReady);
        EXPECT_DOUBLE_EQ(c.voltage, App().batteryVoltage);
        EXPECT_EQ(4, App().preferredPort.load());
        EXPECT_EQ(0u, rig.serial.OpenHandles());
    }
}

TEST(InstrumentMonitor, NoStationPostsLineOneAndWaits1200Ms) {
    WorkflowRig rig;
    CloseDuringPause(rig, 1);
    InstrumentMonitor();
    EXPECT_EQ(std::vector<std::wstring>{kNoStation}, rig.posts.Descriptions());
    EXPECT_EQ(std::vector<std::string>{"Available COM ports: none"}, rig.log.Messages());
    EXPECT_EQ(std::vector<uint32_t>{1200}, MonitorPauses(rig.clock));
    EXPECT_EQ(0, App().preferredPort.load());
}

TEST(InstrumentMonitor, ReadsVersionAndBatteryBeforeLoggingEither) {
    WorkflowRig rig;
    StationScript station;
    rig.serial.AddDevice(4, station.AsResponder());
    InstrumentMonitor();
    EXPECT_EQ((std::vector<std::string>{"BGV", "BIC", "GV", "GB"}), rig.serial.Mnemonics(4));
    const std::vector<ScriptedSerial::Written> writes = rig.serial.AllWrites();
    ASSERT_EQ(4u, writes.size());
    EXPECT_LE(writes[1].at, writes[2].at);
}

TEST(InstrumentMonitor, PublishesUnderTheLockAndPostsBeforeReleasingIt) {
    WorkflowRig rig;
    StationScript station;
    station.Set("GB", Line("3.85"));
    rig.serial.AddDevice(4, station.AsResponder());
    bool checked = false;
    rig.posts.SetObserver([&checked](const Notification& n) {
        if (n.code != MSG_INSTRUMENT_CHECKED) return;
        checked = true;
        // Asked from another thread: locking it twice from the monitor's own would be undefined.
        const bool heldByMonitor = !std::async(std::launch::async, [] {
                                        std::unique_lock<std::mutex> lock(App().instrumentMutex, std::try_to_lock);
                                        return lock.owns_lock();
                                    }).get();
        EXPECT_TRUE(heldByMonitor);
        EXPECT_TRUE(App().instrumentReady);
        EXPECT_DOUBLE_EQ(3.85, App().batteryVoltage);
    });
    InstrumentMonitor();
    EXPECT_TRUE(checked);
    EXPECT_EQ(1u, rig.posts.Count(MSG_INSTRUMENT_CHECKED));
    EXPECT_EQ(0u, rig.posts.Count(MSG_OPERATION_DONE));
}

TEST(InstrumentMonitor, RepeatsUntilOneCheckSucceedsThenStops) {
    WorkflowRig rig;
    StationScript station;
    station.Queue("BIC", Line("0"));
    station.Queue("GV", Line("ERROR"));
    rig.serial.AddSilentPort(2);
    rig.serial.AddDevice(4, station.AsResponder());
    InstrumentMonitor();
    EXPECT_EQ((std::vector<std::wstring>{kStationOn4, kPlaceInstrument, kStationOn4, kInstrumentFound, kCheckFailed, kStationOn4,
                                         kInstrumentFound, L"instrument checked"}),
              rig.posts.Descriptions());
    EXPECT_EQ((std::vector<uint32_t>{900, 1200}), MonitorPauses(rig.clock));
    // The first scan asks COM2 in vain; from then on the station's port is asked first and alone.
    EXPECT_EQ((std::vector<std::string>{"Available COM ports: COM2 COM4", "COM2 BGV -> ", "COM4 BGV -> ZDS-2 1.0", "BIC -> 0",
                                        "Available COM ports: COM4 COM2", "COM4 BGV -> ZDS-2 1.0", "BIC -> 1", "GV -> ERROR",
                                        "GB -> 3.95", "Available COM ports: COM4 COM2", "COM4 BGV -> ZDS-2 1.0", "BIC -> 1",
                                        "GV -> 1.2.3", "GB -> 3.95"}),
              rig.log.Messages());
    EXPECT_EQ(std::vector<std::string>{"BGV\n"}, rig.serial.Commands(2));
    EXPECT_TRUE(App().instrumentReady);
}

TEST(InstrumentMonitor, AbsentInstrumentIsAskedForAboutEverySecond) {
    WorkflowRig rig;
    StationScript station;
    station.Set("BIC", Line("0"));
    rig.serial.AddDevice(4, station.AsResponder());
    CloseDuringPause(rig, 3);
    InstrumentMonitor();
    std::vector<uint64_t> bgvTimes;
    for (const ScriptedSerial::Written& write : rig.serial.AllWrites()) {
        if (Mnemonic(write.command) == "BGV") bgvTimes.push_back(write.at);
    }
    ASSERT_EQ(3u, bgvTimes.size());
    for (size_t i = 1; i < bgvTimes.size(); ++i) {
        EXPECT_LE(bgvTimes[i - 1] + 900, bgvTimes[i]);
        EXPECT_GE(bgvTimes[i - 1] + 1000, bgvTimes[i]);
    }
    EXPECT_EQ(6u, rig.posts.All().size()) << "the station line is posted again on every attempt";
}

TEST(InstrumentMonitor, AFailedCheckKeepsTheRecordOfTheLastGoodOne) {
    WorkflowRig rig;
    App().batteryVoltage = 4.05;
    App().instrumentReady = true;
    StationScript station;
    station.Set("GB", Line("7.5"));
    rig.serial.AddDevice(4, station.AsResponder());
    CloseDuringPause(rig, 1);
    InstrumentMonitor();
    EXPECT_TRUE(App().instrumentReady);
    EXPECT_DOUBLE_EQ(4.05, App().batteryVoltage);
}

TEST(InstrumentMonitor, EndsBeforeAnyAttemptWhenClosingOrBusy) {
    for (std::atomic<bool> AppState::*flag : {&AppState::appClosing, &AppState::operationBusy}) {
        WorkflowRig rig;
        rig.serial.AddDevice(4, StationScript().AsResponder());
        (App().*flag).store(true);
        InstrumentMonitor();
        EXPECT_EQ(0u, rig.posts.All().size());
        EXPECT_EQ(0u, rig.serial.OpenCount(4));
        EXPECT_EQ(std::vector<std::string>{}, rig.log.Messages());
    }
}

TEST(InstrumentMonitor, AnUpdateStartingDuringAnAttemptStopsTheNextOne) {
    WorkflowRig rig;
    StationScript station;
    station.Set("BIC", Line("0"));
    rig.serial.AddDevice(4, [&station](const std::string& command) {
        App().operationBusy.store(true);
        return station.Answer(command);
    });
    InstrumentMonitor();
    EXPECT_EQ((std::vector<std::wstring>{kStationOn4, kPlaceInstrument}), rig.posts.Descriptions());
    EXPECT_EQ(std::vector<uint32_t>{900}, MonitorPauses(rig.clock)) << "the pause is waited out";
}

// An error in an attempt (line noise, no memory) frees the port and counts as a failed check.
TEST(InstrumentMonitor, AnErrorInAnAttemptFreesThePortAndTheMonitorGoesOn) {
    WorkflowRig rig;
    StationScript station;
    bool failed = false;
    rig.serial.AddDevice(4, [&](const std::string& command) {
        if (Mnemonic(command) == "BIC" && !failed) {
            failed = true;
            throw std::runtime_error("line noise");
        }
        return station.Answer(command);
    });
    rig.clock.SetSleepObserver([&rig](const VirtualClock::Sleep& sleep) {
        if (sleep.ms == kEmptyReadPauseMs) return;
        EXPECT_EQ(0u, rig.serial.OpenHandles()) << "the port is free during the pause";
    });
    InstrumentMonitor();
    EXPECT_EQ("Instrument check stopped by an internal error: line noise", rig.log.Messages().at(2));
    EXPECT_EQ(std::vector<uint32_t>{1200}, MonitorPauses(rig.clock));
    EXPECT_EQ(1u, rig.posts.Count(MSG_INSTRUMENT_CHECKED));
}

// After an update the instrument still on the station is the one just updated: the next check
// waits until the station reports it lifted (a silent station tells nothing).
TEST(InstrumentMonitor, TheNextInstrumentIsCheckedOnlyAfterTheUpdatedOneWasLifted) {
    const std::wstring liftUpdated = L"line 2: ○  Снимите обновлённый прибор и установите следующий";
    WorkflowRig rig;
    StationScript station;
    for (const Reply& bic : {Line("1"), Silence(), Line("0")}) station.Queue("BIC", bic);
    rig.serial.AddDevice(4, station.AsResponder());
    NextInstrumentMonitor();
    EXPECT_EQ((std::vector<std::wstring>{kStationOn4, liftUpdated, kStationOn4, liftUpdated, kStationOn4, kPlaceInstrument,
                                         kStationOn4, kInstrumentFound, L"instrument checked"}),
              rig.posts.Descriptions());
    EXPECT_EQ((std::vector<uint32_t>{900, 900, 900}), MonitorPauses(rig.clock));
}

} // namespace
