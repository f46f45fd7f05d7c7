#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "serial/serial_io.h"
#include "serial/serial_port.h"
#include "tests/support/log_capture.h"
#include "tests/support/scripted_serial.h"
#include "tests/support/virtual_clock.h"

namespace {

std::wstring NameList(const std::vector<std::wstring>& names) {
    std::wstring list;
    for (const std::wstring& name : names) list += name + L'\0';
    return list + L'\0';
}

std::vector<int> Parse(const std::wstring& list) { return ParseComPortNames(list.data(), list.size()); }

TEST(ParseComPortNames, TakesOnlyUpperCaseComWithPositiveDecimalThatFits) {
    struct Case {
        std::wstring name;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {L"COM3", {3}},         {L"COM10", {10}},        {L"COM2147483647", {2147483647}}, {L"COM007", {7}},
        {L"com4", {}},          {L"Com5", {}},           {L"COM", {}},                     {L"COMX1", {}},
        {L"COM1X", {}},         {L"COM 1", {}},          {L"COM-1", {}},                   {L"COM0", {}},
        {L"COM00", {}},         {L"COM2147483648", {}},  {L"COM99999999999", {}},          {L"LPT1", {}},
        {L"XCOM1", {}},         {L"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, Parse(NameList({c.name}))) << std::string(c.name.begin(), c.name.end());
}

TEST(ParseComPortNames, WalksTheWholeListInItsOrder) {
    EXPECT_EQ((std::vector<int>{3, 10, 3}),
              Parse(NameList({L"COM3", L"COM10", L"COM3", L"com4", L"COM", L"COMX1", L"COM0", L"COM2147483648", L"LPT1"})));
}

TEST(ParseComPortNames, StopsAtTheEmptyNameTheCountOrAnUnterminatedName) {
    const std::wstring afterEnd = std::wstring(L"COM1\0\0COM2\0\0", 12);
    EXPECT_EQ(std::vector<int>{1}, Parse(afterEnd));
    const std::wstring list = std::wstring(L"COM1\0COM2\0COM3\0\0", 16);
    EXPECT_EQ((std::vector<int>{1, 2}), ParseComPortNames(list.data(), 10));
    // "COM3" is cut by the count before its terminator: not trusted.
    EXPECT_EQ((std::vector<int>{1, 2}), ParseComPortNames(list.data(), 14));
    EXPECT_EQ(std::vector<int>{}, ParseComPortNames(list.data(), 0));
}

TEST(OrderComPorts, SortsRemovesDuplicatesAndPutsThePreferredPortFirst) {
    struct Case {
        std::vector<int> ports;
        int preferred;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {{1, 3, 10, 12}, 10, {10, 1, 3, 12}},
        {{1, 3, 10, 12}, 7, {1, 3, 10, 12}},
        {{1, 3, 10, 12}, 0, {1, 3, 10, 12}},
        {{1, 3, 10, 12}, 1, {1, 3, 10, 12}},
        {{1, 3, 10, 12}, 12, {12, 1, 3, 10}},
        {{12, 3, 12, 1, 3}, 3, {3, 1, 12}},
        {{}, 5, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(c.expected, OrderComPorts(c.ports, c.preferred)) << "preferred " << c.preferred;
}

TEST(ComDevicePath, UsesTheDevicePrefixForEveryNumber) {
    EXPECT_EQ(L"\\\\.\\COM3", ComDevicePath(3));
    EXPECT_EQ(L"\\\\.\\COM12", ComDevicePath(12));
    EXPECT_EQ(L"\\\\.\\COM2147483647", ComDevicePath(2147483647));
}

class SerialPortTest : public ::testing::Test {
protected:
    VirtualClock clock_;
    ScriptedSerial serial_{clock_};
    LogCapture log_;
};

TEST_F(SerialPortTest, EnumerationListsTheMachinesPortsSortedAndPreferredFirst) {
    serial_.SetDeviceNames(NameList({L"C:", L"COM3", L"COM10", L"COM3", L"com4", L"COM", L"COMX1", L"COM0", L"COM2147483648", L"LPT1"}));
    EXPECT_EQ((std::vector<int>{3, 10}), EnumerateComPorts(0));
    EXPECT_EQ((std::vector<int>{10, 3}), EnumerateComPorts(10));
    EXPECT_EQ(std::vector<std::string>{}, log_.Messages()) << "a successful listing logs nothing";
}

TEST_F(SerialPortTest, EnumerationDoublesTheBufferWhileTheSystemAsksForMore) {
    std::vector<std::wstring> names(1000, L"HarddiskVolume");
    names.push_back(L"COM7");
    serial_.SetDeviceNames(NameList(names)); // about 15,000 characters
    EXPECT_EQ(std::vector<int>{7}, EnumerateComPorts(0));
    EXPECT_EQ((std::vector<uint32_t>{4096, 8192, 16384}), serial_.ListingCapacities());
}

TEST_F(SerialPortTest, EnumerationGivesUpAtTheLargestBufferWithError122) {
    serial_.SetDeviceNames(std::wstring(kLargestNameBufferChars + 10, L'X'));
    EXPECT_EQ(std::vector<int>{}, EnumerateComPorts(0));
    EXPECT_EQ((std::vector<uint32_t>{4096, 8192, 16384, 32768, 65536, 131072, 262144, 524288, 1048576}), serial_.ListingCapacities());
    EXPECT_EQ(std::vector<std::string>{"COM port enumeration failed: Windows error 122"}, log_.Messages());
}

TEST_F(SerialPortTest, EnumerationFailureLogsTheCodeInUnsignedDecimal) {
    serial_.AddDevice(3, ReplyTable({}));
    for (uint32_t code : {5u, 4294967295u}) {
        serial_.FailListing(code);
        EXPECT_EQ(std::vector<int>{}, EnumerateComPorts(3));
    }
    EXPECT_EQ((std::vector<std::string>{"COM port enumeration failed: Windows error 5",
                                        "COM port enumeration failed: Windows error 4294967295"}),
              log_.Messages());
    EXPECT_EQ((std::vector<uint32_t>{4096, 4096}), serial_.ListingCapacities()) << "only code 122 grows the buffer";
}

TEST_F(SerialPortTest, OpenPortKeepsTheHandleAndNumberOnlyWhenTheLineIsSetUp) {
    serial_.AddSilentPort(3);
    serial_.AddHeldPort(4);
    serial_.AddRefusingPort(5);
    SerialPort port;
    EXPECT_FALSE(IsPortOpen(port));
    EXPECT_EQ(0, port.portNumber);

    EXPECT_FALSE(OpenPort(port, 4));
    EXPECT_FALSE(IsPortOpen(port));
    EXPECT_FALSE(OpenPort(port, 5));
    EXPECT_FALSE(IsPortOpen(port));
    EXPECT_EQ(0, port.portNumber) << "a failed settings step leaves no port number";
    EXPECT_FALSE(OpenPort(port, 6)) << "absent";

    ASSERT_TRUE(OpenPort(port, 3));
    EXPECT_TRUE(IsPortOpen(port));
    EXPECT_EQ(3, port.portNumber);

    ClosePort(port);
    EXPECT_FALSE(IsPortOpen(port));
    EXPECT_EQ(0, port.portNumber);
    ClosePort(port); // closing a closed port does nothing
    EXPECT_EQ(0u, serial_.OpenHandles());
}

TEST_F(SerialPortTest, APortHeldByOneHandleFailsToOpenForAnother) {
    serial_.AddSilentPort(3);
    SerialPort first;
    SerialPort second;
    ASSERT_TRUE(OpenPort(first, 3));
    EXPECT_FALSE(OpenPort(second, 3));
    EXPECT_FALSE(IsPortOpen(second));
    ClosePort(first);
    EXPECT_TRUE(OpenPort(second, 3));
    ClosePort(second);
}

TEST_F(SerialPortTest, OpeningAnOpenPortClosesItsOldHandleFirst) {
    serial_.AddSilentPort(3);
    serial_.AddSilentPort(4);
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, 3));
    ASSERT_TRUE(OpenPort(port, 4));
    EXPECT_EQ(1u, serial_.OpenHandles());
    EXPECT_EQ(4, port.portNumber);
    ClosePort(port);
}

// One transaction on COM3 against a device that answers `reply` to everything.
struct TransactCase {
    const char* name;
    Reply reply;
    uint32_t timeoutMs;
    std::string expected;
    uint64_t atLeastMs; // the transaction took at least this long...
    uint64_t atMostMs;  // ...and at most this long
};

TEST_F(SerialPortTest, TransactCollectsOneReplyLineOrWhatCameBeforeTheDeadline) {
    constexpr uint64_t kOneReadAndPause = 306 + 20;
    const TransactCase cases[] = {
        {"cut after the first line feed", Line("OK\r\nNEXT"), 3000, "OK\r\n", 0, 50},
        {"gathered across reads", Split("O", 200, "K\r\n"), 3000, "OK\r\n", 200, 300},
        {"longer than one read", Line(std::string(300, 'x')), 3000, std::string(300, 'x') + "\r\n", 0, 100},
        {"no line feed: what came, at the deadline", Bare("OK"), 700, "OK", 700, 700 + kOneReadAndPause},
        {"silent: empty, never before the deadline", Silence(), 700, "", 700, 700 + kOneReadAndPause},
        {"a reply after the last read is not waited for", Reply{{{1200, "OK\r\n"}}}, 700, "", 700, 700 + kOneReadAndPause},
        {"a read that spans the deadline still counts", Reply{{{900, "OK\r\n"}}}, 700, "OK\r\n", 900, 700 + kOneReadAndPause},
        {"timeout 0 writes but does not read", Line("OK"), 0, "", 0, 0},
        {"failed write", WriteFailing(), 3000, "", 0, 0},
        {"short write", WriteShort(), 3000, "", 0, 0},
        {"read fails: unplugged", Unplugged(), 3000, "", 0, 0},
    };
    int portNumber = 10;
    for (const TransactCase& c : cases) {
        SCOPED_TRACE(c.name);
        // Every case on a port of its own, so its record starts empty.
        ++portNumber;
        serial_.AddDevice(portNumber, [&c](const std::string&) { return c.reply; });
        SerialPort port;
        ASSERT_TRUE(OpenPort(port, portNumber));
        const uint64_t start = clock_.Now();
        EXPECT_EQ(c.expected, Transact(port, "BGV\n", c.timeoutMs));
        const uint64_t took = clock_.Now() - start;
        EXPECT_LE(c.atLeastMs, took);
        EXPECT_GE(c.atMostMs, took);
        EXPECT_EQ(std::vector<std::string>{"BGV\n"}, serial_.Commands(portNumber)) << "the command goes out whole, once";
        ClosePort(port);
    }
}

TEST_F(SerialPortTest, TimeoutZeroDoesNotRead) {
    serial_.AddDevice(3, ReplyTable({{"BGV", Line("OK")}}));
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, 3));
    EXPECT_EQ("", Transact(port, "BGV\n", 0));
    EXPECT_EQ(std::vector<std::string>{"BGV\n"}, serial_.Commands(3));
    EXPECT_EQ(0u, serial_.ReadCount(3));
    ClosePort(port);
}

TEST_F(SerialPortTest, ClosedPortWritesNothingAndReturnsAtOnce) {
    serial_.AddDevice(3, ReplyTable({{"BGV", Line("OK")}}));
    SerialPort port;
    EXPECT_EQ("", Transact(port, "BGV\n", 700));
    EXPECT_EQ(0u, serial_.AllWrites().size());
    EXPECT_EQ(1000000u, clock_.Now());
}

TEST_F(SerialPortTest, FailedReadDropsWhatWasGathered) {
    serial_.AddDevice(3, [](const std::string&) { return Split("O", 1000, "K\r\n"); });
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, 3));
    // After the first byte came, the cable is pulled during the pause between two reads.
    clock_.SetSleepObserver([this](const VirtualClock::Sleep&) { serial_.Unplug(3); });
    EXPECT_EQ("", Transact(port, "BGV\n", 3000));
    EXPECT_EQ(3u, serial_.ReadCount(3)) << "byte, nothing, failure";
    clock_.SetSleepObserver({});
    ClosePort(port);
}

