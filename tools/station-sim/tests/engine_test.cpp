#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "tools/station-sim/sim_engine.h"

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

const char* const kNone = "(none)";

// A deterministic image of whole blocks.
std::vector<uint8_t> TestImage(size_t blocks) {
    std::vector<uint8_t> image(blocks * FirmwareBlockSize);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);
    return image;
}

std::string Dub(const std::vector<uint8_t>& image, size_t index) {
    static const char* digits = "0123456789abcdef";
    std::string line = "DUB";
    for (size_t i = 0; i < FirmwareBlockSize; ++i) {
        const uint8_t byte = image[index * FirmwareBlockSize + i];
        line += digits[byte >> 4];
        line += digits[byte & 15];
    }
    return line;
}

uint32_t CrcOf(const std::vector<uint8_t>& image) { return Crc32(image.data(), image.size()); }

struct Station {
    explicit Station(StationSettings settings = {}) : sim(MakeStation(settings)) {}

    // The bytes that go back on the wire, or kNone.
    std::string Send(const std::string& line) {
        last = HandleCommand(sim, line, nowMs);
        return last.reply.answered ? last.reply.bytes : kNone;
    }
    // DUSTART, DUSIZE and DUSUMM for `image`; true when all three were accepted.
    bool Announce(const std::vector<uint8_t>& image, uint32_t crc) {
        return Send("DUSTART") == "OK\r\n" && Send("DUSIZE" + std::to_string(image.size() / FirmwareBlockSize)) == "OK\r\n" &&
               Send("DUSUMM" + std::to_string(crc)) == "OK\r\n";
    }
    // Announces and sends every block; returns the replies, one per block.
    std::vector<std::string> Transfer(const std::vector<uint8_t>& image) {
        std::vector<std::string> replies;
        if (!Announce(image, CrcOf(image))) return replies;
        for (size_t i = 0; i < image.size() / FirmwareBlockSize; ++i) replies.push_back(Send(Dub(image, i)));
        return replies;
    }
    bool HasError(const std::string& text) const {
        return std::any_of(last.events.begin(), last.events.end(),
                           [&](const std::string& e) { return e.rfind("error ", 0) == 0 && e.find(text) != std::string::npos; });
    }

    SimStation sim;
    Exchange last;
    uint64_t nowMs = 1000;
};

TEST(StationAnswers, DefaultReplies) {
    const struct {
        const char* command;
        const char* reply;
    } cases[] = {
        {"BGV", "ZARVEL DS-4 v3.1\r\n"}, {"BIC", "1\r\n"},      {"GV", "1.0.0\r\n"},    {"GB", "3950 mV\r\n"},
        {"BB", "OK\r\n"},                {"DUSTART", "OK\r\n"}, {"DRST", "OK\r\n"},     {"BGV\r", "ZARVEL DS-4 v3.1\r\n"},
        {"FOO", "ERROR\r\n"},            {"bgv", "ERROR\r\n"},  {"BGV ", "ERROR\r\n"},  {"", "ERROR\r\n"},
        {"GVX", "ERROR\r\n"},            {"DUSTARTX", "ERROR\r\n"},
    };
    for (const auto& c : cases) {
        Station station;
        EXPECT_EQ(c.reply, station.Send(c.command)) << c.command;
    }
}

TEST(StationAnswers, SettingsShapeTheReplies) {
    StationSettings settings;
    settings.identification = "DS-9";
    settings.version = "V2.1";
    settings.batteryMv = 3850;
    Station station(settings);
    EXPECT_EQ("DS-9\r\n", station.Send("BGV"));
    EXPECT_EQ("V2.1\r\n", station.Send("GV"));
    EXPECT_EQ("3850 mV\r\n", station.Send("GB"));
}

TEST(StationAnswers, UnknownAndOverlongLinesAreReportedAsErrors) {
    Station station;
    EXPECT_EQ("ERROR\r\n", station.Send("HELLO"));
    EXPECT_TRUE(station.HasError("unknown command 'HELLO'"));
    EXPECT_EQ("ERROR\r\n", station.Send("DUB" + std::string(kMaxCommandLength, 'a')));
    EXPECT_TRUE(station.HasError("line longer than 1024 bytes"));
}

