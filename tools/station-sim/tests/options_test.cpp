#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/station-sim/sim_options.h"

namespace {

ParsedOptions Parse(const std::vector<std::string>& args) { return ParseOptions(args); }

TEST(Options, DefaultsPlayAHealthyStation) {
    const ParsedOptions parsed = Parse({});
    ASSERT_EQ(ParseOutcome::Run, parsed.outcome);
    const StationSettings& station = parsed.options.station;
    EXPECT_EQ("ZARVEL DS-4 v3.1", station.identification);
    EXPECT_EQ("1.0.0", station.version);
    EXPECT_EQ(3950u, station.batteryMv);
    EXPECT_TRUE(station.instrumentOnStation);
    EXPECT_EQ(3000u, station.rebootMs);
    EXPECT_EQ(AfterReboot::Unchanged, station.afterReboot);
    EXPECT_TRUE(station.faults.empty());
    EXPECT_FALSE(parsed.options.lineRate);
}

TEST(Options, ScenarioAndFilesAreTaken) {
    const ParsedOptions parsed =
        Parse({"--ident", "DS X", "--instrument-version=0.9", "--battery", "3890", "--absent", "--reboot-ms", "0",
               "--new-version", "1.2.3", "--refuse-block", "4", "--refuse-block=9", "--unplug-at-block", "3", "--line-rate",
               "--link", "/tmp/com5", "--control", "/tmp/ctl", "--transcript", "/tmp/t.txt", "--save-image", "/tmp/i.bin"});
    ASSERT_EQ(ParseOutcome::Run, parsed.outcome) << parsed.error;
    const SimOptions& options = parsed.options;
    EXPECT_EQ("DS X", options.station.identification);
    EXPECT_EQ("0.9", options.station.version);
    EXPECT_EQ(3890u, options.station.batteryMv);
    EXPECT_FALSE(options.station.instrumentOnStation);
    EXPECT_EQ(0u, options.station.rebootMs);
    EXPECT_EQ(AfterReboot::NewVersion, options.station.afterReboot); // implied by --new-version
    EXPECT_EQ((std::vector<uint64_t>{4, 9}), options.station.refusedBlocks);
    EXPECT_EQ(3u, options.station.unplugAtBlock);
    EXPECT_TRUE(options.lineRate);
    EXPECT_EQ("/tmp/com5", options.linkPath);
    EXPECT_EQ("/tmp/ctl", options.controlPath);
    EXPECT_EQ("/tmp/t.txt", options.transcriptPath);
    EXPECT_EQ("/tmp/i.bin", options.saveImagePath);
}

TEST(Options, AfterRebootModes) {
    const struct {
        std::vector<std::string> args;
        AfterReboot expected;
    } cases[] = {
        {{"--new-version", "2"}, AfterReboot::NewVersion},
        {{"--new-version", "2", "--after-reboot", "unchanged"}, AfterReboot::Unchanged},
        {{"--after-reboot", "absent"}, AfterReboot::Absent},
        {{"--after-reboot=new", "--new-version=2"}, AfterReboot::NewVersion},
    };
    for (const auto& c : cases) {
        const ParsedOptions parsed = Parse(c.args);
        ASSERT_EQ(ParseOutcome::Run, parsed.outcome) << parsed.error;
        EXPECT_EQ(c.expected, parsed.options.station.afterReboot) << c.args[0];
    }
}

TEST(Options, FaultsTakeCommandOccurrenceAndValue) {
    const ParsedOptions parsed = Parse({"--reply", "GV#2=V1\\r\\x41=", "--silent=BGV", "--no-lf", "GB", "--split", "DUB#3=40",
                                        "--garbage", "BIC", "--delay", "DRST=0", "--unplug-on", "BB#1"});
    ASSERT_EQ(ParseOutcome::Run, parsed.outcome) << parsed.error;
    const auto& faults = parsed.options.station.faults;
    ASSERT_EQ(7u, faults.size());
    const struct {
        FaultKind kind;
        const char* command;
        uint32_t occurrence;
        const char* text;
        uint32_t ms;
    } expected[] = {
        {FaultKind::Reply, "GV", 2, "V1\rA=", 0},   {FaultKind::Silent, "BGV", 0, "", 0}, {FaultKind::NoLineEnd, "GB", 0, "", 0},
        {FaultKind::Split, "DUB", 3, "", 40},       {FaultKind::Garbage, "BIC", 0, "", 0}, {FaultKind::Delay, "DRST", 0, "", 0},
        {FaultKind::Unplug, "BB", 1, "", 0},
    };
    for (size_t i = 0; i < faults.size(); ++i) {
        EXPECT_EQ(expected[i].kind, faults[i].kind) << i;
        EXPECT_EQ(expected[i].command, faults[i].command) << i;
        EXPECT_EQ(expected[i].occurrence, faults[i].occurrence) << i;
        EXPECT_EQ(expected[i].text, faults[i].text) << i;
        EXPECT_EQ(expected[i].ms, faults[i].ms) << i;
    }
}

TEST(Options, BadOptionsGiveAClearError) {
    const struct {
        std::vector<std::string> args;
        const char* error;
    } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"stray"}, "unexpected argument 'stray'"},
        {{"--battery"}, "--battery needs a value"},
        {{"--battery", "3.9"}, "--battery: '3.9' is not a number from 0 to 99999"},
        {{"--battery", "100000"}, "--battery: '100000' is not a number from 0 to 99999"},
        {{"--battery=-1"}, "--battery: '-1' is not a number"},
        {{"--reboot-ms", "3600001"}, "--reboot-ms: '3600001' is not a number from 0 to 3600000"},
        {{"--absent=yes"}, "--absent takes no value"},
        {{"--battery", "1", "--battery", "2"}, "--battery given twice"},
        {{"--after-reboot", "maybe"}, "--after-reboot: 'maybe' is not one of new, unchanged, absent"},
        {{"--after-reboot", "new"}, "--after-reboot new needs --new-version"},
        {{"--new-version", ""}, "--new-version: the text must not be empty"},
        {{"--ident", "a\tb"}, "--ident: control characters are not allowed here"},
        {{"--reply", "GV"}, "--reply: expected CMD=VALUE"},
        {{"--reply", "XX=1"}, "--reply: unknown command 'XX' (known: BGV BIC BB GV GB DUSTART DUSIZE DUSUMM DUB DRST)"},
        {{"--reply", "gv=1"}, "--reply: unknown command 'gv'"},
        {{"--reply", "GV=\\q"}, "--reply: bad escape in '\\q'"},
        {{"--reply", "GV=\\x4"}, "--reply: bad escape"},
        {{"--silent", "GV=1"}, "--silent: expected CMD"},
        {{"--silent", "GV#0"}, "--silent: occurrence '0' is not a number from 1"},
        {{"--silent", "GV#x"}, "--silent: occurrence 'x' is not a number"},
        {{"--split", "GV=0"}, "--split: '0' is not a number from 1 to 600000"},
        {{"--delay", "GV=600001"}, "--delay: '600001' is not a number from 0 to 600000"},
        {{"--refuse-block", "0"}, "--refuse-block: '0' is not a number from 1"},
        {{"--unplug-at-block", "1", "--unplug-at-block", "2"}, "--unplug-at-block given twice"},
    };
    for (const auto& c : cases) {
        const ParsedOptions parsed = Parse(c.args);
        EXPECT_EQ(ParseOutcome::Error, parsed.outcome) << c.error;
        EXPECT_EQ(0u, parsed.error.find(c.error)) << "got: " << parsed.error;
    }
}

TEST(Options, HelpDocumentsEveryOptionAndControlCommand) {
    EXPECT_EQ(ParseOutcome::Help, Parse({"--battery", "1", "--help"}).outcome);
    EXPECT_EQ(ParseOutcome::Help, Parse({"-h"}).outcome);
    const std::string help = HelpText();
    for (const char* word : {"--ident", "--instrument-version", "--battery", "--absent", "--reboot-ms", "--new-version",
                             "--after-reboot", "--reply", "--silent", "--no-lf", "--split", "--garbage", "--delay",
                             "--unplug-on", "--refuse-block", "--unplug-at-block", "--line-rate", "--link", "--control",
                             "--transcript", "--save-image", "--help", "place", "lift", "unplug", "plug",
                             "set battery", "set version", "status", "quit", "Exit status"}) {
        EXPECT_NE(std::string::npos, help.find(word)) << word;
    }
    for (const auto& name : KnownCommands()) EXPECT_NE(std::string::npos, help.find(name)) << name;
}

} // namespace
