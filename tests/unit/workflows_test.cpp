// The workers against the faked station on COM3, on the test's thread under the virtual clock,
// where every reply comes at once: a time below is what the deadlines and pauses add up to.

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <stdexcept>
#include <system_error>
#include <tuple>

#ifndef _WIN32
#include <pthread.h>
#endif

#include "core/app_state.h"
#include "serial/commands.h"
#include "tests/support/fakes.h"
#include "workflows/workflows.h"

namespace {

const std::wstring kStationLost = L"done 0: Дата-станция потеряна.";
const std::wstring kBatteryUnreadable = L"done 0: Не удалось повторно проверить аккумулятор.";
const std::wstring kBatteryLow = L"done 0: Напряжение аккумулятора стало ниже 3,90 В.";
const std::wstring kNoUpdateMode = L"done 0: Прибор не поддерживает запуск DFWU. Прошивка не изменена.";
const std::wstring kRefused = L"done 0: Прибор отклонил параметры файла прошивки.";
const std::wstring kBroken = L"done 0: Передача прошивки прервана. Не снимайте прибор и обратитесь в поддержку.";
const std::wstring kResetUnconfirmed = L"done 0: Команда перезапуска не подтверждена. Не снимайте прибор.";
const std::wstring kNotBack = L"done 0: Прибор не подключился повторно. Поднимите его и снова установите на дата-станцию.";
const std::wstring kUnchanged = L"done 0: Прибор перезапустился, но версия не изменилась. Возможна проблема с bootloader.";
const std::wstring kSucceeded = L"done 1: Прошивка успешно обновлена до версии 1.2.3.";
const std::wstring kCancelled = L"done 2: Обновление отменено. Основная прошивка прибора не изменена.";

const std::string kToBlocks = "BGV GB DUSTART DUSIZE DUSUMM", kToReset = kToBlocks + " DUB DUB DRST";
const std::string kToVersion = kToReset + " BGV BIC GV", kAll = kToVersion + " BB";
const std::string kFound = "COM3 BGV -> ZDS-2 1.0", kBbLog = "BB after successful update -> OK", kCancelLog = "BB (update cancelled) -> OK";

std::string Joined(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) joined += (joined.empty() ? "" : " | ") + line;
    return joined;
}

