#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/notifications.h"
#include "tests/support/station_script.h"
#include "tests/support/workflow_rig.h"
#include "workflows/workflows.h"

namespace {

const std::wstring kDisconnected = L"done 2: Обновление отменено. Прибор отключён от дата-станции.";

struct DisconnectCase {
    const char* name;
    bool station;
    Reply bbReply;
    std::vector<std::string> log;
    std::vector<std::string> commands;
};

TEST(DisconnectWorker, SendsBbWhenItFindsTheStationAndAlwaysReportsCancelled) {
    const DisconnectCase cases[] = {
        {"station on the preferred port", true, Line("OK"),
         {"Available COM ports: COM4 COM2", "COM4 BGV -> ZDS-2 1.0", "BB (cancel/disconnect) -> OK"}, {"BGV\n", "BB\n"}},
        {"BB unanswered", true, Silence(),
         {"Available COM ports: COM4 COM2", "COM4 BGV -> ZDS-2 1.0", "BB (cancel/disconnect) -> "}, {"BGV\n", "BB\n"}},
        {"BB refused", true, Line("ERROR"),
         {"Available COM ports: COM4 COM2", "COM4 BGV -> ZDS-2 1.0", "BB (cancel/disconnect) -> ERROR"}, {"BGV\n", "BB\n"}},
        {"station unplugged", false, Line("OK"), {"Available COM ports: COM2", "COM2 BGV -> "}, {}},
    };
    for (const DisconnectCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkflowRig rig;
        rig.serial.AddSilentPort(2);
        if (c.station) rig.serial.AddDevice(4, ReplyTable({{"BGV", Line("ZDS-2 1.0")}, {"BB", c.bbReply}}));
        App().preferredPort.store(4);
        App().operationBusy.store(true);
        bool busyWhilePosting = true;
        size_t openWhilePosting = 1;
        rig.posts.SetObserver([&](const Notification&) {
            busyWhilePosting = App().operationBusy.load();
            openWhilePosting = rig.serial.OpenHandles();
        });
        DisconnectWorker();
        EXPECT_EQ((std::vector<std::wstring>{L"progress 0 mark 0", kDisconnected}), rig.posts.Descriptions());
        EXPECT_EQ(c.log, rig.log.Messages());
        EXPECT_EQ(c.commands, rig.serial.Commands(4));
        EXPECT_FALSE(busyWhilePosting) << "operationBusy is cleared before the posts";
        EXPECT_EQ(0u, openWhilePosting) << "the port is free before the window starts a new monitor";
        EXPECT_EQ(0u, rig.serial.OpenHandles());
    }
}

// The window stays busy until it hears Cancelled: an error, even one with no memory left for the
// ending's text, must not keep it from going out, nor leave the port held.
TEST(DisconnectWorker, AnErrorStillFreesThePortAndReportsCancelled) {
    WorkflowRig rig;
    rig.serial.AddDevice(4, [](const std::string& command) {
        if (Mnemonic(command) == "BB") throw std::runtime_error("line noise");
        return Line("ZDS-2 1.0");
    });
    App().operationBusy.store(true);
    bool textRefused = false;
    rig.posts.SetObserver([&](const Notification& n) {
        if (n.code != MSG_OPERATION_DONE || n.lParam == 0 || textRefused) return;
        textRefused = true;
        throw std::bad_alloc();
    });
    DisconnectWorker();
    EXPECT_EQ((std::vector<std::wstring>{L"progress 0 mark 0", L"done 2: "}), rig.posts.Descriptions());
    EXPECT_EQ("Disconnect stopped by an internal error: line noise", rig.log.Messages().back());
    EXPECT_FALSE(App().operationBusy.load());
}

} // namespace
