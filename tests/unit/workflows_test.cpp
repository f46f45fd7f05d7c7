// The workers against the faked station on COM3, on the test's own thread under the virtual clock,
// where every reply comes at once: a time below is what the deadlines and pauses add up to.

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <stdexcept>

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
const std::wstring kSucceeded = L"done 1: Прошивка успешно обновлена до версии ";
const std::wstring kCancelled = L"done 2: Обновление отменено. Основная прошивка прибора не изменена.";

const std::string kToBlocks = "BGV GB DUSTART DUSIZE DUSUMM";
const std::string kToReset = kToBlocks + " DUB DUB DRST";
const std::string kToVersion = kToReset + " BGV BIC GV";
const std::string kAll = kToVersion + " BB";

// An update of a two-block image of version 1.2.3, with checks that hold on every way out.
struct Update : Rig {
    explicit Update(size_t blocks = 2) {
        UseBlocks(blocks);
        posts.onPost = [this](const std::wstring& post) {
            if (post == L"reinstall prompt" && atPrompt) atPrompt();
            prompted = prompted || post == L"reinstall prompt";
        };
        clock.onSleep = [this](uint32_t ms) {
            if (prompted && ms == 1500) {
                EXPECT_EQ(0u, serial.OpenHandles()) << "the port is free while the update pauses";
            }
        };
    }
    std::wstring Run() {
        UpdateWorker();
        const std::vector<std::wstring> all = posts.All();
        EXPECT_EQ(1, std::count_if(all.begin(), all.end(), [](const std::wstring& p) { return p.rfind(L"done", 0) == 0; }));
        EXPECT_EQ(0u, serial.OpenHandles()) << "the port is closed on every way out";
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

std::function<void(Update&)> Replies(const char* mnemonic, std::vector<std::string> replies) {
    return [=](Update& u) { u.station.replies[mnemonic] = replies; };
}

// The window's cancel click while the station handles the nth command of that mnemonic.
std::function<void(Update&)> CancelAt(const char* mnemonic, size_t nth = 0, size_t blocks = 2) {
    return [=](Update& u) {
        u.UseBlocks(blocks);
        u.station.onCommand = [=](const std::string& m, size_t n) {
            if (m == mnemonic && n == nth) App().cancelRequested.store(true);
        };
    };
}

TEST(UpdateWorker, EveryEndingHasItsResultTextLastCommandLastLogLineAndTime) {
    const struct {
        const char* name;
        std::function<void(Update&)> script;
        std::wstring done;
        std::string sent, lastLog;
        uint64_t ms;
    } rows[] = {
        {"station silent", Replies("BGV", {""}), kStationLost, "BGV", "COM3 BGV -> ", 700},
        {"station answers ERROR", Replies("BGV", {"ERROR\r\n"}), kStationLost, "BGV", "COM3 BGV -> ERROR", 0},
        {"no station", [](Update& u) { u.serial.Unplug(3); }, kStationLost, "", "Available COM ports: none", 0},
        {"battery without a number", Replies("GB", {"ERR\r\n"}), kBatteryUnreadable, "BGV GB", "COM3 BGV -> ZDS-2 1.0", 0},
        {"battery silent", Replies("GB", {""}), kBatteryUnreadable, "BGV GB", "COM3 BGV -> ZDS-2 1.0", 2500},
        {"battery out of range", Replies("GB", {"7.2\r\n"}), kBatteryUnreadable, "BGV GB", "COM3 BGV -> ZDS-2 1.0", 0},
        {"battery 3.89 V", Replies("GB", {"3.89\r\n"}), kBatteryLow, "BGV GB", "COM3 BGV -> ZDS-2 1.0", 0},
        {"battery 3899 mV", Replies("GB", {"3899 mV\r\n"}), kBatteryLow, "BGV GB", "COM3 BGV -> ZDS-2 1.0", 0},
        {"battery 3.9 V", Replies("GB", {"3.9\r\n"}), kSucceeded + L"1.2.3.", kAll, "BB after successful update -> OK", 16500},
        {"DUSTART refused", Replies("DUSTART", {"ERROR\r\n"}), kNoUpdateMode, "BGV GB DUSTART", "DUSTART -> ERROR", 0},
        {"DUSTART silent", Replies("DUSTART", {""}), kNoUpdateMode, "BGV GB DUSTART", "DUSTART -> ", 3000},
        {"DUSIZE refused: a DRST leaves update mode, whatever it answers, unlogged",
         [](Update& u) { u.station.replies["DUSIZE"] = {"ERR\r\n"}, u.station.replies["DRST"] = {""}; }, kRefused,
         "BGV GB DUSTART DUSIZE DRST", "DUSIZE -> ERR", 1000},
        {"DUSIZE silent", Replies("DUSIZE", {""}), kRefused, "BGV GB DUSTART DUSIZE DRST", "DUSIZE -> ", 3000},
        {"DUSUMM silent", Replies("DUSUMM", {""}), kRefused, kToBlocks + " DRST", "DUSUMM -> ", 3000},
        {"first block refused", Replies("DUB", {"FAIL\r\n"}), kBroken, kToBlocks + " DUB", "DUB 1/2 -> FAIL", 0},
        {"block silent", Replies("DUB", {""}), kBroken, kToBlocks + " DUB", "DUB 1/2 -> ", 6000},
        {"OK to an earlier block", Replies("DUB", {"OK\r\n"}), kBroken, kToBlocks + " DUB", "DUB 1/2 -> OK", 0},
        {"NEXT to the last block", Replies("DUB", {"NEXT\r\n"}), kBroken, kToBlocks + " DUB DUB", "DUB 2/2 -> NEXT", 0},
        {"lower-case next and ok", Replies("DUB", {" next\r\n", "ok\r\n"}), kSucceeded + L"1.2.3.", kAll, "BB after successful update -> OK",
         16500},
        {"reset refused", Replies("DRST", {"ERR\r\n"}), kResetUnconfirmed, kToReset, "DRST -> ERR", 1500},
        {"reset silent", Replies("DRST", {""}), kResetUnconfirmed, kToReset, "DRST -> ", 3000},
        {"closing during the wait: no scan", [](Update& u) { u.atPrompt = [] { App().appClosing.store(true); }; }, kNotBack, kToReset,
         "Reset confirmed; waiting 15 seconds for the instrument to reboot", 16500},
        {"station gone after the prompt: a scan every 1.5 s until 120 s after the wait",
         [](Update& u) { u.atPrompt = [&u] { u.serial.Unplug(3); }; }, kNotBack, kToReset, "Available COM ports: none", 136500},
        {"instrument back at the third try", Replies("BIC", {"0\r\n", "", "1\r\n"}), kSucceeded + L"1.2.3.",
         kToReset + " BGV BIC BGV BIC BGV BIC GV BB", "BB after successful update -> OK", 16500 + 1500 + 1200 + 1500},
        {"closing during a reconnect attempt ends it after the attempt",
         [](Update& u) {
             u.station.replies["BIC"] = {"0\r\n"};
             u.station.onCommand = [](const std::string& m, size_t) {
                 if (m == "BIC") App().appClosing.store(true);
             };
         },
         kNotBack, kToReset + " BGV BIC", "BIC after instrument reinstall -> 0", 18000},
        {"GV ERROR or nothing: asked again at once", Replies("GV", {"ERROR\r\n", "", "1.2.3\r\n"}), kSucceeded + L"1.2.3.",
         kToReset + " BGV BIC GV BGV BIC GV BGV BIC GV BB", "BB after successful update -> OK", 16500 + 2500},
        {"BB after success silent", Replies("BB", {""}), kSucceeded + L"1.2.3.", kAll, "BB after successful update -> ", 19000},
        {"version with spaces", Replies("GV", {" 1.2.3 \r\n"}), kSucceeded + L"1.2.3.", kAll, "BB after successful update -> OK", 16500},
        {"version without a line end", Replies("GV", {"1.2.3"}), kSucceeded + L"1.2.3.", kAll, "BB after successful update -> OK", 19000},
        {"version V1.2.3", Replies("GV", {"V1.2.3\r\n"}), kUnchanged, kToVersion, "GV after instrument reinstall -> V1.2.3", 16500},
        {"version 1.2.3b", Replies("GV", {"1.2.3b\r\n"}), kUnchanged, kToVersion, "GV after instrument reinstall -> 1.2.3b", 16500},
        {"version 1.2.4", Replies("GV", {"1.2.4\r\n"}), kUnchanged, kToVersion, "GV after instrument reinstall -> 1.2.4", 16500},
        {"version compared case by case",
         [](Update& u) { App().firmware.version = "v1.2", u.station.replies["GV"] = {"V1.2\r\n"}; }, kUnchanged, kToVersion,
         "GV after instrument reinstall -> V1.2", 16500},
        {"an image without a version takes any",
         [](Update& u) { App().firmware.version = "", u.station.replies["GV"] = {"2.0-\xCE\xB2\r\n"}; }, kSucceeded + L"2.0-β.", kAll,
         "BB after successful update -> OK", 16500},
        {"cancel during BGV", CancelAt("BGV"), kCancelled, kToBlocks + " BB", "BB (update cancelled) -> OK", 0},
        {"cancel during GB", CancelAt("GB"), kCancelled, kToBlocks + " BB", "BB (update cancelled) -> OK", 0},
        {"cancel during DUSTART", CancelAt("DUSTART"), kCancelled, kToBlocks + " BB", "BB (update cancelled) -> OK", 0},
        {"cancel during DUSIZE", CancelAt("DUSIZE"), kCancelled, kToBlocks + " BB", "BB (update cancelled) -> OK", 0},
        {"cancel during DUSUMM", CancelAt("DUSUMM"), kCancelled, kToBlocks + " BB", "BB (update cancelled) -> OK", 0},
        {"cancel during DUSUMM, one block", CancelAt("DUSUMM", 0, 1), kCancelled, kToBlocks + " BB",
         "BB (update cancelled) -> OK", 0},
        {"cancel during the second-to-last block", CancelAt("DUB", 0), kCancelled, kToBlocks + " DUB BB",
         "BB (update cancelled) -> OK", 0},
        {"cancel during the last block: too late", CancelAt("DUB", 1), kSucceeded + L"1.2.3.", kAll, "BB after successful update -> OK",
         16500},
        {"cancel during the only block: too late", CancelAt("DUB", 0, 1), kSucceeded + L"1.2.3.",
         kToBlocks + " DUB DRST BGV BIC GV BB", "BB after successful update -> OK", 16500},
        {"a cancel left from before the start", [](Update&) { App().cancelRequested.store(true); }, kSucceeded + L"1.2.3.", kAll,
         "BB after successful update -> OK", 16500},
        {"an unexpected error",
         [](Update& u) {
             u.station.onCommand = [](const std::string& m, size_t) {
                 if (m == "DUB") throw std::runtime_error("broke");
             };
         },
         kBroken, kToBlocks + " DUB", "Update stopped by an internal error: broke", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Update u;
        row.script(u);
        EXPECT_EQ(row.done, u.Run());
        EXPECT_EQ(row.sent, u.serial.Sent());
        EXPECT_EQ(row.lastLog, u.log.Lines().back());
        EXPECT_EQ(row.ms, u.clock.now - 1000000);
    }
}

TEST(UpdateWorker, TwoBlocksGoThroughWithEveryStepShownAndLogged) {
    Update u;
    std::vector<bool> cancelAllowed; // when the progress moves
    u.posts.onPost = [&](const std::wstring& post) {
        if (post.rfind(L"progress", 0) == 0) cancelAllowed.push_back(App().cancelAllowed.load());
    };
    EXPECT_EQ(kSucceeded + L"1.2.3.", u.Run());
    EXPECT_EQ((std::vector<std::wstring>{L"line 1: ✓  Подключение к прибору", L"line 2: ✓  Переход в режим обновления",
                                         L"progress 50 mark 0", L"line 3: ●  Передача прошивки: 1 из 2", L"progress 90 mark 1",
                                         L"progress 90 mark 0", L"line 3: ●  Передача прошивки: 2 из 2", L"line 3: ✓  Прошивка передана",
                                         L"line 4: ●  Перезапуск прибора", L"reinstall prompt", L"line 4: ✓  Перезапуск выполнен",
                                         L"line 5: ✓  Прибор повторно подключён", L"progress 100 mark 0", kSucceeded + L"1.2.3."}),
              u.posts.All());
    EXPECT_EQ((std::vector<std::string>{"Available COM ports: COM3", "COM3 BGV -> ZDS-2 1.0", "DUSTART -> OK", "DUSIZE -> OK",
                                        "DUSUMM -> OK", "DUB 1/2 -> NEXT", "DUB 2/2 -> OK", "DRST -> OK",
                                        "Reset confirmed; waiting 15 seconds for the instrument to reboot", "Available COM ports: COM3",
                                        "COM3 BGV -> ZDS-2 1.0", "BIC after instrument reinstall -> 1",
                                        "GV after instrument reinstall -> 1.2.3", "BB after successful update -> OK"}),
              u.log.Lines());
    const FirmwareImage& image = App().firmware;
    const std::vector<std::string> commands = {"BGV\n", "GB\n", "DUSTART\n", "DUSIZE2\n", "DUSUMM" + std::to_string(image.crc32) + "\n",
                                               MakeBlockCommand(image, 0), MakeBlockCommand(image, 1), "DRST\n", "BGV\n", "BIC\n", "GV\n",
                                               "BB\n"};
    for (size_t i = 0; i < commands.size(); ++i) EXPECT_EQ(commands[i], u.serial.writes.at(i).second);
    EXPECT_EQ((std::vector<bool>{true, false, false, false}), cancelAllowed) << "no cancel once the last block is due";
    EXPECT_FALSE(App().cancelAllowed.load());
}

TEST(UpdateWorker, ProgressMovesFrom10To90WithTheFinalMarkBeforeTheLastBlock) {
    const std::pair<size_t, std::wstring> rows[] = {
        {1, L"90 mark 1, 90 mark 0, 100 mark 0, "},
        {3, L"36 mark 0, 63 mark 0, 90 mark 1, 90 mark 0, 100 mark 0, "},
        {7, L"21 mark 0, 32 mark 0, 44 mark 0, 55 mark 0, 67 mark 0, 78 mark 0, 90 mark 1, 90 mark 0, 100 mark 0, "},
    };
    for (const auto& [blocks, expected] : rows) {
        Update u(blocks);
        u.Run();
        std::wstring progress;
        for (const std::wstring& post : u.posts.All())
            if (post.rfind(L"progress ", 0) == 0) progress += post.substr(9) + L", ";
        EXPECT_EQ(expected, progress) << blocks;
    }
}

TEST(UpdateWorker, PostsTheWindowCannotTakeAreFreedByTheWorker) {
    Update u;
    u.posts.refusing = true; // the window is gone; the sanitizers see a leak
    UpdateWorker();
    EXPECT_EQ(0u, u.posts.All().size());
    EXPECT_EQ("BB after successful update -> OK", u.log.Lines().back());
}

const std::wstring kStation = L"line 1: ✓  Дата-станция подключена (COM3)";
const std::wstring kNoStation = L"line 1: ○  Дата-станция не обнаружена";
const std::wstring kPlace = L"line 2: ○  Установите прибор на дата-станцию";
const std::wstring kFound = L"line 2: ✓  Прибор обнаружен";
const std::wstring kFailed = L"line 2: ✕  Не удалось проверить прибор";
const std::wstring kLift = L"line 2: ○  Снимите обновлённый прибор и установите следующий";

// The monitor tries until one check succeeds, and frees the port before every pause.
TEST(InstrumentMonitor, TriesUntilOneCheckSucceedsWithAPauseAfterEachOther) {
    Rig rig;
    rig.serial.Unplug(3); // the station comes during the first pause
    rig.clock.onSleep = [&](uint32_t ms) {
        if (ms == kEmptyReadPauseMs) return;
        EXPECT_EQ(0u, rig.serial.OpenHandles());
        rig.serial.Add(3, std::ref(rig.station));
    };
    rig.station.onCommand = [](const std::string& m, size_t n) {
        if (m == "BIC" && n == 0) throw std::runtime_error("line noise");
    };
    rig.station.replies["BIC"] = {"(not sent)", "0\r\n", "1\r\n"};
    rig.station.replies["GV"] = {"ERROR\r\n", "", "1.0\r0\x1b[2J\r\n", "1.2.3\r\n"};
    rig.station.replies["GB"] = {"3.95\r\n", "4.0\r\n", std::string(100000, '9') + "\r\n", "ERR\r\n", "3950 mV\r\n"};
    rig.posts.onPost = [](const std::wstring& post) {
        if (post != L"instrument checked") return;
        // Published under the lock, which the monitor still holds (asked from another thread).
        EXPECT_FALSE(std::async(std::launch::async, [] {
                         const bool free = App().instrumentMutex.try_lock();
                         if (free) App().instrumentMutex.unlock();
                         return free;
                     }).get());
        EXPECT_TRUE(App().instrumentReady);
        EXPECT_DOUBLE_EQ(3.95, App().batteryVoltage);
    };
    InstrumentMonitor();
    EXPECT_EQ((std::vector<std::wstring>{kNoStation, kStation, kStation, kPlace, kStation, kFound, kFailed, kStation, kFound, kFailed,
                                         kStation, kFound, kFailed, kStation, kFound, kFailed, kStation, kFound, L"instrument checked"}),
              rig.posts.All());
    std::vector<std::string> log = rig.log.Lines();
    const auto scans = std::remove_if(log.begin(), log.end(), [](const std::string& line) {
        return line == "Available COM ports: COM3" || line == "COM3 BGV -> ZDS-2 1.0";
    });
    EXPECT_EQ(14, log.end() - scans) << "a scan in each of the 7 attempts with the station";
    log.erase(scans, log.end());
    EXPECT_EQ((std::vector<std::string>{"Available COM ports: none", "Instrument check stopped by an internal error: line noise",
                                        "BIC -> 0", "BIC -> 1", "GV -> ERROR", "GB -> 3.95", "BIC -> 1", "GV -> ", "GB -> 4.0", "BIC -> 1",
                                        "GV -> 1.0\\x0d0\\x1b[2J", "GB -> " + std::string(200, '9') + "... (100000 bytes)", "BIC -> 1",
                                        "GV -> 1.2.3", "GB -> ERR", "BIC -> 1", "GV -> 1.2.3", "GB -> 3950 mV"}),
              log);
    EXPECT_EQ((std::vector<uint32_t>{1200, 1200, 900, 1200, 1200, 1200, 1200}), rig.clock.pauses);
    EXPECT_EQ(10100u, rig.clock.now - 1000000) << "the pauses, and 2000 ms for the silent GV";
    EXPECT_EQ(3, App().preferredPort.load());
}

// After an update the instrument on the station is the one just updated: the next is checked once
// the station reports it lifted (a silent station tells nothing).
TEST(InstrumentMonitor, TheNextInstrumentIsCheckedOnlyOnceTheUpdatedOneWasLifted) {
    Rig rig;
    rig.station.replies["BIC"] = {"1\r\n", "", "0\r\n", "1\r\n"};
    NextInstrumentMonitor();
    EXPECT_EQ((std::vector<std::wstring>{kStation, kLift, kStation, kLift, kStation, kPlace, kStation, kFound, L"instrument checked"}),
              rig.posts.All());
    EXPECT_EQ((std::vector<uint32_t>{900, 900, 900}), rig.clock.pauses);
}

TEST(InstrumentMonitor, DoesNothingWhileTheProgramClosesOrAnOperationRuns) {
    for (std::atomic<bool> AppState::*flag : {&AppState::appClosing, &AppState::operationBusy}) {
        Rig rig;
        (App().*flag).store(true);
        InstrumentMonitor();
        EXPECT_EQ(0u, rig.posts.All().size());
        EXPECT_EQ(0u, rig.log.Lines().size());
    }
}

TEST(FindStation, AsksThePortsWithBgvPreferredFirstAndKeepsTheFirstThatAnswers) {
    const Device silent = [](const std::string&) { return ""; };
    SerialPort other;
    const struct {
        const char* name;
        std::function<void(Rig&)> ports; // the station is on COM3
        int preferred, found;
        std::vector<std::string> log;
    } rows[] = {
        {"the third port", [&](Rig& r) { r.serial.Add(1, silent), r.serial.Add(2, silent); }, 0, 3,
         {"Available COM ports: COM1 COM2 COM3", "COM1 BGV -> ", "COM2 BGV -> ", "COM3 BGV -> ZDS-2 1.0"}},
        {"the preferred port first", [&](Rig& r) { r.serial.Add(1, silent), r.serial.Add(2, silent); }, 3, 3,
         {"Available COM ports: COM3 COM1 COM2", "COM3 BGV -> ZDS-2 1.0"}},
        {"ERROR is no answer", [](Rig& r) { r.serial.Add(2, [](const std::string&) { return "ERROR\r\n"; }); }, 0, 3,
         {"Available COM ports: COM2 COM3", "COM2 BGV -> ERROR", "COM3 BGV -> ZDS-2 1.0"}},
        {"nor white space", [](Rig& r) { r.station.replies["BGV"] = {" \t \r\n"}; }, 0, 0, {"Available COM ports: COM3", "COM3 BGV -> "}},
        {"nor FAIL", [](Rig& r) { r.station.replies["BGV"] = {"boot fail\r\n"}; }, 0, 0,
         {"Available COM ports: COM3", "COM3 BGV -> boot fail"}},
        {"a part at the deadline is", [](Rig& r) { r.station.replies["BGV"] = {"V1.2"}; }, 0, 3,
         {"Available COM ports: COM3", "COM3 BGV -> V1.2"}},
        {"held and refusing ports skipped without a line",
         [&](Rig& r) { r.serial.Add(1, silent, FakeSerial::Held), r.serial.Add(2, silent, FakeSerial::Refuses); }, 0, 3,
         {"Available COM ports: COM1 COM2 COM3", "COM3 BGV -> ZDS-2 1.0"}},
        {"held by another worker", [&](Rig&) { OpenPort(other, 3); }, 3, 0, {"Available COM ports: COM3"}},
        {"no ports", [](Rig& r) { r.serial.Unplug(3); }, 0, 0, {"Available COM ports: none"}},
        {"listing fails", [](Rig& r) { r.serial.listingError = 5; }, 3, 0,
         {"COM port enumeration failed: Windows error 5", "Available COM ports: none"}},
        {"the program closing", [](Rig&) { App().appClosing.store(true); }, 0, 0, {"Available COM ports: COM3"}},
        {"closing during the scan",
         [](Rig& r) {
             r.serial.Add(1, [](const std::string&) {
                 App().appClosing.store(true);
                 return "";
             });
         }, 0, 0,
         {"Available COM ports: COM1 COM3", "COM1 BGV -> "}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        row.ports(rig);
        SerialPort port;
        EXPECT_EQ(row.found != 0, FindStation(port, row.preferred));
        EXPECT_EQ(row.found != 0, IsPortOpen(port));
        EXPECT_EQ(row.found, port.portNumber);
        EXPECT_EQ(row.log, rig.log.Lines());
        ClosePort(port);
        ClosePort(other);
    }
}

TEST(DisconnectWorker, SendsBbIfItFindsTheStationAndReportsCancelledWithThePortFree) {
    const struct {
        const char* name;
        std::function<void(Rig&)> script;
        std::vector<std::string> log;
    } rows[] = {
        {"BB answered", [](Rig&) {}, {"Available COM ports: COM3 COM2", "COM3 BGV -> ZDS-2 1.0", "BB (cancel/disconnect) -> OK"}},
        {"BB unanswered", [](Rig& r) { r.station.replies["BB"] = {""}; },
         {"Available COM ports: COM3 COM2", "COM3 BGV -> ZDS-2 1.0", "BB (cancel/disconnect) -> "}},
        {"station gone", [](Rig& r) { r.serial.Unplug(3); }, {"Available COM ports: COM2", "COM2 BGV -> "}},
        {"an error",
         [](Rig& r) {
             r.station.onCommand = [](const std::string& m, size_t) {
                 if (m == "BB") throw std::runtime_error("noise");
             };
         },
         {"Available COM ports: COM3 COM2", "COM3 BGV -> ZDS-2 1.0", "Disconnect stopped by an internal error: noise"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        rig.serial.Add(2, [](const std::string&) { return ""; });
        row.script(rig);
        App().preferredPort.store(3);
        App().operationBusy.store(true);
        rig.posts.onPost = [&rig](const std::wstring&) {
            EXPECT_FALSE(App().operationBusy.load()) << "cleared before the posts";
            EXPECT_EQ(0u, rig.serial.OpenHandles()) << "the port is free before the window starts a new monitor";
        };
        DisconnectWorker();
        EXPECT_EQ((std::vector<std::wstring>{L"progress 0 mark 0", L"done 2: Обновление отменено. Прибор отключён от дата-станции."}),
                  rig.posts.All());
        EXPECT_EQ(row.log, rig.log.Lines());
    }
}

// Workers on real threads, so that ThreadSanitizer sees a worker beside the window's thread.
constexpr uint32_t kPatienceMs = 20000;

TEST(WorkerThreads, CountedUntilTheirProcedureEndsWhicheverWay) {
    static std::promise<void> release;
    StartDetachedWorker([] { release.get_future().wait(); });
    EXPECT_EQ(1, App().runningWorkers.load());
    EXPECT_FALSE(WaitForWorkers(30));
    release.set_value();
    EXPECT_TRUE(WaitForWorkers(kPatienceMs));
    EXPECT_EQ(0, App().runningWorkers.load());
    LogCapture log;
    StartDetachedWorker([] { throw std::runtime_error("worker broke"); });
    EXPECT_TRUE(WaitForWorkers(kPatienceMs));
    EXPECT_EQ(std::vector<std::string>{"Worker stopped by an error: worker broke"}, log.Lines());
    EXPECT_TRUE(WaitForWorkers(0));
}

TEST(WorkerThreads, MonitorsStartOnTheirOwnThreadUnlessAnOperationIsBusy) {
    for (void (*start)() : {StartInstrumentMonitor, StartNextInstrumentMonitor}) {
        Rig rig;
        rig.station.replies["BIC"] = {"1\r\n", "0\r\n", "1\r\n"};
        App().operationBusy.store(true);
        start();
        EXPECT_EQ(0, App().runningWorkers.load());
        App().operationBusy.store(false);
        start();
        ASSERT_TRUE(WaitForWorkers(kPatienceMs));
        EXPECT_EQ(L"instrument checked", rig.posts.All().back());
        EXPECT_EQ(start == StartInstrumentMonitor ? 3u : 7u, rig.posts.All().size());
        EXPECT_TRUE(App().instrumentReady);
    }
}

TEST(WorkerThreads, ACancelClickedWhileTheUpdateAnnouncesTheImageStopsItBeforeBlockOne) {
    Update u;
    std::promise<void> atDusumm, goOn;
    u.station.onCommand = [&](const std::string& m, size_t) {
        if (m != "DUSUMM") return;
        atDusumm.set_value();
        goOn.get_future().wait();
    };
    StartDetachedWorker(UpdateWorker);
    atDusumm.get_future().wait();
    if (App().cancelAllowed.load()) App().cancelRequested.exchange(true); // the window's click
    goOn.set_value();
    ASSERT_TRUE(WaitForWorkers(kPatienceMs));
    EXPECT_EQ(kCancelled, u.posts.All().back());
    EXPECT_EQ(kToBlocks + " BB", u.serial.Sent());
}

} // namespace