// Only the station itself answers while the instrument is off it; the rest goes unanswered.
TEST(InstrumentAbsent, OnlyTheStationAnswers) {
    StationSettings settings;
    settings.instrumentOnStation = false;
    const struct {
        const char* command;
        const char* reply;
    } cases[] = {
        {"BGV", "ZARVEL DS-4 v3.1\r\n"}, {"BIC", "0\r\n"}, {"BB", "OK\r\n"}, {"GV", kNone},     {"GB", kNone},
        {"DUSTART", kNone},              {"DUSIZE1", kNone}, {"DUSUMM0", kNone}, {"DUB00", kNone}, {"DRST", kNone},
    };
    for (const auto& c : cases) {
        Station station(settings);
        EXPECT_EQ(c.reply, station.Send(c.command)) << c.command;
    }
    Station station(settings);
    station.Send("GV");
    EXPECT_THAT(station.last.events, Contains("gv unanswered: no instrument"));
    EXPECT_EQ("(no answer: no instrument)", station.last.shownReply);
}

TEST(Update, GoodImageIsAcceptedBlockByBlock) {
    Station station;
    const auto image = TestImage(3);
    EXPECT_EQ((std::vector<std::string>{"NEXT\r\n", "NEXT\r\n", "OK\r\n"}), station.Transfer(image));
    EXPECT_TRUE(station.last.imageComplete);
    EXPECT_THAT(station.last.events, Contains("block 3/3"));
    EXPECT_THAT(station.last.events, Contains("image-ok blocks=3 crc=" + std::to_string(CrcOf(image))));
    EXPECT_EQ(image, station.sim.update.image);
    EXPECT_EQ(UpdatePhase::Complete, station.sim.update.phase);
}

TEST(Update, OneBlockImageGetsOkForItsOnlyBlock) {
    Station station;
    EXPECT_EQ((std::vector<std::string>{"OK\r\n"}), station.Transfer(TestImage(1)));
}

TEST(Update, DusummTakesTheWholeUnsignedRange) {
    for (const char* crc : {"0", "4294967295"}) {
        Station station;
        station.Send("DUSTART");
        EXPECT_EQ("OK\r\n", station.Send(std::string("DUSUMM") + crc)) << crc;
    }
}

TEST(Validation, BadParametersAreRefused) {
    const struct {
        const char* command;
        const char* reply;
        const char* error;
    } cases[] = {
        {"DUSIZE0", "ERROR bad block count\r\n", "DUSIZE argument '0'"},
        {"DUSIZE07", "ERROR bad block count\r\n", "'07'"},
        {"DUSIZE-1", "ERROR bad block count\r\n", "'-1'"},
        {"DUSIZE", "ERROR bad block count\r\n", "''"},
        {"DUSIZE 5", "ERROR bad block count\r\n", "' 5'"},
        {"DUSIZE4294967296", "ERROR bad block count\r\n", "'4294967296'"},
        {"DUSUMM4294967296", "ERROR bad checksum\r\n", "'4294967296'"},
        {"DUSUMM-1", "ERROR bad checksum\r\n", "'-1'"},
        {"DUSUMMcbf43926", "ERROR bad checksum\r\n", "'cbf43926'"},
    };
    for (const auto& c : cases) {
        Station station;
        station.Send("DUSTART");
        EXPECT_EQ(c.reply, station.Send(c.command)) << c.command;
        EXPECT_TRUE(station.HasError(c.error)) << c.command;
    }
}

