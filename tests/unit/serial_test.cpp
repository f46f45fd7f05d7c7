// The command protocol, and the serial port logic over the faked platform primitives.

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>
#include <tuple>

#include "serial/commands.h"
#include "tests/support/fakes.h"

namespace {

TEST(Commands, RepliesAreTrimmedOfTheSixAsciiSpacesAndUpperCasedInAToZOnly) {
    const std::string rows[][3] = { // reply, trimmed, upper-cased: only a to z
        {"", "", ""}, {" \t\n\v\f\r", "", ""}, {"  next \r\n", "next", "NEXT"}, {"a\r\nb\n", "a\r\nb", "A\r\nB"},
        {"\xC3\xA9t\xC3\xA9 z", "\xC3\xA9t\xC3\xA9 z", "\xC3\xA9T\xC3\xA9 Z"}, {std::string("\0ok", 3), std::string("\0ok", 3), std::string("\0OK", 3)},
    };
    for (const auto& row : rows) EXPECT_EQ(row[1] + "|" + row[2], Trim(row[0]) + "|" + TrimUpper(row[0]));
}

// Failure: empty, or ERR or FAIL anywhere. Connected: 1, OK, YES, or CONNECTED anywhere. OK and
// NEXT: at the start. Each after trimming, in any case.
TEST(Commands, EachReplyIsJudgedByItsTrimmedText) {
    const std::pair<const char*, const char*> rows[] = {
        {"", "failure"},    {"   \r\n", "failure"}, {"error 5", "failure"},   {"Fail", "failure"},    {"TERRA", "failure"},
        {"station FAILED", "failure"}, {"ER R", ""},  {"FA IL", ""},           {"ZDS-2 1.0\r\n", ""}, {"connected", "connected"},
        {" 1 \r\n", "connected"}, {"ok", "connected ok"}, {" OK", "connected ok"}, {"Yes", "connected"}, {"DISCONNECTED", "connected"},
        {"is Connected\r\n", "connected"}, {"11", ""}, {"YES!", ""}, {"0", ""}, {"1 2", ""}, {"OKAY 12", "ok"}, {"XOK", ""}, {"O K", ""},
        {" next\r", "next"}, {"NEXT 5", "next"}, {"NEX", ""}, {"N EXT", ""},
    };
    for (const auto& [reply, holds] : rows) { // each reply with the judgements that hold for it
        SCOPED_TRACE('"' + std::string(reply) + '"');
        const auto judged = [&](const std::string& name) { return (" " + std::string(holds) + " ").find(" " + name + " ") != std::string::npos; };
        EXPECT_EQ(judged("failure"), IsFailureReply(reply));
        EXPECT_EQ(judged("connected"), IsConnectedReply(reply));
        EXPECT_EQ(judged("ok"), StartsWithOk(reply));
        EXPECT_EQ(judged("next"), StartsWithNext(reply));
    }
}

// Volts, or millivolts above 100; 2 to 5 V. The first number, with a decimal comma or full stop.
TEST(Commands, ParseBatteryVoltageReadsVoltsOrMillivoltsOrRaises) {
    const std::pair<std::string, std::string> rows[] = {
        {"3.95", "3.95"}, {"3,95 V", "3.95"}, {"3950 mV\r\n", "3.95"}, {"2000", "2"}, {"2", "2"}, {"5.0", "5"}, {"5000", "5"}, {"bat=4.1V", "4.1"},
        {"3.", "3"}, {"V 3.85 ok", "3.85"}, {"0004.09", "4.09"}, {"", "Battery voltage is missing"}, {"ERROR\r\n", "Battery voltage is missing"},
        {"100", "Invalid battery voltage"}, {"101", "Invalid battery voltage"}, {"5001", "Invalid battery voltage"},
        {"5.01", "Invalid battery voltage"}, {"1.99", "Invalid battery voltage"}, {"B1 3.9", "Invalid battery voltage"},
        {std::string(400, '9'), "stod argument out of range"}, {"1" + std::string(400, '0') + " mV", "stod argument out of range"},
        {std::string(100000, '7') + ".5", "stod argument out of range"}, // a station streaming digits: a flat parse
    };
    for (const auto& [reply, volts] : rows) {
        std::string parsed;
        std::thread([&, reply = reply] { // a worker's small stack
            try {
                std::ostringstream text;
                text << ParseBatteryVoltage(reply);
                parsed = text.str();
            } catch (const std::exception& error) {
                parsed = error.what();
            }
        }).join();
        EXPECT_EQ(volts, parsed) << reply.substr(0, 20);
    }
}

// The log must not show a line a station made up: control bytes escaped, the rest cut after 200. The
// monitor's transcript shows a reply trimmed, a carriage return and an escape sequence, and one cut.
TEST(Commands, LoggedReplyEscapesEachControlByteAndCutsOnlyPast200) {
    EXPECT_EQ("\\x00\\x1f\\x7f~\xC3\xA9", LoggedReply(std::string("\0\x1f\x7f~\xC3\xA9", 6)));
    EXPECT_EQ(std::string(200, '9'), LoggedReply(std::string(200, '9')));
}

// Upper-case COM with a positive number that fits, in order up to the empty name.
TEST(ComPorts, ParseTakesUpperCaseComWithAPositiveNumberThatFitsInOrderWithinTheCount) {
    const std::pair<std::wstring, std::vector<int>> names[] = {
        {L"COM3", {3}}, {L"COM10", {10}}, {L"COM2147483647", {2147483647}}, {L"COM007", {7}}, {L"com4", {}}, {L"Com5", {}}, {L"COM", {}},
        {L"COMX1", {}}, {L"COM1X", {}}, {L"COM 1", {}}, {L"COM-1", {}}, {L"COM0", {}}, {L"COM00", {}}, {L"COM2147483648", {}},
        {L"COM99999999999", {}}, {L"LPT1", {}}, {L"XCOM1", {}}, {L"CO", {}}, {std::wstring(L"COM3\0COM10\0COM3\0\0COM2", 21), {3, 10, 3}},
    };
    for (const auto& [name, ports] : names) EXPECT_EQ(ports, ParseComPortNames((name + std::wstring(2, L'\0')).c_str(), name.size() + 2)) << name.size();
    EXPECT_EQ((std::vector<int>{3, 10}), ParseComPortNames(L"COM3\0COM10\0COM3", 15)) << "a name cut by the count is not trusted";
    EXPECT_EQ(std::vector<int>{}, ParseComPortNames(L"COM3", 0));
}

TEST(ComPorts, DevicePathIsInTheDeviceNamespace) { EXPECT_EQ(L"\\\\.\\COM12", ComDevicePath(12)); }

TEST(ComPorts, OrderPutsThePreferredFirstThenTheRestAscending) {
    const std::pair<int, std::vector<int>> preferred[] = {{10, {10, 1, 3, 12}}, {7, {1, 3, 10, 12}}, {0, {1, 3, 10, 12}}, {1, {1, 3, 10, 12}},
                                                          {12, {12, 1, 3, 10}}};
    for (const auto& [port, ordered] : preferred) EXPECT_EQ(ordered, OrderComPorts({12, 3, 10, 1, 3}, port)) << port;
}

// A list up to the largest buffer is read; a failure is logged, and only a buffer too small is worth another try.
TEST(ComPorts, EnumerationReadsAListUpToTheLargestBufferAndLogsAFailure) {
    const std::string failed = "COM port enumeration failed: Windows error ";
    const std::tuple<size_t, uint32_t, std::vector<int>, std::vector<std::string>> rows[] = {
        // the list's length in characters, the first listing's error, the ports found, the log
        {kLargestNameBufferChars, 0, {3}, {}}, {kLargestNameBufferChars + 1, 0, {}, {failed + "122"}},
        {8, 5, {}, {failed + "5"}},            {8, 4294967295u, {}, {failed + "4294967295"}},
    };
    for (const auto& [characters, error, ports, log] : rows) {
        Rig rig; // other names make the list this long, with the station's "COM3" and the list's closing L'\0'
        rig.otherNames = std::wstring(characters - 7, L'X') + L'\0';
        if (error != 0) rig.listingErrors = {error};
        EXPECT_EQ(ports, EnumerateComPorts(0)) << characters;
        EXPECT_EQ(log, rig.Log()) << characters;
    }
}

// The serial layer keeps its own claims: not every driver refuses a second open (Wine's does not).
TEST(ComPorts, APortOpensOnlyWhileNoHandleHoldsIt) {
    Rig rig;
    const Device silent = [](const std::string&) { return ""; };
    rig.Add(4, silent, Rig::Held);
    rig.Add(5, silent, Rig::Refuses);
    SerialPort port, other;
    EXPECT_FALSE(OpenPort(port, 4) || OpenPort(port, 6) || OpenPort(port, 5)) << "held, absent, refusing its settings";
    EXPECT_EQ(0, port.portNumber) << "after a failed settings step";
    EXPECT_EQ("", Transact(port, "BGV\n", 700)) << "a closed port writes nothing";
    EXPECT_EQ(1000000u, rig.now) << "and returns at once";
    rig.Add(4, silent);
    rig.Add(5, silent);
    ASSERT_TRUE(OpenPort(port, 4)) << "a failed open keeps no claim";
    EXPECT_FALSE(OpenPort(other, 4) || IsPortOpen(other));
    ASSERT_TRUE(OpenPort(port, 5)) << "opening an open port gives up its old one";
    EXPECT_EQ(1u, rig.handles.size());
    EXPECT_TRUE(OpenPort(other, 4));
    ClosePort(other);
    ClosePort(port);
    ClosePort(port);
    EXPECT_FALSE(IsPortOpen(port) || port.portNumber != 0);
    EXPECT_EQ("", rig.Sent());
    std::atomic<int> holders{0}, overlaps{0}, wins{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int round = 0; round < 500; ++round) {
                SerialPort mine;
                if (!OpenPort(mine, 4)) continue;
                wins += 1;
                overlaps += holders++ != 0;
                std::this_thread::yield();
                holders -= 1;
                ClosePort(mine);
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, overlaps.load());
    EXPECT_LT(0, wins.load());
}

// Reads never wait in the fake, and Transact pauses 20 ms after an empty one: times are exact.
TEST(Transact, CollectsOneReplyLineOrWhatCameBeforeTheDeadlineNeverEarlier) {
    // The case, the reply (each '~' is 100 ms), the timeout, what Transact returns and the time it took.
    const std::tuple<const char*, std::string, uint32_t, std::string, uint64_t> rows[] = {
        {"cut after the first line feed", "OK\r\nNEXT", 3000, "OK\r\n", 0},
        {"gathered across reads", "O~~K\r\n", 3000, "OK\r\n", 200},
        {"longer than one read", std::string(300, 'x') + "\r\n", 3000, std::string(300, 'x') + "\r\n", 0},
        {"no line feed: what came, at the deadline", "OK", 700, "OK", 700},
        {"silent", "", 700, "", 700},
        {"a reply after the deadline", "~~~~~~~~OK\r\n", 700, "", 700},
        {"timeout 0 writes but does not read", "OK\r\n", 0, "", 0},
        {"failed write", kWriteFails, 3000, "", 0},
        {"short write", kShortWrite, 3000, "", 0},
        {"read fails: unplugged", kUnplugs, 3000, "", 0},
    };
    for (const auto& [name, reply, timeoutMs, result, tookMs] : rows) {
        Rig rig;
        rig.station.replies["BGV"] = {reply};
        SerialPort port;
        ASSERT_TRUE(OpenPort(port, 3));
        EXPECT_EQ(result, Transact(port, "BGV\n", timeoutMs)) << name;
        EXPECT_EQ(tookMs, rig.now - 1000000) << name;
        EXPECT_EQ("BGV", rig.Sent()) << name;
        ClosePort(port);
    }
}

TEST(Transact, DropsWhatCameBeforeItsCommandOrBeforeAFailedRead) {
    Rig rig;
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, 3));
    EXPECT_EQ("", Transact(port, "GV\n", 0)); // its reply arrives, unread
    EXPECT_EQ("3.95\r\n", Transact(port, "GB\n", 2000));
    rig.station.replies["GB"] = {"3.~~95\r\n"};
    rig.onSleep = [&](uint32_t) { rig.Unplug(3); }; // after the first bytes came
    EXPECT_EQ("", Transact(port, "GB\n", 2000));
    EXPECT_EQ(1u + 3u, rig.reads) << "GB; then bytes, nothing, failure";
    ClosePort(port);
}

} // namespace