// An update of an image of version 1.2.3, with what holds on every way out checked.
struct Update : Rig {
    explicit Update(size_t blocks = 2) {
        UseBlocks(blocks);
        onPost = [this](const std::wstring& post) {
            if (post == L"reinstall prompt" && atPrompt) atPrompt();
            prompted = prompted || post == L"reinstall prompt";
        };
        onSleep = [this](uint32_t ms) { EXPECT_TRUE(!prompted || ms != 1500 || OpenHandles() == 0) << "the port is free in a pause"; };
    }
    std::wstring Run() {
        UpdateWorker();
        const std::vector<std::wstring> all = Posts();
        EXPECT_EQ(1, std::count_if(all.begin(), all.end(), [](const std::wstring& p) { return p.rfind(L"done", 0) == 0; }));
        EXPECT_EQ(0u, OpenHandles()) << "the port is closed on every way out";
        return all.back();
    }
    void UseBlocks(size_t blocks) {
        App().firmware = TestImage(blocks);
        station.replies["DUB"] = std::vector<std::string>(blocks - 1, "NEXT\r\n");
        station.replies["DUB"].push_back("OK\r\n");
    }
    std::function<void()> atPrompt;
    bool prompted = false;
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

TEST(UpdateWorker, EveryEndingHasItsResultTextLastCommandLastLogLineAndTime) {
    const struct {
        const char* name;
        Script script;
        std::wstring done;
        std::string sent, lastLog;
        uint64_t ms;
    } rows[] = {
        {"station silent", Replies("BGV", {""}), kStationLost, "BGV", "COM3 BGV -> ", 700},
        {"station answers ERROR", Replies("BGV", {"ERROR\r\n"}), kStationLost, "BGV", "COM3 BGV -> ERROR", 0},
        {"no station", [](Update& u) { u.Unplug(3); }, kStationLost, "", "Available COM ports: none", 0},
        {"battery without a number", Replies("GB", {"ERR\r\n"}), kBatteryUnreadable, "BGV GB", kFound, 0},
        {"battery silent", Replies("GB", {""}), kBatteryUnreadable, "BGV GB", kFound, 2500},
        {"battery 3.89 V", Replies("GB", {"3.89\r\n"}), kBatteryLow, "BGV GB", kFound, 0},
        {"battery 3.9 V", Replies("GB", {"3.9\r\n"}), kSucceeded, kAll, kBbLog, 16500},
        {"DUSTART refused", Replies("DUSTART", {"ERROR\r\n"}), kNoUpdateMode, "BGV GB DUSTART", "DUSTART -> ERROR", 0},
        {"DUSTART silent", Replies("DUSTART", {""}), kNoUpdateMode, "BGV GB DUSTART", "DUSTART -> ", 3000},
        {"DUSIZE refused: DRST, unlogged, leaves update mode", Replies("DUSIZE", {"ERR\r\n"}), kRefused, "BGV GB DUSTART DUSIZE DRST",
         "DUSIZE -> ERR", 0},
        {"DUSIZE silent", Replies("DUSIZE", {""}), kRefused, "BGV GB DUSTART DUSIZE DRST", "DUSIZE -> ", 3000},
        {"DUSUMM silent, DRST too", [](Update& u) { u.station.replies["DUSUMM"] = u.station.replies["DRST"] = {""}; }, kRefused,
         kToBlocks + " DRST", "DUSUMM -> ", 3000 + 1000},
        {"first block refused", Replies("DUB", {"FAIL\r\n"}), kBroken, kToBlocks + " DUB", "DUB 1/2 -> FAIL", 0},
        {"block silent", Replies("DUB", {""}), kBroken, kToBlocks + " DUB", "DUB 1/2 -> ", 6000},
        {"OK to an earlier block", Replies("DUB", {"OK\r\n"}), kBroken, kToBlocks + " DUB", "DUB 1/2 -> OK", 0},
        {"NEXT to the last block", Replies("DUB", {"NEXT\r\n"}), kBroken, kToBlocks + " DUB DUB", "DUB 2/2 -> NEXT", 0},
        {"lower-case next and ok", Replies("DUB", {" next\r\n", "ok\r\n"}), kSucceeded, kAll, kBbLog, 16500},
        {"an unexpected error", At("DUB", 0, [](Update&) { throw std::runtime_error("broke"); }), kBroken, kToBlocks + " DUB",
         "Update stopped by an internal error: broke", 0},
        {"reset refused", Replies("DRST", {"ERR\r\n"}), kResetUnconfirmed, kToReset, "DRST -> ERR", 1500},
        {"reset silent", Replies("DRST", {""}), kResetUnconfirmed, kToReset, "DRST -> ", 1500 + 1500},
        {"closing before the 15 s wait: no scan", At("DRST", 0, closing), kNotBack, kToReset,
         "Reset confirmed; waiting 15 seconds for the instrument to reboot", 16500},
        {"station gone at the prompt: a scan every 1.5 s until 120 s after the wait",
         [](Update& u) { u.atPrompt = [&u] { u.Unplug(3); }; }, kNotBack, kToReset, "Available COM ports: none", 16500 + 120000},
        {"instrument back at the third try", Replies("BIC", {"0\r\n", "", "1\r\n"}), kSucceeded, kToReset + " BGV BIC BGV BIC BGV BIC GV BB",
         kBbLog, 16500 + 1500 + 1200 + 1500},
        {"closing during a reconnect attempt: it ends after it", At("BIC", 0, closing), kNotBack, kToReset + " BGV BIC",
         "BIC after instrument reinstall -> 0", 16500 + 1500},
        {"GV ERROR or nothing: asked again at once", Replies("GV", {"ERROR\r\n", "", "1.2.3\r\n"}), kSucceeded,
         kToVersion + " BGV BIC GV BGV BIC GV BB", kBbLog, 16500 + 2500},
        {"GV with spaces", Replies("GV", {" 1.2.3 \r\n"}), kSucceeded, kAll, kBbLog, 16500},
        {"GV without a line end", Replies("GV", {"1.2.3"}), kSucceeded, kAll, kBbLog, 16500 + 2500},
        {"GV V1.2.3", Replies("GV", {"V1.2.3\r\n"}), kUnchanged, kToVersion, "GV after instrument reinstall -> V1.2.3", 16500},
        {"GV 1.2.3b", Replies("GV", {"1.2.3b\r\n"}), kUnchanged, kToVersion, "GV after instrument reinstall -> 1.2.3b", 16500},
        {"version compared case by case", [](Update& u) { App().firmware.version = "v1.2"; u.station.replies["GV"] = {"V1.2\r\n"}; },
         kUnchanged, kToVersion, "GV after instrument reinstall -> V1.2", 16500},
        {"an image without a version takes any", [](Update& u) { App().firmware.version = ""; u.station.replies["GV"] = {"2.0-\xCE\xB2\r\n"}; },
         L"done 1: Прошивка успешно обновлена до версии 2.0-β.", kAll, kBbLog, 16500},
        {"BB after success silent", Replies("BB", {""}), kSucceeded, kAll, "BB after successful update -> ", 16500 + 2500},
        {"cancel during BGV: taken before the first block", At("BGV", 0, cancel), kCancelled, kToBlocks + " BB", kCancelLog, 0},
        {"cancel during DUSUMM", At("DUSUMM", 0, cancel), kCancelled, kToBlocks + " BB", kCancelLog, 0},
        {"cancel during DUSUMM, one block", At("DUSUMM", 0, cancel, 1), kCancelled, kToBlocks + " BB", kCancelLog, 0},
        {"cancel during the second-to-last block", At("DUB", 0, cancel), kCancelled, kToBlocks + " DUB BB", kCancelLog, 0},
        {"cancel during the last block: too late", At("DUB", 1, cancel), kSucceeded, kAll, kBbLog, 16500},
        {"cancel during the only block: too late", At("DUB", 0, cancel, 1), kSucceeded, kToBlocks + " DUB DRST BGV BIC GV BB", kBbLog, 16500},
        {"a cancel left from before the start", [](Update&) { App().cancelRequested.store(true); }, kSucceeded, kAll, kBbLog, 16500},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Update u;
        row.script(u);
        EXPECT_EQ(row.done, u.Run());
        EXPECT_EQ(row.sent, u.Sent());
        EXPECT_EQ(row.lastLog, u.Log().back());
        EXPECT_EQ(row.ms, u.now - 1000000);
    }
}

TEST(UpdateWorker, TwoBlocksGoThroughWithEveryStepShownAndLogged) {
    Update u;
    std::vector<bool> cancelAllowed; // at each progress post
    u.onPost = [&](const std::wstring& post) {
        if (post.rfind(L"progress", 0) == 0) cancelAllowed.push_back(App().cancelAllowed.load());
    };
    EXPECT_EQ(kSucceeded, u.Run());
    EXPECT_EQ((std::vector<std::wstring>{L"line 1: ✓  Подключение к прибору", L"line 2: ✓  Переход в режим обновления", L"progress 50 mark 0",
                                         L"line 3: ●  Передача прошивки: 1 из 2", L"progress 90 mark 1", L"progress 90 mark 0",
                                         L"line 3: ●  Передача прошивки: 2 из 2", L"line 3: ✓  Прошивка передана", L"line 4: ●  Перезапуск прибора",
                                         L"reinstall prompt", L"line 4: ✓  Перезапуск выполнен", L"line 5: ✓  Прибор повторно подключён",
                                         L"progress 100 mark 0", kSucceeded}),
              u.Posts());
    EXPECT_EQ("Available COM ports: COM3 | " + kFound + " | DUSTART -> OK | DUSIZE -> OK | DUSUMM -> OK | DUB 1/2 -> NEXT | DUB 2/2 -> OK | " +
                  "DRST -> OK | Reset confirmed; waiting 15 seconds for the instrument to reboot | Available COM ports: COM3 | " + kFound +
                  " | BIC after instrument reinstall -> 1 | GV after instrument reinstall -> 1.2.3 | " + kBbLog,
              Joined(u.Log()));
    const FirmwareImage& image = App().firmware;
    const std::string commands[] = {"BGV\n", "GB\n", "DUSTART\n", "DUSIZE2\n", "DUSUMM" + std::to_string(image.crc32) + "\n",
                                    MakeBlockCommand(image, 0), MakeBlockCommand(image, 1), "DRST\n", "BGV\n", "BIC\n", "GV\n", "BB\n"};
    for (size_t i = 0; i < 12; ++i) EXPECT_EQ(commands[i], u.writes.at(i).second);
    EXPECT_EQ((std::vector<bool>{true, false, false, false}), cancelAllowed) << "no cancel once the last block is due";
}

// The window writes the history line from what the update found, whichever way it ended.
TEST(UpdateWorker, HandsOverWhereItFoundTheStationItsReplyAndTheBatteryItRead) {
    const std::pair<Script, UpdateFacts> rows[] = {
        {Replies("GB", {"3950 mV\r\n"}), {3, "ZDS-2 1.0\r\n", 3.95}},
        {Replies("GB", {"ERR\r\n"}), {3, "ZDS-2 1.0\r\n", std::nullopt}},
        {Replies("BGV", {"ERROR\r\n"}), {0, "", std::nullopt}},
    };
    for (const auto& [script, facts] : rows) {
        Update u;
        App().updateFacts = {9, "from an earlier update", 4.0};
        script(u);
        u.Run();
        EXPECT_EQ(std::tie(facts.comPort, facts.stationReply, facts.batteryVolts),
                  std::tie(App().updateFacts.comPort, App().updateFacts.stationReply, App().updateFacts.batteryVolts));
    }
}

const std::wstring kStation = L"line 1: ✓  Дата-станция подключена (COM3)", kNoStation = L"line 1: ○  Дата-станция не обнаружена";
const std::wstring kPlace = L"line 2: ○  Установите прибор на дата-станцию", kInstrument = L"line 2: ✓  Прибор обнаружен";
const std::wstring kFailed = L"line 2: ✕  Не удалось проверить прибор", kChecked = L"instrument checked";

// The monitor tries until one check succeeds, with the port free in every pause.
TEST(InstrumentMonitor, TriesUntilOneCheckSucceedsWithAPauseAfterEachOther) {
    Rig rig;
    rig.Unplug(3); // the station comes during the first pause
    rig.onSleep = [&](uint32_t ms) {
        if (ms == kEmptyReadPauseMs) return;
        EXPECT_EQ(0u, rig.OpenHandles()) << "the port is free in a pause";
        rig.Add(3, std::ref(rig.station));
    };
    rig.station.onCommand = [](const std::string& m, size_t n) {
        if (m == "BIC" && n == 0) throw std::runtime_error("line noise");
    };
    rig.station.replies["BIC"] = {"(not sent: the exchange breaks)", "0\r\n", "1\r\n"};
    rig.station.replies["GV"] = {"ERROR\r\n", "", "1.0\r0\x1b[2J\r\n", "1.2.3\r\n"};
    rig.station.replies["GB"] = {"3.95\r\n", "4.0\r\n", std::string(100000, '9') + "\r\n", "ERR\r\n", "3950 mV\r\n"};
    rig.onPost = [](const std::wstring& post) {
        if (post != kChecked) return;
        // Published under the lock, which the monitor still holds (asked from another thread).
        EXPECT_FALSE(std::async(std::launch::async, [] { return std::unique_lock<std::mutex>(App().instrumentMutex, std::try_to_lock).owns_lock(); }).get());
        EXPECT_TRUE(App().instrumentReady);
        EXPECT_DOUBLE_EQ(3.95, App().batteryVoltage);
        EXPECT_EQ("1.2.3", App().instrumentVersion) << "the version as read, trimmed";
    };
    InstrumentMonitor();
    EXPECT_EQ((std::vector<std::wstring>{kNoStation, kStation, kStation, kPlace, kStation, kInstrument, kFailed, kStation, kInstrument, kFailed,
                                         kStation, kInstrument, kFailed, kStation, kInstrument, kFailed, kStation, kInstrument, kChecked}),
              rig.Posts());
    std::string log = Joined(rig.Log()), scan = " | Available COM ports: COM3 | " + kFound;
    for (size_t at; (at = log.find(scan)) != std::string::npos;) log.erase(at, scan.size()); // one in each attempt
    EXPECT_EQ("Available COM ports: none | Instrument check stopped by an internal error: line noise | BIC -> 0 | BIC -> 1 | GV -> ERROR | "
              "GB -> 3.95 | BIC -> 1 | GV ->  | GB -> 4.0 | BIC -> 1 | GV -> 1.0\\x0d0\\x1b[2J | GB -> " + std::string(200, '9') +
                  "... (100000 bytes) | BIC -> 1 | GV -> 1.2.3 | GB -> ERR | BIC -> 1 | GV -> 1.2.3 | GB -> 3950 mV",
              log);
    EXPECT_EQ((std::vector<uint32_t>{1200, 1200, 900, 1200, 1200, 1200, 1200}), rig.pauses);
    EXPECT_EQ(10100u, rig.now - 1000000) << "the pauses, and 2000 ms for the silent GV";
    EXPECT_EQ(3, App().preferredPort.load());
}

// After an update the instrument on the station is the one just updated: the next one is checked
// once the station reports it lifted (a silent station tells nothing).
TEST(InstrumentMonitor, TheNextInstrumentIsCheckedOnlyOnceTheUpdatedOneWasLifted) {
    Rig rig;
    rig.station.replies["BIC"] = {"1\r\n", "", "0\r\n", "1\r\n"};
    NextInstrumentMonitor();
    const std::wstring lift = L"line 2: ○  Снимите обновлённый прибор и установите следующий";
    EXPECT_EQ((std::vector<std::wstring>{kStation, lift, kStation, lift, kStation, kPlace, kStation, kInstrument, kChecked}), rig.Posts());
    EXPECT_EQ((std::vector<uint32_t>{900, 900, 900}), rig.pauses);
    for (std::atomic<bool>* flag : {&App().appClosing, &App().operationBusy}) { // no monitor while either holds
        Rig again;
        flag->store(true);
        InstrumentMonitor();
        EXPECT_EQ(0u, again.Posts().size() + again.Log().size());
    }
}

TEST(FindStation, AsksThePortsWithBgvPreferredFirstAndKeepsTheFirstThatAnswers) {
    const Device silent = [](const std::string&) { return ""; };
    const Device closesTheProgram = [](const std::string&) { App().appClosing.store(true); return ""; };
    const std::wstring bt = L"BTHENUM\\{00001101-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002\\7&1D4E1F&0&0017E9D2A1B2_C00000000";
    SerialPort other;
    const struct {
        const char* name;
        std::function<void(Rig&)> ports; // the station is on COM3
        int preferred, found;
        std::string log;
    } rows[] = {
        {"the third port", [&](Rig& r) { r.Add(1, silent); r.Add(2, silent); }, 0, 3,
         "Available COM ports: COM1 COM2 COM3 | COM1 BGV ->  | COM2 BGV ->  | " + kFound},
        {"the preferred first", [&](Rig& r) { r.Add(1, silent); r.Add(2, silent); }, 3, 3, "Available COM ports: COM3 COM1 COM2 | " + kFound},
        {"ERROR is no answer", [](Rig& r) { r.Add(2, [](const std::string&) { return "ERROR\r\n"; }); }, 0, 3,
         "Available COM ports: COM2 COM3 | COM2 BGV -> ERROR | " + kFound},
        {"a part at the deadline is", [](Rig& r) { r.station.replies["BGV"] = {"V1.2"}; }, 0, 3, "Available COM ports: COM3 | COM3 BGV -> V1.2"},
        {"held and refusing ports skipped", [&](Rig& r) { r.Add(1, silent, Rig::Held); r.Add(2, silent, Rig::Refuses); }, 0, 3,
         "Available COM ports: COM1 COM2 COM3 | COM1 is in use by another program | " + kFound},
        {"held by another worker", [&](Rig&) { OpenPort(other, 3); }, 3, 0, "Available COM ports: COM3"},
        {"a port another scan waits for: skipped, not called slow", [&](Rig& r) { r.Add(2, silent); r.Block(2); r.onSleep = [&r, once = false](uint32_t) mutable { if (std::exchange(once, true)) return; SerialPort b; FindStation(b, 0); ClosePort(b); r.Release(2); }; },
         0, 3, "Available COM ports: COM2 COM3 | Available COM ports: COM2 COM3 | " + kFound + " | COM2 BGV ->  | " + kFound},
        // A Bluetooth link's open waits while the radio connects, and a probe writes to whatever answers.
        {"Bluetooth ports never opened, and said so once a run", [&](Rig& r) { r.Add(1, silent); r.Add(2, silent); r.devices = {{.instanceId = bt, .portName = L"COM1"}, {.instanceId = L"bthenum\\1", .portName = L"COM2"}}; FindStation(other, 0); ClosePort(other); },
         0, 3, "Available COM ports: COM1 COM2 COM3 | COM1 skipped: Bluetooth serial port | COM2 skipped: Bluetooth serial port | " + kFound + " | Available COM ports: COM1 COM2 COM3 | " + kFound},
        {"no device list: none skipped on a guess", [&](Rig& r) { r.Add(1, silent); r.devices = {{.instanceId = bt, .portName = L"COM1"}}; r.devicesFail = true; }, 0, 3,
         "Available COM ports: COM1 COM3 | COM1 BGV ->  | " + kFound},
        {"no instance ID, no port name, another bus", [&](Rig& r) { r.Add(1, silent); r.Add(2, silent); r.devices = {{.instanceId = L"", .portName = L"COM1"}, {.instanceId = bt, .portName = L""}, {.instanceId = L"BTHENUMX\\1", .portName = L"COM2"}}; },
         0, 3, "Available COM ports: COM1 COM2 COM3 | COM1 BGV ->  | COM2 BGV ->  | " + kFound},
        {"no ports", [](Rig& r) { r.Unplug(3); }, 0, 0, "Available COM ports: none"},
        {"listing fails", [](Rig& r) { r.listingErrors = {5}; }, 3, 0, "COM port enumeration failed: Windows error 5 | Available COM ports: none"},
        {"the program closing", [](Rig&) { App().appClosing.store(true); }, 0, 0, "Available COM ports: COM3"},
        {"closing during the scan", [&](Rig& r) { r.Add(1, closesTheProgram); }, 0, 0,
         "Available COM ports: COM1 COM3 | COM1 BGV -> "},
    };
    for (const auto& row : rows) {
        Rig rig;
        row.ports(rig);
        SerialPort port;
        EXPECT_EQ(row.found != 0, FindStation(port, row.preferred)) << row.name;
        EXPECT_EQ(row.found != 0, IsPortOpen(port)) << row.name;
        EXPECT_EQ(row.found, port.portNumber) << row.name;
        EXPECT_EQ(row.log, Joined(rig.Log())) << row.name;
        ClosePort(port);
        ClosePort(other);
    }
}

// An open that blocks (a Bluetooth link the system does not name as one) costs a scan 1 s and goes
// on in the background. A later scan waits for it up to 5 s from its start and takes it over; a
// port once slow gets 5 s for a new open too; a late handle is closed when its open completes.
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
    const std::string list = "Available COM ports: COM2 COM3 | ";
    EXPECT_EQ(list + "COM2 did not open within 1 s; skipped | " + kFound + " | " + list + "COM2 BGV ->  | " + kFound + " | " + list +
                  "COM2 did not open within 5 s; skipped | " + kFound,
              Joined(rig.Log()));
}