TEST(Validation, CommandsOutOfOrderAreRefused) {
    const auto image = TestImage(2);
    Station station;
    EXPECT_EQ("ERROR not in update mode\r\n", station.Send("DUSIZE2"));
    EXPECT_TRUE(station.HasError("DUSIZE before DUSTART"));
    EXPECT_EQ("FAIL not in update mode\r\n", station.Send(Dub(image, 0)));
    station.Send("DUSTART");
    station.Send("DUSIZE2");
    EXPECT_EQ("FAIL no size or checksum\r\n", station.Send(Dub(image, 0)));
    EXPECT_TRUE(station.HasError("block before DUSIZE and DUSUMM"));

    ASSERT_TRUE(station.Announce(image, CrcOf(image)));
    EXPECT_EQ("NEXT\r\n", station.Send(Dub(image, 0)));
    EXPECT_EQ("ERROR transfer in progress\r\n", station.Send("DUSIZE2"));
    EXPECT_EQ("FAIL update aborted\r\n", station.Send(Dub(image, 1)));
}

TEST(Validation, MalformedBlocksFailTheTransfer) {
    const auto image = TestImage(2);
    const std::string good = Dub(image, 0);
    std::string upper = good;
    std::transform(upper.begin() + 3, upper.end(), upper.begin() + 3, [](char c) { return c >= 'a' && c <= 'f' ? c - 32 : c; });
    std::string withG = good;
    withG[10] = 'g';
    std::string withSpace = good;
    withSpace[3] = ' ';
    const struct {
        std::string line;
        const char* error;
    } cases[] = {
        {good.substr(0, good.size() - 1), "block 1/2: 239 payload characters, expected 240"},
        {good + "0", "block 1/2: 241 payload characters, expected 240"},
        {"DUB", "block 1/2: 0 payload characters"},
        {upper, "payload character 4 is 'A', not a lower-case hex digit"},
        {withG, "payload character 8 is 'g'"},
        {withSpace, "payload character 1 is ' '"},
    };
    for (const auto& c : cases) {
        Station station;
        ASSERT_TRUE(station.Announce(image, CrcOf(image)));
        EXPECT_EQ("FAIL bad block\r\n", station.Send(c.line)) << c.error;
        EXPECT_TRUE(station.HasError(c.error)) << c.error;
        // The instrument does not take the transfer up again.
        EXPECT_EQ("FAIL update aborted\r\n", station.Send(Dub(image, 1))) << c.error;
    }
}

TEST(Validation, MoreBlocksThanAnnouncedAreRefused) {
    const auto image = TestImage(2);
    Station station;
    const std::vector<uint8_t> first(image.begin(), image.begin() + FirmwareBlockSize);
    ASSERT_TRUE(station.Announce(first, CrcOf(first)));
    EXPECT_EQ("OK\r\n", station.Send(Dub(image, 0)));
    EXPECT_EQ("FAIL too many blocks\r\n", station.Send(Dub(image, 1)));
    EXPECT_TRUE(station.HasError("block 2/1 beyond the count announced by DUSIZE"));
}

TEST(Validation, ResetAfterTooFewBlocksIsRefused) {
    const auto image = TestImage(3);
    Station station;
    ASSERT_TRUE(station.Announce(image, CrcOf(image)));
    station.Send(Dub(image, 0));
    station.Send(Dub(image, 1));
    EXPECT_EQ("FAIL image incomplete\r\n", station.Send("DRST"));
    EXPECT_TRUE(station.HasError("DRST after 2/3 blocks"));
    EXPECT_EQ("1\r\n", station.Send("BIC")); // no restart
}

TEST(Validation, WrongChecksumFailsTheLastBlockAndTheReset) {
    const auto image = TestImage(2);
    Station station;
    ASSERT_TRUE(station.Announce(image, CrcOf(image) ^ 1));
    EXPECT_EQ("NEXT\r\n", station.Send(Dub(image, 0)));
    EXPECT_EQ("FAIL checksum mismatch\r\n", station.Send(Dub(image, 1)));
    EXPECT_TRUE(station.last.imageComplete); // saved for inspection all the same
    EXPECT_TRUE(station.HasError("image CRC-32 " + std::to_string(CrcOf(image)) + " differs from DUSUMM " +
                                 std::to_string(CrcOf(image) ^ 1)));
    EXPECT_EQ("FAIL image rejected\r\n", station.Send("DRST"));
    EXPECT_EQ("1.0.0\r\n", station.Send("GV"));
}