TEST_F(SerialPortTest, InputLeftFromAnEarlierCommandIsDiscardedBeforeTheNextOne) {
    serial_.AddDevice(3, ReplyTable({{"GV", Line("1.2.3")}, {"GB", Line("3.95")}}));
    SerialPort port;
    ASSERT_TRUE(OpenPort(port, 3));
    EXPECT_EQ("", Transact(port, "GV\n", 0)); // its reply arrives unread
    clock_.Advance(100);
    EXPECT_EQ("3.95\r\n", Transact(port, "GB\n", 2000));
    ClosePort(port);
}

} // namespace

// A driver that lets every open through, as Wine's serial driver ignores the share mode: only
// the serial layer's own bookkeeping keeps two handles of this process off one port.
namespace {
namespace sharing {

std::atomic<int> opens{0};
std::atomic<int> handlesOpen{0};
std::atomic<int> settingsFailures{0}; // the next opens that fail their settings step
std::atomic<uintptr_t> nextHandle{0x100};

uint32_t QueryDosDevices(wchar_t* buffer, uint32_t capacity, uint32_t*) {
    const std::wstring names(L"COM5\0\0", 6);
    std::copy(names.begin(), names.begin() + std::min<size_t>(names.size(), capacity), buffer);
    return static_cast<uint32_t>(names.size());
}
OpenOutcome OpenDevice(int, PortHandle* handle) {
    opens.fetch_add(1);
    if (settingsFailures.fetch_sub(1) > 0) return OpenOutcome::SettingsFailed;
    settingsFailures.store(0);
    handlesOpen.fetch_add(1);
    *handle = reinterpret_cast<PortHandle>(nextHandle.fetch_add(1));
    return OpenOutcome::Opened;
}
void CloseDevice(PortHandle) { handlesOpen.fetch_sub(1); }
void PurgeInput(PortHandle) {}
bool Write(PortHandle, const char*, uint32_t size, uint32_t* written) {
    *written = size;
    return true;
}
void Flush(PortHandle) {}
bool Read(PortHandle, char*, uint32_t, uint32_t* got) {
    *got = 0;
    return true;
}
constexpr SerialIo kIo{QueryDosDevices, OpenDevice, CloseDevice, PurgeInput, Write, Flush, Read};

} // namespace sharing

class SharingDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        sharing::opens.store(0);
        sharing::handlesOpen.store(0);
        sharing::settingsFailures.store(0);
        SetSerialIo(&sharing::kIo);
    }
    void TearDown() override {
        EXPECT_EQ(0, sharing::handlesOpen.load()) << "a handle was left open";
        SetSerialIo(nullptr);
    }
};