TEST(DisconnectWorker, SendsBbIfItFindsTheStationAndReportsCancelledWithThePortFree) {
    const std::pair<std::function<void(Rig&)>, std::string> rows[] = {
        {[](Rig&) {}, "Available COM ports: COM3 COM2 | " + kFound + " | BB (cancel/disconnect) -> OK"},
        {[](Rig& r) { r.station.replies["BB"] = {""}; }, "Available COM ports: COM3 COM2 | " + kFound + " | BB (cancel/disconnect) -> "},
        {[](Rig& r) { r.Unplug(3); }, "Available COM ports: COM2 | COM2 BGV -> "},
        {[](Rig& r) { r.station.onCommand = [](const std::string& m, size_t) { if (m == "BB") throw std::runtime_error("noise"); }; },
         "Available COM ports: COM3 COM2 | " + kFound + " | Disconnect stopped by an internal error: noise"},
    };
    for (const auto& [script, log] : rows) {
        Rig rig;
        rig.Add(2, [](const std::string&) { return ""; });
        script(rig);
        App().preferredPort.store(3);
        App().operationBusy.store(true);
        rig.onPost = [&rig](const std::wstring&) { // the window may start a new monitor at once
            EXPECT_FALSE(App().operationBusy.load());
            EXPECT_EQ(0u, rig.OpenHandles());
        };
        DisconnectWorker();
        EXPECT_EQ((std::vector<std::wstring>{L"progress 0 mark 0", L"done 2: Обновление отменено. Прибор отключён от дата-станции."}), rig.Posts());
        EXPECT_EQ(log, Joined(rig.Log()));
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
        EXPECT_EQ(kChecked, rig.Posts().back());
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
    EXPECT_EQ(kCancelled, u.Posts().back());
    EXPECT_EQ(kToBlocks + " BB", u.Sent());
}

} // namespace
