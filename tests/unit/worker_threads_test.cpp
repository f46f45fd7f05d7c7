// Workers on real threads, so ThreadSanitizer sees the window thread and a worker side by side.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/app_state.h"
#include "core/notifications.h"
#include "tests/support/station_script.h"
#include "tests/support/workflow_rig.h"
#include "workflows/workflows.h"

namespace {

constexpr uint32_t kPatienceMs = 20000; // generous: the machine may be busy

// Holds a worker at one point until the test thread lets it go.
class Gate {
public:
    void Arrive() {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    bool WaitForArrival() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(kPatienceMs), [this] { return arrived_; });
    }
    void Open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool arrived_ = false;
    bool open_ = false;
};

std::atomic<bool> releaseWorker{false};
std::atomic<bool> workerRan{false};

void WaitingProcedure() {
    while (!releaseWorker.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    workerRan.store(true);
}

void ThrowingProcedure() { throw std::runtime_error("worker broke"); }

TEST(StartDetachedWorker, CountsTheWorkerUntilItsProcedureReturns) {
    releaseWorker.store(false);
    workerRan.store(false);
    StartDetachedWorker(WaitingProcedure);
    EXPECT_EQ(1, App().runningWorkers.load());
    EXPECT_FALSE(WaitForWorkers(30)) << "still running";
    releaseWorker.store(true);
    EXPECT_TRUE(WaitForWorkers(kPatienceMs));
    EXPECT_TRUE(workerRan.load());
    EXPECT_EQ(0, App().runningWorkers.load());
}

TEST(StartDetachedWorker, AnErrorEscapingTheProcedureEndsOnlyTheWorker) {
    LogCapture log;
    StartDetachedWorker(ThrowingProcedure);
    ASSERT_TRUE(WaitForWorkers(kPatienceMs));
    EXPECT_EQ(std::vector<std::string>{"Worker stopped by an error: worker broke"}, log.Messages());
}

TEST(WaitForWorkers, ReturnsAtOnceWhenNoneRuns) { EXPECT_TRUE(WaitForWorkers(0)); }

TEST(StartInstrumentMonitor, StartsNothingWhileAnOperationIsBusy) {
    WorkflowRig rig;
    rig.serial.AddDevice(4, StationScript().AsResponder());
    App().operationBusy.store(true);
    StartInstrumentMonitor();
    EXPECT_EQ(0, App().runningWorkers.load());
    EXPECT_TRUE(WaitForWorkers(0));
    EXPECT_EQ(0u, rig.serial.OpenCount(4));
}

TEST(StartInstrumentMonitor, ChecksTheInstrumentOnItsOwnThread) {
    WorkflowRig rig;
    StationScript station;
    station.Queue("BIC", Line("0"));
    station.Set("GB", Line("4.02"));
    rig.serial.AddDevice(4, station.AsResponder());
    StartInstrumentMonitor();
    ASSERT_TRUE(WaitForWorkers(kPatienceMs));
    EXPECT_EQ(1u, rig.posts.Count(MSG_INSTRUMENT_CHECKED));
    // What the window reads after MSG_INSTRUMENT_CHECKED, without the lock.
    EXPECT_TRUE(App().instrumentReady);
    EXPECT_DOUBLE_EQ(4.02, App().batteryVoltage);
    EXPECT_EQ(4, App().preferredPort.load());
}

TEST(UpdateWorkerThread, ACancelClickedDuringTheAnnouncementStopsBeforeBlockOne) {
    WorkflowRig rig;
    StationScript station;
    Gate atDusumm;
    rig.serial.AddDevice(3, [&](const std::string& command) {
        if (Mnemonic(command) == "DUSUMM") atDusumm.Arrive();
        return station.Answer(command);
    });
    App().firmware = TestImage(3, "1.2.3");
    App().operationBusy.store(true);
    StartDetachedWorker(UpdateWorker);
    ASSERT_TRUE(atDusumm.WaitForArrival());
    // The window thread's cancel click: allowed while the update says so.
    if (App().cancelAllowed.load()) App().cancelRequested.exchange(true);
    atDusumm.Open();
    ASSERT_TRUE(WaitForWorkers(kPatienceMs));
    const std::vector<Notification> done = rig.posts.OfCode(MSG_OPERATION_DONE);
    ASSERT_EQ(1u, done.size());
    EXPECT_EQ(Cancelled, done[0].wParam);
    EXPECT_EQ((std::vector<std::string>{"BGV", "GB", "DUSTART", "DUSIZE", "DUSUMM", "BB"}), rig.serial.Mnemonics(3));
}

TEST(UpdateWorkerThread, ACancelClickedTooLateIsNotAllowed) {
    WorkflowRig rig;
    StationScript station;
    Gate atLastBlock;
    int blocks = 0; // worker thread only
    rig.serial.AddDevice(3, [&](const std::string& command) {
        if (Mnemonic(command) == "DUB" && ++blocks == 2) atLastBlock.Arrive();
        return station.Answer(command);
    });
    App().firmware = TestImage(2, "1.2.3");
    StartDetachedWorker(UpdateWorker);
    ASSERT_TRUE(atLastBlock.WaitForArrival());
    const bool allowed = App().cancelAllowed.load();
    atLastBlock.Open();
    ASSERT_TRUE(WaitForWorkers(kPatienceMs));
    EXPECT_FALSE(allowed) << "the window's cancel button has no effect once the last block is on its way";
    EXPECT_EQ(Succeeded, rig.posts.OfCode(MSG_OPERATION_DONE).at(0).wParam);
}

TEST(DisconnectWorkerThread, FindsNoStationWhileTheMonitorHoldsItsPort) {
    WorkflowRig rig;
    StationScript station;
    Gate monitorAtBic;
    rig.serial.AddDevice(4, [&](const std::string& command) {
        if (Mnemonic(command) == "BIC") monitorAtBic.Arrive();
        return station.Answer(command);
    });
    StartInstrumentMonitor();
    ASSERT_TRUE(monitorAtBic.WaitForArrival());
    App().operationBusy.store(true);
    StartDetachedWorker(DisconnectWorker);
    // The disconnect's scan finds COM4 held and ends without a BB; only then the monitor goes on.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
    while (rig.posts.Count(MSG_OPERATION_DONE) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const size_t endedWhileHeld = rig.posts.Count(MSG_OPERATION_DONE);
    monitorAtBic.Open();
    ASSERT_TRUE(WaitForWorkers(kPatienceMs));
    EXPECT_EQ(1u, endedWhileHeld);
    EXPECT_EQ(1u, rig.posts.Count(MSG_OPERATION_DONE));
    EXPECT_EQ((std::vector<std::string>{"BGV", "BIC", "GV", "GB"}), rig.serial.Mnemonics(4)) << "no BB from the disconnect";
    EXPECT_EQ(0u, rig.log.MessagesStartingWith("BB").size());
}

} // namespace
