// The workers against the faked station on COM3, on the test's thread under the virtual clock,
// where every reply comes at once: a time is what the deadlines and pauses add up to. A whole
// exchange is an approved transcript, tests/unit/approved/<suite>.<case>.txt.

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>
#include <sstream>
#include <system_error>
#include <tuple>

#ifndef _WIN32
#include <pthread.h>
#endif

#include "core/app_state.h"
#include "serial/commands.h"
#include "tests/support/approved.h"
#include "tests/support/fakes.h"
#include "workflows/workflows.h"

namespace {

// An update of an image of version 1.2.3; its transcript ends with what it handed over for the history.
struct Update : Rig {
    Update() { UseBlocks(2); }
    std::string Run() {
        App().updateFacts = {9, "from an earlier update", 4.0};
        UpdateWorker();
        const UpdateFacts& facts = App().updateFacts;
        std::ostringstream battery;
        battery << facts.batteryVolts.value_or(0.0);
        Note("history: COM" + std::to_string(facts.comPort) + ", station " + Shown(facts.stationReply) + ", battery " +
             (facts.batteryVolts ? battery.str() : "unread"));
        return Transcript();
    }
    void UseBlocks(size_t blocks) {
        App().firmware = TestImage(blocks);
        station.replies["DUB"] = std::vector<std::string>(blocks - 1, "NEXT\r\n");
        station.replies["DUB"].push_back("OK\r\n");
    }
};

using Script = std::function<void(Update&)>;
Script Replies(const char* mnemonic, std::vector<std::string> replies) {
    return [=](Update& u) { u.station.replies[mnemonic] = replies; };
}
// Does `action` while the station handles the nth command of a mnemonic, in an image of `blocks`.
Script At(const char* mnemonic, size_t nth, std::function<void(Update&)> action, size_t blocks = 2) {
    return [=](Update& u) {
        u.UseBlocks(blocks);
        u.station.onCommand = [=, &u](const std::string& m, size_t n) {
            if (m == mnemonic && n == nth) action(u);
        };
    };
}
const auto cancel = [](Update&) { App().cancelRequested.store(true); }; // the window's click
const auto closing = [](Update& u) { App().appClosing.store(true); u.station.replies["BIC"] = {"0\r\n"}; };

// Each way an update ends, in tests/unit/approved/UpdateWorker.<case>.txt. A refusal takes the path of silence, which
// also shows the command's deadline; Commands.EachReplyIsJudgedByItsTrimmedText judges the replies.
TEST(UpdateWorker, EachEndingMatchesItsApprovedTranscript) {
    const std::pair<const char*, Script> rows[] = {
        {"two blocks", [](Update&) {}},
        {"station silent", Replies("BGV", {""})},
        {"station answers ERROR", Replies("BGV", {"ERROR\r\n"})},
        {"no station", [](Update& u) { u.Unplug(3); }},
        {"battery silent", Replies("GB", {""})},
        {"battery 3.89 V", Replies("GB", {"3.89\r\n"})},
        {"battery 3.9 V", Replies("GB", {"3.9\r\n"})},
        {"DUSTART silent", Replies("DUSTART", {""})},
        {"DUSIZE refused: DRST, unlogged, leaves update mode", Replies("DUSIZE", {"ERR\r\n"})},
        {"DUSIZE silent", Replies("DUSIZE", {""})},
        {"DUSUMM silent, DRST too", [](Update& u) { u.station.replies["DUSUMM"] = u.station.replies["DRST"] = {""}; }},
        {"block silent", Replies("DUB", {""})},
        {"OK to an earlier block", Replies("DUB", {"OK\r\n"})},
        {"NEXT to the last block", Replies("DUB", {"NEXT\r\n"})},
        {"lower-case next and ok", Replies("DUB", {" next\r\n", "ok\r\n"})},
        {"an unexpected error", At("DUB", 0, [](Update&) { throw std::runtime_error("broke"); })},
        {"reset silent", Replies("DRST", {""})},
        {"closing before the 15 s wait: no scan", At("DRST", 0, closing)},
        {"station gone at the prompt: a scan every 1.5 s until 120 s after the wait", [](Update& u) { u.onPost = [&u](const std::wstring& post) { if (post == L"reinstall prompt") u.Unplug(3); }; }},
        {"instrument back at the third try", Replies("BIC", {"0\r\n", "", "1\r\n"})},
        {"closing during a reconnect attempt: it ends after it", At("BIC", 0, closing)},
        {"GV ERROR or nothing: asked again at once", Replies("GV", {"ERROR\r\n", "", "1.2.3\r\n"})},
        {"GV with spaces", Replies("GV", {" 1.2.3 \r\n"})},
        {"GV without a line end", Replies("GV", {"1.2.3"})},
        {"GV V1.2.3", Replies("GV", {"V1.2.3\r\n"})},
        {"GV 1.2.3b", Replies("GV", {"1.2.3b\r\n"})},
        {"version compared case by case", [](Update& u) { App().firmware.version = "v1.2"; u.station.replies["GV"] = {"V1.2\r\n"}; }},
        {"an image without a version takes any", [](Update& u) { App().firmware.version = ""; u.station.replies["GV"] = {"2.0-\xCE\xB2\r\n"}; }},
        {"BB after success silent", Replies("BB", {""})},
        {"cancel during BGV: taken before the first block", At("BGV", 0, cancel)},
        {"cancel during DUSUMM, one block", At("DUSUMM", 0, cancel, 1)},
        {"cancel during the second-to-last block", At("DUB", 0, cancel)},
        {"cancel during the last block: too late", At("DUB", 1, cancel)},
        {"cancel during the only block: too late", At("DUB", 0, cancel, 1)},
        {"a cancel left from before the start", [](Update&) { App().cancelRequested.store(true); }},
    };
    for (const auto& [name, script] : rows) {
        Update u;
        script(u);
        ExpectApproved(std::string("UpdateWorker.") + name, u.Run());
    }
}

// The monitor tries until one check succeeds, with the port free in every pause.
TEST(InstrumentMonitor, TriesUntilOneCheckSucceedsWithAPauseAfterEachOther) {
    Rig rig;
    rig.Unplug(3); // the station comes during the first pause
    rig.onSleep = [&](uint32_t ms) {
        if (ms != kEmptyReadPauseMs) rig.Add(3, std::ref(rig.station));
    };
    rig.station.onCommand = [](const std::string& m, size_t n) {
        if (m == "BIC" && n == 0) throw std::runtime_error("line noise");
    };
    rig.station.replies["BIC"] = {"(not sent: the exchange breaks)", "0\r\n", "1\r\n"};
    rig.station.replies["GV"] = {"ERROR\r\n", "", "1.0\r0\x1b[2J\r\n", "1.2.3\r\n"};
    rig.station.replies["GB"] = {"3.95\r\n", "4.0\r\n", std::string(100000, '9') + "\r\n", "ERR\r\n", "3950 mV\r\n"};
    rig.onPost = [](const std::wstring& post) {
        if (post != L"instrument checked") return;
        // Published under the lock, which the monitor still holds (asked from another thread).
        EXPECT_FALSE(std::async(std::launch::async, [] { return std::unique_lock<std::mutex>(App().instrumentMutex, std::try_to_lock).owns_lock(); }).get());
        EXPECT_TRUE(App().instrumentReady);
        EXPECT_DOUBLE_EQ(3.95, App().batteryVoltage);
        EXPECT_EQ("1.2.3", App().instrumentVersion) << "the version as read, trimmed";
    };
    InstrumentMonitor();
    EXPECT_EQ(3, App().preferredPort.load());
    ExpectApproved("InstrumentMonitor.tries until one check succeeds", rig.Transcript());
}

// After an update the instrument on the station is the one just updated: the next one is checked
// once the station reports it lifted (a silent station tells nothing).
TEST(InstrumentMonitor, TheNextInstrumentIsCheckedOnlyOnceTheUpdatedOneWasLifted) {
    Rig rig;
    rig.station.replies["BIC"] = {"1\r\n", "", "0\r\n", "1\r\n"};
    NextInstrumentMonitor();
    ExpectApproved("InstrumentMonitor.the next instrument", rig.Transcript());
    for (std::atomic<bool>* flag : {&App().appClosing, &App().operationBusy}) { // no monitor while either holds
        Rig again;
        flag->store(true);
        InstrumentMonitor();
        EXPECT_EQ(0u, again.Posts().size() + again.Log().size());
    }
}

// Its transcript ends with the port it found: FindStation.<case>.txt.
TEST(FindStation, AsksThePortsWithBgvPreferredFirstAndKeepsTheFirstThatAnswers) {
    const Device silent = [](const std::string&) { return ""; };
    const Device closesTheProgram = [](const std::string&) { App().appClosing.store(true); return ""; };
    const std::wstring bt = L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&1D4E1F&0&0017E9D2A1B2_C00000000";
    SerialPort other;
    const std::tuple<const char*, std::function<void(Rig&)>, int> rows[] = { // the ports beside the station on COM3, the preferred
        {"the third port", [&](Rig& r) { r.Add(1, silent); r.Add(2, silent); }, 0},
        {"the preferred first", [&](Rig& r) { r.Add(1, silent); r.Add(2, silent); }, 3},
        {"ERROR is no answer", [](Rig& r) { r.Add(2, [](const std::string&) { return "ERROR\r\n"; }); }, 0},
        {"a part at the deadline is", [](Rig& r) { r.station.replies["BGV"] = {"V1.2"}; }, 0},
        {"held and refusing ports skipped", [&](Rig& r) { r.Add(1, silent, Rig::Held); r.Add(2, silent, Rig::Refuses); }, 0},
        {"held by another worker", [&](Rig&) { OpenPort(other, 3); }, 3},
        // A Bluetooth link's open waits while the radio connects, and a probe writes to whatever answers.
        {"Bluetooth ports never opened, and said so once a run", [&](Rig& r) { r.Add(1, silent); r.Add(2, silent); r.devices = {{.instanceId = bt, .portName = L"COM1"}, {.instanceId = L"bthenum\\1", .portName = L"COM2"}}; FindStation(other, 0); ClosePort(other); }, 0},
        {"no device list: none skipped on a guess", [&](Rig& r) { r.Add(1, silent); r.devices = {{.instanceId = bt, .portName = L"COM1"}}; r.devicesFail = true; }, 0},
        {"no instance ID, no port name, another bus", [&](Rig& r) { r.Add(1, silent); r.Add(2, silent); r.devices = {{.instanceId = L"", .portName = L"COM1"}, {.instanceId = bt, .portName = L""}, {.instanceId = L"BTHENUMX\\1", .portName = L"COM2"}}; }, 0},
        {"no ports", [](Rig& r) { r.Unplug(3); }, 0},
        {"listing fails", [](Rig& r) { r.listingErrors = {5}; }, 3},
        {"the program closing", [](Rig&) { App().appClosing.store(true); }, 0},
        {"closing during the scan", [&](Rig& r) { r.Add(1, closesTheProgram); }, 0},
    };
    for (const auto& [name, ports, preferred] : rows) {
        Rig rig;
        ports(rig);
        SerialPort port;
        const bool found = FindStation(port, preferred);
        EXPECT_EQ(found, IsPortOpen(port)) << name;
        ExpectApproved(std::string("FindStation.") + name, rig.Transcript() + "found COM" + std::to_string(port.portNumber) + "\n");
        ClosePort(port);
        ClosePort(other);
    }
}

const std::string kListed = "Available COM ports: COM2 COM3", kFound = "COM3 BGV -> ZDS-2 1.0";

// A scan skips a port whose open another scan waits for, without calling it slow.
TEST(FindStation, SkipsAPortWhoseOpenAnotherScanAwaits) {
    Rig rig;
    rig.Add(2, [](const std::string&) { return ""; });
    rig.Block(2);
    rig.onSleep = [&rig, once = false](uint32_t) mutable {
        if (std::exchange(once, true)) return;
        SerialPort other;
        EXPECT_TRUE(FindStation(other, 0));
        ClosePort(other);
        rig.Release(2);
    };
    SerialPort port;
    EXPECT_TRUE(FindStation(port, 0) && port.portNumber == 3);
    ClosePort(port);
    EXPECT_EQ((std::vector<std::string>{kListed, kListed, kFound, "COM2 BGV -> ", kFound}), rig.Log());
}

TEST(FindStation, GivesAnOpenThatBlocksOneSecondAPortOnceSlowFiveAndNeverStartsOneTwice) {
    Rig rig;
    rig.Add(2, [](const std::string&) { return ""; });
    int scan = 0;
    rig.onSleep = [&](uint32_t) { scan != 1 || rig.now - 1000000 < 3000 ? void() : rig.Release(2); }; // then it opens 3 s after it began
    for (; scan < 3; ++scan) {
        if (scan != 1) rig.Block(2);
        SerialPort port;
        EXPECT_TRUE(FindStation(port, 0) && port.portNumber == 3);
        ClosePort(port);
    }
    EXPECT_EQ(1000u + 2000u + DeadlineMs(Command::Bgv) + 5000u, rig.now - 1000000) << "COM2 silent once open";
    rig.Release(2);
    EXPECT_TRUE(rig.Settle()) << "the late handle is closed";
    EXPECT_EQ((std::vector<std::string>{kListed, "COM2 did not open within 1 s; skipped", kFound, kListed, "COM2 BGV -> ", kFound, kListed,
                                        "COM2 did not open within 5 s; skipped", kFound}),
              rig.Log());
}

TEST(DisconnectWorker, SendsBbIfItFindsTheStationAndReportsCancelledWithThePortFree) {
    const std::pair<const char*, std::function<void(Rig&)>> rows[] = {
        {"BB answered", [](Rig&) {}},
        {"BB silent", [](Rig& r) { r.station.replies["BB"] = {""}; }},
        {"no station", [](Rig& r) { r.Unplug(3); }},
        {"an unexpected error", [](Rig& r) { r.station.onCommand = [](const std::string& m, size_t) { if (m == "BB") throw std::runtime_error("noise"); }; }},
    };
    for (const auto& [name, script] : rows) {
        Rig rig;
        rig.Add(2, [](const std::string&) { return ""; });
        script(rig);
        App().preferredPort.store(3);
        App().operationBusy.store(true);
        rig.onPost = [](const std::wstring&) { EXPECT_FALSE(App().operationBusy.load()) << "the window may start a new monitor at once"; };
        DisconnectWorker();
        ExpectApproved(std::string("DisconnectWorker.") + name, rig.Transcript());
    }
}

// Workers on real threads, so that ThreadSanitizer sees them beside the test's, the window's, thread.
TEST(WorkerThreads, CountedUntilTheirProcedureEndsWhicheverWay) {
    static std::promise<void> release;
    StartDetachedWorker([] { release.get_future().wait(); });
    EXPECT_EQ(1, App().runningWorkers.load());
    EXPECT_FALSE(WaitForWorkers(30));
    release.set_value();
    EXPECT_TRUE(WaitForWorkers(20000));
    Rig rig;
    StartDetachedWorker([] { throw std::runtime_error("worker broke"); });
    EXPECT_TRUE(WaitForWorkers(20000));
    EXPECT_EQ(std::vector<std::string>{"Worker stopped by an error: worker broke"}, rig.Log());
    EXPECT_TRUE(WaitForWorkers(0));
#ifndef _WIN32
    // A thread the system cannot create is not counted, or shutdown would wait for it: here it
    // cannot map a default stack larger than the address space.
    pthread_attr_t usual, huge;
    pthread_getattr_default_np(&usual);
    pthread_attr_init(&huge);
    pthread_attr_setstacksize(&huge, size_t{1} << 47);
    pthread_setattr_default_np(&huge);
    EXPECT_THROW(StartDetachedWorker([] {}), std::system_error);
    pthread_setattr_default_np(&usual);
    EXPECT_EQ(0, App().runningWorkers.load());
#endif
}

TEST(WorkerThreads, AMonitorStartsOnItsOwnThreadOnlyWhileNoOperationRuns) {
    for (void (*start)() : {StartInstrumentMonitor, StartNextInstrumentMonitor}) {
        Rig rig;
        rig.station.replies["BIC"] = {"1\r\n", "0\r\n", "1\r\n"}; // the next-instrument monitor sees it lifted
        App().operationBusy.store(true);
        start();
        EXPECT_EQ(0, App().runningWorkers.load());
        App().operationBusy.store(false);
        start();
        ASSERT_TRUE(WaitForWorkers(20000));
        EXPECT_EQ(start == StartInstrumentMonitor ? 3u : 7u, rig.Posts().size());
    }
}

TEST(WorkerThreads, AnUpdateOnItsOwnThreadTakesTheWindowsCancel) {
    Update u;
    std::promise<void> atDusumm, goOn;
    u.station.onCommand = [&](const std::string& m, size_t) {
        if (m != "DUSUMM") return;
        atDusumm.set_value();
        goOn.get_future().wait();
    };
    StartDetachedWorker(UpdateWorker);
    atDusumm.get_future().wait();
    if (App().cancelAllowed.load()) App().cancelRequested.exchange(true); // the window's cancel click
    goOn.set_value();
    ASSERT_TRUE(WaitForWorkers(20000));
    EXPECT_EQ(L"done 2: Обновление отменено. Основная прошивка прибора не изменена.", u.Posts().back());
    EXPECT_EQ("BGV GB DUSTART DUSIZE DUSUMM BB", u.Sent());
}

} // namespace