StationSettings RebootSettings(AfterReboot after) {
    StationSettings settings;
    settings.rebootMs = 3000;
    settings.newVersion = "1.1.0";
    settings.afterReboot = after;
    return settings;
}

TEST(Reboot, GoodImageComesBackWithTheNewVersion) {
    Station station(RebootSettings(AfterReboot::NewVersion));
    station.Transfer(TestImage(2));
    EXPECT_EQ("OK\r\n", station.Send("DRST"));
    EXPECT_THAT(station.last.events, Contains("rebooting 3000 ms"));
    EXPECT_EQ(std::optional<uint64_t>(4000), NextTimerMs(station.sim));
    station.nowMs = 3999;
    EXPECT_EQ("0\r\n", station.Send("BIC"));
    EXPECT_EQ(kNone, station.Send("GV"));
    EXPECT_EQ((std::vector<std::string>{"rebooted version=1.1.0"}), AdvanceTime(station.sim, 4000));
    EXPECT_EQ(std::nullopt, NextTimerMs(station.sim));
    EXPECT_EQ("1\r\n", station.Send("BIC"));
    EXPECT_EQ("1.1.0\r\n", station.Send("GV"));
}

TEST(Reboot, UnchangedModeKeepsTheOldVersion) {
    Station station(RebootSettings(AfterReboot::Unchanged));
    station.Transfer(TestImage(1));
    station.Send("DRST");
    station.nowMs = 5000;
    EXPECT_EQ("1.0.0\r\n", station.Send("GV"));
}

TEST(Reboot, AbsentModeNeverComesBack) {
    Station station(RebootSettings(AfterReboot::Absent));
    station.Transfer(TestImage(1));
    station.Send("DRST");
    EXPECT_EQ((std::vector<std::string>{"reboot-failed: the instrument stays silent"}), AdvanceTime(station.sim, 4000));
    LiftInstrument(station.sim);
    PlaceInstrument(station.sim);
    station.nowMs = 1000000;
    EXPECT_EQ("0\r\n", station.Send("BIC"));
    EXPECT_EQ(kNone, station.Send("GV"));
    EXPECT_EQ("ZARVEL DS-4 v3.1\r\n", station.Send("BGV"));
}

// The reset after refused parameters restarts into the old firmware, whatever the scenario.
TEST(Reboot, ResetWithoutBlocksKeepsTheOldFirmware) {
    Station station(RebootSettings(AfterReboot::NewVersion));
    station.Send("DUSTART");
    station.Send("DUSIZE0");
    EXPECT_EQ("OK\r\n", station.Send("DRST"));
    station.nowMs = 5000;
    EXPECT_EQ("1.0.0\r\n", station.Send("GV"));
}

TEST(Reboot, VersionSetByHandWinsOverThePendingOne) {
    Station station(RebootSettings(AfterReboot::NewVersion));
    station.Transfer(TestImage(1));
    station.Send("DRST");
    EXPECT_EQ((std::vector<std::string>{"version 7.7"}), SetVersion(station.sim, "7.7"));
    station.nowMs = 5000;
    EXPECT_EQ("7.7\r\n", station.Send("GV"));
}

TEST(UserActions, LiftAndPlaceMoveTheInstrument) {
    Station station;
    const auto image = TestImage(2);
    ASSERT_TRUE(station.Announce(image, CrcOf(image)));
    EXPECT_EQ((std::vector<std::string>{"lifted", "update-aborted"}), LiftInstrument(station.sim));
    EXPECT_EQ("0\r\n", station.Send("BIC"));
    EXPECT_EQ((std::vector<std::string>{"placed"}), PlaceInstrument(station.sim));
    EXPECT_EQ("1\r\n", station.Send("BIC"));
    EXPECT_EQ("FAIL not in update mode\r\n", station.Send(Dub(image, 0)));
}