TEST_F(SharingDriverTest, ASecondOpenOfAPortThisProcessHoldsFailsWithoutReachingTheDriver) {
    SerialPort first;
    SerialPort second;
    ASSERT_TRUE(OpenPort(first, 5));
    EXPECT_FALSE(OpenPort(second, 5));
    EXPECT_FALSE(IsPortOpen(second));
    EXPECT_EQ(1, sharing::opens.load());
    EXPECT_TRUE(OpenPort(second, 6)) << "other ports stay free";
    ClosePort(second);

    ClosePort(first);
    ASSERT_TRUE(OpenPort(second, 5)) << "closing releases the port";
    ClosePort(second);
}

TEST_F(SharingDriverTest, FailedOpensAndReopensReleaseThePortTheyHeld) {
    SerialPort port;
    SerialPort other;
    sharing::settingsFailures.store(1);
    EXPECT_FALSE(OpenPort(port, 5));
    ASSERT_TRUE(OpenPort(port, 5)) << "a failed settings step keeps no claim";

    ASSERT_TRUE(OpenPort(port, 6)) << "opening an open port elsewhere gives up the old one";
    ASSERT_TRUE(OpenPort(other, 5));
    EXPECT_FALSE(OpenPort(port, 5)) << "held by the other port";
    EXPECT_FALSE(IsPortOpen(port)) << "and the old handle was closed";
    ClosePort(other);
    ClosePort(port);
}

TEST_F(SharingDriverTest, ThreadsRacingForOnePortNeverHoldItTogether) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 500;
    std::atomic<int> holders{0};
    std::atomic<int> overlaps{0};
    std::atomic<int> wins{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round) {
                SerialPort port;
                if (!OpenPort(port, 5)) continue;
                wins.fetch_add(1);
                if (holders.fetch_add(1) != 0) overlaps.fetch_add(1);
                std::this_thread::yield();
                holders.fetch_sub(1);
                ClosePort(port);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(0, overlaps.load());
    EXPECT_LT(0, wins.load());
}

} // namespace
