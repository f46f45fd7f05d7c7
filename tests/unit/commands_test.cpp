#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <typeinfo>

#include "serial/commands.h"
#include "tests/support/log_capture.h"
#include "tests/support/scripted_serial.h"
#include "tests/support/virtual_clock.h"

namespace {

TEST(CommandWireForms, MnemonicArgumentAndOneLineFeed) {
    struct Case {
        std::string actual;
        std::string expected;
    };
    const Case cases[] = {
        {BgvCommand(), "BGV\n"},
        {BicCommand(), "BIC\n"},
        {GvCommand(), "GV\n"},
        {GbCommand(), "GB\n"},
        {BbCommand(), "BB\n"},
        {DustartCommand(), "DUSTART\n"},
        {DrstCommand(), "DRST\n"},
        {DusizeCommand(1), "DUSIZE1\n"},
        {DusizeCommand(7), "DUSIZE7\n"},
        {DusizeCommand(512), "DUSIZE512\n"},
        {DusummCommand(0), "DUSUMM0\n"},
        {DusummCommand(0xCBF43926u), "DUSUMM3421780262\n"},
        {DusummCommand(4294967295u), "DUSUMM4294967295\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, c.actual);
}

TEST(Trim, RemovesTheSixAsciiWhiteSpacesAtBothEndsOnly) {
    struct Case {
        std::string reply;
        std::string trimmed;
        std::string upper;
    };
    const Case cases[] = {
        {"", "", ""},
        {" \t\n\v\f\r", "", ""},
        {"OK\r\n", "OK", "OK"},
        {"  next \r\n", "next", "NEXT"},
        {"\tv1.2 beta\n", "v1.2 beta", "V1.2 BETA"},
        {"a\r\nb", "a\r\nb", "A\r\nB"},
        {"\xC3\xA9t\xC3\xA9 z", "\xC3\xA9t\xC3\xA9 z", "\xC3\xA9T\xC3\xA9 Z"}, // only a to z change
        {std::string("\0OK", 3), std::string("\0OK", 3), std::string("\0OK", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.trimmed, Trim(c.reply));
        EXPECT_EQ(c.upper, TrimUpper(c.reply));
    }
}

TEST(IsFailureReply, EmptyOrHoldingErrOrFailInAnyCase) {
    struct Case {
        std::string reply;
        bool failure;
    };
    const Case cases[] = {
        {"", true},       {"   \r\n", true},     {"error 5", true}, {"ERR", true},  {"Fail", true},
        {"TERRA", true},  {"station FAILED", true}, {"OK", false},  {"1.2.3", false}, {"ZDS-2 1.0\r\n", false},
        {"ER R", false},  {"FA IL", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.failure, IsFailureReply(c.reply)) << '"' << c.reply << '"';
}

TEST(IsConnectedReply, OneOkYesOrAnyConnected) {
    struct Case {
        std::string reply;
        bool connected;
    };
    const Case cases[] = {
        {"connected", true}, {" 1 \r\n", true}, {"ok", true}, {"Yes", true}, {"DISCONNECTED", true},
        {"instrument Connected\r\n", true}, {"11", false}, {"OKAY", false}, {"YES!", false}, {"0", false},
        {"", false}, {"1 2", false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.connected, IsConnectedReply(c.reply)) << '"' << c.reply << '"';
}

TEST(StartsWithOkAndNext, JudgedAfterTrimmingAndUpperCasing) {
    struct Case {
        std::string reply;
        bool ok;
        bool next;
    };
    const Case cases[] = {
        {"ok 12", true, false}, {" OK", true, false},   {"OKAY", true, false}, {"O K", false, false},
        {"K", false, false},    {"", false, false},     {"next", false, true}, {" next\r", false, true},
        {"NEXT 5", false, true}, {"NEX", false, false}, {"N EXT", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.ok, StartsWithOk(c.reply)) << '"' << c.reply << '"';
        EXPECT_EQ(c.next, StartsWithNext(c.reply)) << '"' << c.reply << '"';
    }
}

TEST(ParseBatteryVoltage, ReadsVoltsOrMillivolts) {
    struct Case {
        std::string reply;
        double volts;
    };
    const Case cases[] = {
        {"3.95", 3.95}, {"3,95 V", 3.95},    {"3950", 3.95},   {"3950 mV\r\n", 3.95}, {"2000", 2.0},
        {"2", 2.0},     {"5.0", 5.0},        {"5000", 5.0},    {"bat=4.1V", 4.1},     {"3.", 3.0}, // a full stop needs a digit after it
        {"3.9", 3.9},   {"V 3.85 ok", 3.85}, {"0004.0", 4.0},
    };
    for (const Case& c : cases) EXPECT_DOUBLE_EQ(c.volts, ParseBatteryVoltage(c.reply)) << '"' << c.reply << '"';
}

TEST(ParseBatteryVoltage, RaisesWithItsMessageWhenNoValidVoltageIsThere) {
    struct Case {
        std::string reply;
        std::string message;
    };
    const Case cases[] = {
        {"", "Battery voltage is missing"},
        {"no digits", "Battery voltage is missing"},
        {"ERROR\r\n", "Battery voltage is missing"},
        {"100", "Invalid battery voltage"},
        {"101", "Invalid battery voltage"},
        {"5001", "Invalid battery voltage"},
        {"5.01", "Invalid battery voltage"},
        {"1.99", "Invalid battery voltage"},
        {"B1 3.9", "Invalid battery voltage"},
    };
    for (const Case& c : cases) {
        try {
            ParseBatteryVoltage(c.reply);
            ADD_FAILURE() << '"' << c.reply << "\" raised nothing";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(c.message, error.what()) << '"' << c.reply << '"';
        }
    }
}

// A faulty station may stream digits: the parse must stay flat on a worker thread's stack.
TEST(ParseBatteryVoltage, DigitRunTooLongForADoubleRaisesOutOfRangeWithAFixedMessage) {
    for (const std::string& reply : {std::string(400, '9'), "1" + std::string(400, '0') + " mV", std::string(100000, '7') + ".5"}) {
        std::string raised;
        std::thread worker([&] {
            try {
                ParseBatteryVoltage(reply);
            } catch (const std::out_of_range& error) {
                raised = error.what();
            }
        });
        worker.join();
        EXPECT_EQ("stod argument out of range", raised) << reply.size() << " bytes";
    }
}

class SendLoggedTest : public ::testing::Test {
protected:
    VirtualClock clock_;
    ScriptedSerial serial_{clock_};
    LogCapture log_;
};

TEST_F(SendLoggedTest, LogsLabelArrowAndTrimmedReplyAndJudgesOk) {
    serial_.AddDevice(3, ReplyTable({{"DUSTART", Line(" ok ")}, {"DUSIZE", Line("ERR size")}, {"DUSUMM", Silence()}}));
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, 3));
    EXPECT_TRUE(SendLogged(port, DustartCommand(), "DUSTART", kDustartDeadlineMs));
    EXPECT_FALSE(SendLogged(port, DusizeCommand(2), "DUSIZE", kDusizeDeadlineMs));
    const uint64_t before = clock_.Now();
    EXPECT_FALSE(SendLogged(port, DusummCommand(7), "DUSUMM", kDusummDeadlineMs));
    EXPECT_LE(before + kDusummDeadlineMs, clock_.Now()) << "the silent station is given its 3000 ms";
    ClosePort(port);
    EXPECT_FALSE(SendLogged(port, DustartCommand(), "DUSTART", kDustartDeadlineMs));

    EXPECT_EQ((std::vector<std::string>{"DUSTART -> ok", "DUSIZE -> ERR size", "DUSUMM -> ", "DUSTART -> "}), log_.Messages());
    EXPECT_EQ((std::vector<std::string>{"DUSTART\n", "DUSIZE2\n", "DUSUMM7\n"}), serial_.Commands(3));
}

} // namespace