TEST(UserActions, BbAndUnplugDropAnUnfinishedUpdate) {
    const auto image = TestImage(2);
    for (const bool unplug : {false, true}) {
        Station station;
        ASSERT_TRUE(station.Announce(image, CrcOf(image)));
        station.Send(Dub(image, 0));
        if (unplug) {
            EXPECT_EQ((std::vector<std::string>{"unplugged", "update-aborted"}), StationUnplugged(station.sim));
        } else {
            EXPECT_EQ("OK\r\n", station.Send("BB"));
            EXPECT_EQ((std::vector<std::string>{"bb", "update-aborted"}), station.last.events);
        }
        EXPECT_EQ("FAIL not in update mode\r\n", station.Send(Dub(image, 1)));
    }
}

TEST(UserActions, BatteryAndVersionCanBeChanged) {
    Station station;
    EXPECT_EQ((std::vector<std::string>{"battery 3700"}), SetBattery(station.sim, 3700));
    SetVersion(station.sim, "2.0.0");
    EXPECT_EQ("3700 mV\r\n", station.Send("GB"));
    EXPECT_EQ("2.0.0\r\n", station.Send("GV"));
    EXPECT_EQ("status instrument=present on-station=1 version=2.0.0 battery=3700 update=idle", DescribeStation(station.sim));
}

Fault MakeFault(FaultKind kind, const char* command, uint32_t ms = 0, const char* text = "", uint32_t occurrence = 0) {
    Fault fault;
    fault.kind = kind;
    fault.command = command;
    fault.ms = ms;
    fault.text = text;
    fault.occurrence = occurrence;
    return fault;
}

TEST(Faults, EachFaultShapesTheReply) {
    const std::string garbage("\x00\xff\x13\xfe\x80\x1b[\x7f\xaa\x55\x00\x91\xe4\x02\xfd\x9c\r\n", 18);
    const struct {
        Fault fault;
        bool answered;
        std::string bytes;
        uint32_t delayMs;
        uint32_t splitMs;
        bool unplug;
        const char* shown;
    } cases[] = {
        {MakeFault(FaultKind::Reply, "GV", 0, "ERR"), true, "ERR\r\n", 0, 0, false, "ERR"},
        {MakeFault(FaultKind::Reply, "GV", 0, ""), true, "\r\n", 0, 0, false, ""},
        {MakeFault(FaultKind::Silent, "GV"), false, "", 0, 0, false, "(silent)"},
        {MakeFault(FaultKind::NoLineEnd, "GV"), true, "1.0.0", 0, 0, false, "1.0.0 [no line end]"},
        {MakeFault(FaultKind::Split, "GV", 50), true, "1.0.0\r\n", 0, 50, false, "1.0.0 [split, 50 ms pause]"},
        {MakeFault(FaultKind::Garbage, "GV"), true, garbage, 0, 0, false, "\\x00\\xff\\x13\\xfe\\x80\\x1b[\\x7f\\xaaU\\x00\\x91\\xe4\\x02\\xfd\\x9c"},
        {MakeFault(FaultKind::Delay, "GV", 700), true, "1.0.0\r\n", 700, 0, false, "1.0.0 [after 700 ms]"},
        {MakeFault(FaultKind::Unplug, "GV"), false, "", 0, 0, true, "(unplugged)"},
        {MakeFault(FaultKind::Silent, "GB"), true, "1.0.0\r\n", 0, 0, false, "1.0.0"},
    };
    for (const auto& c : cases) {
        StationSettings settings;
        settings.faults = {c.fault};
        Station station(settings);
        station.Send("GV");
        const ReplyPlan& plan = station.last.reply;
        EXPECT_EQ(c.answered, plan.answered) << c.shown;
        EXPECT_EQ(c.bytes, plan.bytes) << c.shown;
        EXPECT_EQ(c.delayMs, plan.delayMs) << c.shown;
        EXPECT_EQ(c.splitMs, plan.splitMs) << c.shown;
        EXPECT_EQ(c.unplug, plan.unplug) << c.shown;
        EXPECT_EQ(c.shown, station.last.shownReply);
    }
}

