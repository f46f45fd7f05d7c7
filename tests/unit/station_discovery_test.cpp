#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "tests/support/workflow_rig.h"
#include "workflows/workflows.h"

namespace {

const Reply kStationReply = Line("ZDS-2 1.0");

struct DiscoveryCase {
    const char* name;
    std::function<void(ScriptedSerial&)> ports;
    int preferred;
    bool found;
    int foundPort;
    std::vector<std::string> log;
    std::vector<int> probed; // ports that received BGV, in order
};

TEST(FindStation, ScansThePortsWithBgvAndKeepsTheFirstThatAnswers) {
    const DiscoveryCase cases[] = {
        {"station on the third port",
         [](ScriptedSerial& s) {
             s.AddSilentPort(1);
             s.AddSilentPort(3);
             s.AddDevice(7, ReplyTable({{"BGV", kStationReply}}));
         },
         0, true, 7,
         {"Available COM ports: COM1 COM3 COM7", "COM1 BGV -> ", "COM3 BGV -> ", "COM7 BGV -> ZDS-2 1.0"},
         {1, 3, 7}},
        {"preferred port asked first",
         [](ScriptedSerial& s) {
             s.AddSilentPort(1);
             s.AddSilentPort(3);
             s.AddDevice(7, ReplyTable({{"BGV", kStationReply}}));
         },
         7, true, 7, {"Available COM ports: COM7 COM1 COM3", "COM7 BGV -> ZDS-2 1.0"}, {7}},
        {"ERROR is rejected, the next port tried",
         [](ScriptedSerial& s) {
             s.AddDevice(2, ReplyTable({{"BGV", Line("ERROR")}}));
             s.AddDevice(4, ReplyTable({{"BGV", kStationReply}}));
         },
         0, true, 4, {"Available COM ports: COM2 COM4", "COM2 BGV -> ERROR", "COM4 BGV -> ZDS-2 1.0"}, {2, 4}},
        {"carriage return and line feed only is rejected",
         [](ScriptedSerial& s) { s.AddDevice(2, ReplyTable({{"BGV", Line("")}})); },
         0, false, 0, {"Available COM ports: COM2", "COM2 BGV -> "}, {2}},
        {"white space only is rejected",
         [](ScriptedSerial& s) { s.AddDevice(2, ReplyTable({{"BGV", Bare(" \t ")}})); },
         0, false, 0, {"Available COM ports: COM2", "COM2 BGV -> "}, {2}},
        {"a partial reply at the deadline counts",
         [](ScriptedSerial& s) { s.AddDevice(2, ReplyTable({{"BGV", Bare("V1.2")}})); },
         0, true, 2, {"Available COM ports: COM2", "COM2 BGV -> V1.2"}, {2}},
        {"held and refusing ports are skipped without a line",
         [](ScriptedSerial& s) {
             s.AddHeldPort(1);
             s.AddRefusingPort(2);
             s.AddDevice(3, ReplyTable({{"BGV", kStationReply}}));
         },
         0, true, 3, {"Available COM ports: COM1 COM2 COM3", "COM3 BGV -> ZDS-2 1.0"}, {3}},
        {"FAIL in any case is rejected",
         [](ScriptedSerial& s) { s.AddDevice(5, ReplyTable({{"BGV", Line("boot fail")}})); },
         0, false, 0, {"Available COM ports: COM5", "COM5 BGV -> boot fail"}, {5}},
        {"no ports", [](ScriptedSerial&) {}, 0, false, 0, {"Available COM ports: none"}, {}},
        {"listing fails",
         [](ScriptedSerial& s) {
             s.AddDevice(3, ReplyTable({{"BGV", kStationReply}}));
             s.FailListing(5);
         },
         3, false, 0, {"COM port enumeration failed: Windows error 5", "Available COM ports: none"}, {}},
    };
    for (const DiscoveryCase& c : cases) {
        SCOPED_TRACE(c.name);
        WorkflowRig rig;
        c.ports(rig.serial);
        SerialPort port;
        EXPECT_EQ(c.found, FindStation(port, c.preferred));
        EXPECT_EQ(c.found, IsPortOpen(port));
        EXPECT_EQ(c.foundPort, port.portNumber);
        EXPECT_EQ(c.log, rig.log.Messages());
        std::vector<int> probed;
        for (const ScriptedSerial::Written& write : rig.serial.AllWrites()) {
            EXPECT_EQ("BGV\n", write.command);
            probed.push_back(write.port);
        }
        EXPECT_EQ(c.probed, probed);
        EXPECT_EQ(c.found ? 1u : 0u, rig.serial.OpenHandles()) << "rejected ports are closed";
        ClosePort(port);
    }
}

TEST(FindStation, ASilentPortCostsItsBgvDeadlineAndAtMostOneReadMore) {
    WorkflowRig rig;
    rig.serial.AddSilentPort(1);
    rig.serial.AddDevice(2, ReplyTable({{"BGV", kStationReply}}));
    SerialPort port;
    ASSERT_TRUE(FindStation(port, 0));
    const std::vector<ScriptedSerial::Written> writes = rig.serial.AllWrites();
    ASSERT_EQ(2u, writes.size());
    EXPECT_LE(writes[0].at + 700, writes[1].at);
    EXPECT_GE(writes[0].at + 700 + 306 + 20, writes[1].at);
    ClosePort(port);
}

TEST(FindStation, OpensNothingOnceTheProgramIsClosing) {
    WorkflowRig rig;
    rig.serial.AddDevice(3, ReplyTable({{"BGV", kStationReply}}));
    App().appClosing.store(true);
    SerialPort port;
    EXPECT_FALSE(FindStation(port, 3));
    EXPECT_FALSE(IsPortOpen(port));
    EXPECT_EQ(std::vector<std::string>{"Available COM ports: COM3"}, rig.log.Messages());
    EXPECT_EQ(0u, rig.serial.OpenCount(3));
}

TEST(FindStation, ClosingDuringTheScanEndsItAtTheNextPort) {
    WorkflowRig rig;
    rig.serial.AddDevice(1, [](const std::string&) {
        App().appClosing.store(true); // the window is destroyed while COM1 is asked
        return Silence();
    });
    rig.serial.AddDevice(2, ReplyTable({{"BGV", kStationReply}}));
    SerialPort port;
    EXPECT_FALSE(FindStation(port, 0));
    EXPECT_EQ((std::vector<std::string>{"Available COM ports: COM1 COM2", "COM1 BGV -> "}), rig.log.Messages());
    EXPECT_EQ(0u, rig.serial.OpenCount(2));
}

TEST(FindStation, APortHeldByAnotherWorkerIsSkipped) {
    WorkflowRig rig;
    rig.serial.AddDevice(3, ReplyTable({{"BGV", kStationReply}}));
    SerialPort other;
    ASSERT_TRUE(OpenPort(other, 3));
    SerialPort port;
    EXPECT_FALSE(FindStation(port, 3));
    EXPECT_EQ(std::vector<std::string>{"Available COM ports: COM3"}, rig.log.Messages());
    ClosePort(other);
}

} // namespace