TEST(Faults, CombineAndCountOccurrences) {
    StationSettings settings;
    settings.faults = {MakeFault(FaultKind::Reply, "GV", 0, "V9", 2), MakeFault(FaultKind::NoLineEnd, "GV", 0, "", 2),
                       MakeFault(FaultKind::Delay, "GV", 100), MakeFault(FaultKind::Delay, "GV", 20)};
    Station station(settings);
    EXPECT_EQ("1.0.0\r\n", station.Send("GV"));
    EXPECT_EQ(120u, station.last.reply.delayMs);
    station.Send("GB"); // other commands do not count
    EXPECT_EQ("V9", station.Send("GV"));
    EXPECT_EQ("1.0.0\r\n", station.Send("GV"));
}

// Faults shape the reply only: the command takes effect as usual.
TEST(Faults, CommandStillTakesEffect) {
    StationSettings settings;
    settings.faults = {MakeFault(FaultKind::Reply, "DUSTART", 0, "ERR"), MakeFault(FaultKind::Silent, "DUSIZE")};
    Station station(settings);
    EXPECT_EQ("ERR\r\n", station.Send("DUSTART"));
    EXPECT_EQ(kNone, station.Send("DUSIZE1"));
    EXPECT_EQ("OK\r\n", station.Send("DUSUMM0"));
    EXPECT_EQ(1u, station.sim.update.blockCount.value_or(0));
}

TEST(Faults, NobodyAnswersForAMissingInstrumentButTheCableCanStillBePulled) {
    StationSettings settings;
    settings.instrumentOnStation = false;
    settings.faults = {MakeFault(FaultKind::Reply, "GV", 0, "1.0.0"), MakeFault(FaultKind::Unplug, "GB")};
    Station station(settings);
    EXPECT_EQ(kNone, station.Send("GV"));
    EXPECT_FALSE(station.last.reply.unplug);
    station.Send("GB");
    EXPECT_TRUE(station.last.reply.unplug);
}

TEST(Faults, RefusedBlockIsRefusedOnce) {
    StationSettings settings;
    settings.refusedBlocks = {2};
    Station station(settings);
    const auto image = TestImage(3);
    EXPECT_EQ((std::vector<std::string>{"NEXT\r\n", "FAIL block 2 refused\r\n", "FAIL update aborted\r\n"}),
              station.Transfer(image));
    EXPECT_EQ((std::vector<std::string>{"NEXT\r\n", "NEXT\r\n", "OK\r\n"}), station.Transfer(image));
}

TEST(Faults, UnplugAtBlockPullsTheCableOnce) {
    StationSettings settings;
    settings.unplugAtBlock = 2;
    Station station(settings);
    const auto image = TestImage(3);
    ASSERT_TRUE(station.Announce(image, CrcOf(image)));
    EXPECT_EQ("NEXT\r\n", station.Send(Dub(image, 0)));
    EXPECT_EQ(kNone, station.Send(Dub(image, 1)));
    EXPECT_TRUE(station.last.reply.unplug);
    EXPECT_THAT(station.last.events, Contains("unplug at block 2/3"));
    StationUnplugged(station.sim);
    EXPECT_EQ((std::vector<std::string>{"NEXT\r\n", "NEXT\r\n", "OK\r\n"}), station.Transfer(image));
}

TEST(Transcript, CommandsAreShownSafelyAndShort) {
    const auto image = TestImage(7);
    Station station;
    ASSERT_TRUE(station.Announce(image, CrcOf(image)));
    station.Send(Dub(image, 0));
    station.Send(Dub(image, 1));
    station.Send(Dub(image, 2));
    EXPECT_EQ(Dub(image, 2).substr(0, 19) + "..." + Dub(image, 2).substr(235) + " [243 chars] (block 3/7)",
              station.last.shownCommand);
    station.Send("BGV\r");
    EXPECT_EQ("BGV\\r", station.last.shownCommand);
    station.Send(std::string("B\x01\xff", 3));
    EXPECT_EQ("B\\x01\\xff", station.last.shownCommand);
}

} // namespace
