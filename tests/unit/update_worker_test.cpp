#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "core/notifications.h"
#include "serial/serial_port.h"
#include "tests/support/station_script.h"
#include "tests/support/workflow_rig.h"
#include "workflows/workflows.h"

namespace {

const std::wstring kStationLost = L"Дата-станция потеряна.";
const std::wstring kBatteryUnreadable = L"Не удалось повторно проверить аккумулятор.";
const std::wstring kBatteryLow = L"Напряжение аккумулятора стало ниже 3,90 В.";
const std::wstring kNoUpdateMode = L"Прибор не поддерживает запуск DFWU. Прошивка не изменена.";
const std::wstring kParametersRefused = L"Прибор отклонил параметры файла прошивки.";
const std::wstring kCancelled = L"Обновление отменено. Основная прошивка прибора не изменена.";
const std::wstring kTransferBroken = L"Передача прошивки прервана. Не снимайте прибор и обратитесь в поддержку.";
const std::wstring kResetUnconfirmed = L"Команда перезапуска не подтверждена. Не снимайте прибор.";
const std::wstring kNotBack = L"Прибор не подключился повторно. Поднимите его и снова установите на дата-станцию.";
const std::wstring kVersionUnchanged = L"Прибор перезапустился, но версия не изменилась. Возможна проблема с bootloader.";
const std::wstring kSucceeded123 = L"Прошивка успешно обновлена до версии 1.2.3.";

constexpr int kStationPort = 3;

// A whole update against the station on COM3, run on the test's own thread.
struct UpdateRig {
    explicit UpdateRig(size_t blocks = 2, const std::string& version = "1.2.3") {
        App().firmware = TestImage(blocks, version);
        App().firmwareReady = true;
        rig.serial.AddDevice(kStationPort, [this](const std::string& command) {
            if (beforeReply) beforeReply(command);
            return station.Answer(command);
        });
        rig.posts.SetObserver([this](const Notification& n) {
            postTimes.push_back(rig.clock.Now());
            if (n.code == MSG_REINSTALL_PROMPT) promptAt = rig.clock.Now();
            if (onPost) onPost(n);
        });
    }

    void Run() {
        UpdateWorker();
        EXPECT_EQ(1u, rig.posts.Count(MSG_OPERATION_DONE)) << "exactly one ending";
        EXPECT_EQ(MSG_OPERATION_DONE, rig.posts.All().back().code) << "the ending is the last word";
        EXPECT_EQ(0u, rig.serial.OpenHandles()) << "the port is closed on every way out";
    }

    Notification Done() const { return rig.posts.OfCode(MSG_OPERATION_DONE).at(0); }
    std::vector<std::string> Mnemonics() const { return rig.serial.Mnemonics(kStationPort); }
    // When the command with this mnemonic was written the k-th time (0-based).
    uint64_t WrittenAt(const std::string& mnemonic, size_t k = 0) const {
        for (const ScriptedSerial::Written& write : rig.serial.AllWrites()) {
            if (Mnemonic(write.command) == mnemonic && k-- == 0) return write.at;
        }
        ADD_FAILURE() << mnemonic << " was not written";
        return 0;
    }
    uint64_t DoneAt() const { return postTimes.back(); }

    WorkflowRig rig;
    StationScript station;
    std::function<void(const std::string&)> beforeReply; // runs on the worker, before each reply
    std::function<void(const Notification&)> onPost;     // runs on the worker, at each post
    std::vector<uint64_t> postTimes;                     // written by the worker only
    uint64_t promptAt = 0;
};

TEST(UpdateWorker, TwoBlockImageUpdatesAndReportsEveryStep) {
    UpdateRig u;
    bool allowedAtFirstBlock = false;
    bool allowedAtLastBlock = true;
    u.onPost = [&](const Notification& n) {
        if (n.code != MSG_PROGRESS) return;
        if (n.wParam == 50) allowedAtFirstBlock = App().cancelAllowed.load();
        if (n.lParam == 1) allowedAtLastBlock = App().cancelAllowed.load();
    };
    u.Run();

    EXPECT_EQ((std::vector<std::wstring>{
                  L"line 1: ✓  Подключение к прибору",
                  L"line 2: ✓  Переход в режим обновления",
                  L"progress 50 mark 0",
                  L"line 3: ●  Передача прошивки: 1 из 2",
                  L"progress 90 mark 1",
                  L"progress 90 mark 0",
                  L"line 3: ●  Передача прошивки: 2 из 2",
                  L"line 3: ✓  Прошивка передана",
                  L"line 4: ●  Перезапуск прибора",
                  L"reinstall prompt",
                  L"line 4: ✓  Перезапуск выполнен",
                  L"line 5: ✓  Прибор повторно подключён",
                  L"progress 100 mark 0",
                  L"done 1: " + kSucceeded123,
              }),
              u.rig.posts.Descriptions());
    EXPECT_EQ((std::vector<std::string>{
                  "Available COM ports: COM3",
                  "COM3 BGV -> ZDS-2 1.0",
                  "DUSTART -> OK",
                  "DUSIZE -> OK",
                  "DUSUMM -> OK",
                  "DUB 1/2 -> NEXT",
                  "DUB 2/2 -> OK",
                  "DRST -> OK",
                  "Reset confirmed; waiting 15 seconds for the instrument to reboot",
                  "Available COM ports: COM3",
                  "COM3 BGV -> ZDS-2 1.0",
                  "BIC after instrument reinstall -> 1",
                  "GV after instrument reinstall -> 1.2.3",
                  "BB after successful update -> OK",
              }),
              u.rig.log.Messages());
    const FirmwareImage& image = App().firmware;
    EXPECT_EQ((std::vector<std::string>{"BGV\n", "GB\n", "DUSTART\n", "DUSIZE2\n", "DUSUMM" + std::to_string(image.crc32) + "\n",
                                        MakeBlockCommand(image, 0), MakeBlockCommand(image, 1), "DRST\n", "BGV\n", "BIC\n", "GV\n",
                                        "BB\n"}),
              u.rig.serial.Commands(kStationPort));

    EXPECT_TRUE(allowedAtFirstBlock);
    EXPECT_FALSE(allowedAtLastBlock);
    EXPECT_FALSE(App().cancelAllowed.load());
    // The instrument gets 1.5 s to settle before the reset, and 15 s from the prompt to reboot.
    EXPECT_LE(u.WrittenAt("DUB", 1) + 1500, u.WrittenAt("DRST"));
    EXPECT_GE(u.WrittenAt("DUB", 1) + 1500 + 50, u.WrittenAt("DRST"));
    EXPECT_EQ(u.promptAt + 15000, u.WrittenAt("BGV", 1));
    EXPECT_EQ(1u, u.rig.clock.SleepsOf(15000).size());
}

TEST(UpdateWorker, ProgressRunsFromBlockToBlockWithTheFinalPhaseMarkBeforeTheLast) {
    struct Case {
        size_t blocks;
        std::vector<std::wstring> progress;
    };
    const Case cases[] = {
        {1, {L"progress 90 mark 1", L"progress 90 mark 0", L"progress 100 mark 0"}},
        {3, {L"progress 36 mark 0", L"progress 63 mark 0", L"progress 90 mark 1", L"progress 90 mark 0", L"progress 100 mark 0"}},
        {7,
         {L"progress 21 mark 0", L"progress 32 mark 0", L"progress 44 mark 0", L"progress 55 mark 0", L"progress 67 mark 0",
          L"progress 78 mark 0", L"progress 90 mark 1", L"progress 90 mark 0", L"progress 100 mark 0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blocks);
        UpdateRig u(c.blocks);
        u.Run();
        std::vector<std::wstring> progress;
        for (const Notification& n : u.rig.posts.OfCode(MSG_PROGRESS)) progress.push_back(Describe(n));
        EXPECT_EQ(c.progress, progress);
        EXPECT_EQ(c.blocks, u.rig.log.MessagesStartingWith("DUB ").size());
        EXPECT_EQ("DUB " + std::to_string(c.blocks) + "/" + std::to_string(c.blocks) + " -> OK",
                  u.rig.log.MessagesStartingWith("DUB ").back());
        EXPECT_EQ(Succeeded, u.Done().wParam);
    }
}

// Each ending of an update: result, text and every command the instrument received.
struct EndingCase {
    const char* name;
    std::function<void(StationScript&)> script;
    OperationResult result;
    std::wstring text;
    std::vector<std::string> commands;
};

TEST(UpdateWorker, EveryEndingHasItsResultTextAndLastCommand) {
    const std::vector<std::string> toDusumm = {"BGV", "GB", "DUSTART", "DUSIZE", "DUSUMM"};
    auto then = [](std::vector<std::string> head, const std::vector<std::string>& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const std::vector<std::string> toReset = then(toDusumm, {"DUB", "DUB", "DRST"});
    const EndingCase cases[] = {
        {"station silent", [](StationScript& s) { s.Set("BGV", Silence()); }, Failed, kStationLost, {"BGV"}},
        {"station answers ERROR", [](StationScript& s) { s.Set("BGV", Line("ERROR")); }, Failed, kStationLost, {"BGV"}},
        {"battery reply without a number", [](StationScript& s) { s.Set("GB", Line("ERR")); }, Failed, kBatteryUnreadable, {"BGV", "GB"}},
        {"battery silent", [](StationScript& s) { s.Set("GB", Silence()); }, Failed, kBatteryUnreadable, {"BGV", "GB"}},
        {"battery out of range", [](StationScript& s) { s.Set("GB", Line("7.2")); }, Failed, kBatteryUnreadable, {"BGV", "GB"}},
        {"battery 3.89 V", [](StationScript& s) { s.Set("GB", Line("3.89")); }, Failed, kBatteryLow, {"BGV", "GB"}},
        {"battery 3899 mV", [](StationScript& s) { s.Set("GB", Line("3899 mV")); }, Failed, kBatteryLow, {"BGV", "GB"}},
        {"battery exactly 3.9 V", [](StationScript& s) { s.Set("GB", Line("3.9")); }, Succeeded, kSucceeded123,
         then(toReset, {"BGV", "BIC", "GV", "BB"})},
        {"DUSTART refused", [](StationScript& s) { s.Set("DUSTART", Line("ERROR")); }, Failed, kNoUpdateMode, {"BGV", "GB", "DUSTART"}},
        {"DUSTART silent", [](StationScript& s) { s.Set("DUSTART", Silence()); }, Failed, kNoUpdateMode, {"BGV", "GB", "DUSTART"}},
        {"DUSIZE refused: no DUSUMM, DRST whatever it answers",
         [](StationScript& s) {
             s.Set("DUSIZE", Line("ERR"));
             s.Set("DRST", Line("FAIL"));
         },
         Failed, kParametersRefused, {"BGV", "GB", "DUSTART", "DUSIZE", "DRST"}},
        {"DUSUMM refused", [](StationScript& s) { s.Set("DUSUMM", Line("FAIL crc")); }, Failed, kParametersRefused,
         then(toDusumm, {"DRST"})},
        {"first block refused", [](StationScript& s) { s.Queue("DUB", Line("FAIL")); }, Failed, kTransferBroken, then(toDusumm, {"DUB"})},
        {"NEXT to the last block", [](StationScript& s) { s.Set("DUB", Line("NEXT")); }, Failed, kTransferBroken,
         then(toDusumm, {"DUB", "DUB"})},
        {"OK to an earlier block", [](StationScript& s) { s.Set("DUB", Line("OK")); }, Failed, kTransferBroken, then(toDusumm, {"DUB"})},
        {"block silent", [](StationScript& s) { s.Queue("DUB", Silence()); }, Failed, kTransferBroken, then(toDusumm, {"DUB"})},
        {"station unplugged during a block", [](StationScript& s) { s.Queue("DUB", Unplugged()); }, Failed, kTransferBroken,
         then(toDusumm, {"DUB"})},
        {"lower-case next with white space is NEXT",
         [](StationScript& s) {
             s.Queue("DUB", Bare(" next\r\n"));
             s.Queue("DUB", Line("ok"));
         },
         Succeeded, kSucceeded123, then(toReset, {"BGV", "BIC", "GV", "BB"})},
        {"reset refused", [](StationScript& s) { s.Set("DRST", Line("ERR")); }, Failed, kResetUnconfirmed, toReset},
        {"reset silent", [](StationScript& s) { s.Set("DRST", Silence()); }, Failed, kResetUnconfirmed, toReset},
        {"version unchanged", [](StationScript& s) { s.Set("GV", Line("V1.2.3")); }, Failed, kVersionUnchanged,
         then(toReset, {"BGV", "BIC", "GV"})},
    };
    for (const EndingCase& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateRig u;
        c.script(u.station);
        u.Run();
        EXPECT_EQ(c.result, u.Done().wParam);
        EXPECT_EQ(c.text, u.Done().text);
        EXPECT_EQ(c.commands, u.Mnemonics());
    }
}

TEST(UpdateWorker, NoStationAtAllSendsNothing) {
    WorkflowRig rig;
    App().firmware = TestImage(2, "1.2.3");
    UpdateWorker();
    EXPECT_EQ((std::vector<std::wstring>{L"done 0: " + kStationLost}), rig.posts.Descriptions());
    EXPECT_EQ(std::vector<std::string>{"Available COM ports: none"}, rig.log.Messages());
}

TEST(UpdateWorker, RefusedParametersAbandonWithASilentDrstThatIsNotLogged) {
    UpdateRig u;
    u.station.Set("DUSIZE", Line("ERR"));
    u.station.Set("DRST", Line("OK"));
    u.Run();
    EXPECT_EQ((std::vector<std::string>{"Available COM ports: COM3", "COM3 BGV -> ZDS-2 1.0", "DUSTART -> OK", "DUSIZE -> ERR"}),
              u.rig.log.Messages());
    EXPECT_EQ((std::vector<std::wstring>{L"line 1: ✓  Подключение к прибору", L"line 2: ✓  Переход в режим обновления",
                                         L"done 0: " + kParametersRefused}),
              u.rig.posts.Descriptions());
}

TEST(UpdateWorker, AFailedBlockIsLoggedAndNothingMoreIsSent) {
    UpdateRig u(3);
    u.station.Queue("DUB", Line("NEXT"));
    u.station.Queue("DUB", Line("  busy  "));
    u.Run();
    EXPECT_EQ((std::vector<std::string>{"DUB 1/3 -> NEXT", "DUB 2/3 -> busy"}), u.rig.log.MessagesStartingWith("DUB "));
    EXPECT_EQ("DUB 2/3 -> busy", u.rig.log.Messages().back());
    EXPECT_EQ(L"line 3: ●  Передача прошивки: 1 из 3", Describe(u.rig.posts.OfCode(MSG_STATUS_LINE).back()));
}

// Silence from the command `silent` costs its deadline: measured up to the next command or the end.
struct DeadlineCase {
    const char* silent;
    std::function<void(StationScript&)> script;
    uint64_t deadlineMs;
    uint32_t pauseAfterMs; // a pause of the worker between the silence and the next event
};

TEST(UpdateWorker, EachCommandIsGivenItsOwnDeadline) {
    const DeadlineCase cases[] = {
        {"BGV", [](StationScript& s) { s.Set("BGV", Silence()); }, 700, 0},
        {"GB", [](StationScript& s) { s.Set("GB", Silence()); }, 2500, 0},
        {"DUSTART", [](StationScript& s) { s.Set("DUSTART", Silence()); }, 3000, 0},
        {"DUSIZE", [](StationScript& s) { s.Set("DUSIZE", Silence()); }, 3000, 0},
        {"DUSUMM", [](StationScript& s) { s.Set("DUSUMM", Silence()); }, 3000, 0},
        {"DRST",
         [](StationScript& s) {
             s.Set("DUSIZE", Line("ERR"));
             s.Set("DRST", Silence());
         },
         1000, 0},
        {"DUB", [](StationScript& s) { s.Set("DUB", Silence()); }, 6000, 0},
        {"DRST", [](StationScript& s) { s.Set("DRST", Silence()); }, 1500, 0},
        {"BIC", [](StationScript& s) { s.Queue("BIC", Silence()); }, 1200, 1500},
        {"GV", [](StationScript& s) { s.Queue("GV", Silence()); }, 2500, 0},
        {"BB", [](StationScript& s) { s.Set("BB", Silence()); }, 2500, 0},
    };
    for (const DeadlineCase& c : cases) {
        SCOPED_TRACE(std::string(c.silent) + " " + std::to_string(c.deadlineMs));
        UpdateRig u;
        c.script(u.station);
        u.Run();
        const std::vector<ScriptedSerial::Written> writes = u.rig.serial.AllWrites();
        size_t first = 0;
        while (first < writes.size() && Mnemonic(writes[first].command) != c.silent) ++first;
        ASSERT_LT(first, writes.size());
        const uint64_t next = first + 1 < writes.size() ? writes[first + 1].at : u.DoneAt();
        const uint64_t took = next - writes[first].at - c.pauseAfterMs;
        EXPECT_LE(c.deadlineMs, took);
        EXPECT_GE(c.deadlineMs + 306 + 20, took);
    }
}

TEST(UpdateWorker, ACancelDuringTheStepsBeforeTheTransferIsHonouredBeforeBlockOne) {
    for (const char* during : {"BGV", "GB", "DUSTART", "DUSIZE", "DUSUMM"}) {
        for (size_t blocks : {1, 2}) {
            SCOPED_TRACE(std::string(during) + ", blocks " + std::to_string(blocks));
            UpdateRig u(blocks);
            u.beforeReply = [during](const std::string& command) {
                if (Mnemonic(command) == during) App().cancelRequested.store(true);
            };
            u.Run();
            EXPECT_EQ((std::vector<std::string>{"BGV", "GB", "DUSTART", "DUSIZE", "DUSUMM", "BB"}), u.Mnemonics());
            EXPECT_EQ(Cancelled, u.Done().wParam);
            EXPECT_EQ(kCancelled, u.Done().text);
            EXPECT_EQ("BB (update cancelled) -> OK", u.rig.log.Messages().back());
            EXPECT_EQ(0u, u.rig.posts.Count(MSG_PROGRESS));
        }
    }
}

TEST(UpdateWorker, ACancelDuringABlockStopsBeforeTheNextOneTheLastIncluded) {
    struct Case {
        size_t blocks;
        int cancelDuringBlock; // 1-based
        size_t blocksSent;
        OperationResult result;
    };
    // A request during the last block comes too late: the window no longer takes one then.
    const Case cases[] = {{3, 1, 1, Cancelled}, {3, 2, 2, Cancelled}, {2, 1, 1, Cancelled}, {3, 3, 3, Succeeded}, {1, 1, 1, Succeeded}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.cancelDuringBlock) + " of " + std::to_string(c.blocks));
        UpdateRig u(c.blocks);
        auto blocks = std::make_shared<int>(0);
        u.beforeReply = [blocks, &c](const std::string& command) {
            if (Mnemonic(command) == "DUB" && ++*blocks == c.cancelDuringBlock) App().cancelRequested.store(true);
        };
        u.Run();
        EXPECT_EQ(c.blocksSent, u.rig.log.MessagesStartingWith("DUB ").size());
        EXPECT_EQ(c.result, u.Done().wParam);
        EXPECT_EQ("BB", u.Mnemonics().back()) << "BB ends a cancel and a success alike";
    }
}

TEST(UpdateWorker, ACancelLeftFromBeforeTheStartIsCleared) {
    UpdateRig u;
    App().cancelRequested.store(true);
    u.Run();
    EXPECT_EQ(Succeeded, u.Done().wParam);
}

TEST(UpdateWorker, TheReconnectLoopRetriesEvery1500MsUntil120SAfterTheWait) {
    UpdateRig u;
    // The station's cable is pulled while the user is told to lift the instrument.
    u.onPost = [&u](const Notification& n) {
        if (n.code == MSG_REINSTALL_PROMPT) u.rig.serial.Unplug(kStationPort);
    };
    u.Run();
    EXPECT_EQ(Failed, u.Done().wParam);
    EXPECT_EQ(kNotBack, u.Done().text);
    const uint64_t waitEnd = u.promptAt + 15000;
    EXPECT_LE(waitEnd + 120000, u.DoneAt());
    EXPECT_GE(waitEnd + 120000 + 1500, u.DoneAt());
    // One scan at 0, 1.5, 3, ... 118.5 s after the wait: 80 of them, each followed by its pause.
    const std::vector<std::string> scans = u.rig.log.MessagesStartingWith("Available COM ports:");
    EXPECT_EQ(1u + 80u, scans.size());
    EXPECT_EQ("Available COM ports: none", scans.back());
    EXPECT_EQ(80u, u.rig.clock.SleepsOf(1500).size() - 1) << "one 1500 ms sleep is the pause before the reset";
    EXPECT_EQ("DRST", u.Mnemonics().back());
}

TEST(UpdateWorker, AnInstrumentThatComesBackLateIsFoundWithinTheWindow) {
    UpdateRig u;
    uint64_t backAt = 0;
    u.onPost = [&](const Notification& n) {
        if (n.code == MSG_REINSTALL_PROMPT) backAt = u.rig.clock.Now() + 15000 + 40000;
    };
    u.beforeReply = [&](const std::string& command) {
        if (Mnemonic(command) == "BIC") u.station.Set("BIC", Line(backAt != 0 && u.rig.clock.Now() >= backAt ? "1" : "0"));
    };
    u.Run();
    EXPECT_EQ(Succeeded, u.Done().wParam);
    const std::vector<std::string> bics = u.rig.log.MessagesStartingWith("BIC after instrument reinstall -> ");
    ASSERT_LE(2u, bics.size());
    EXPECT_EQ("BIC after instrument reinstall -> 0", bics.front());
    EXPECT_EQ("BIC after instrument reinstall -> 1", bics.back());
    // Each try costs a BGV and a BIC exchange and a 1.5 s pause.
    const uint64_t firstTry = u.WrittenAt("BIC", 0);
    const uint64_t secondTry = u.WrittenAt("BIC", 1);
    EXPECT_LE(firstTry + 1500, secondTry);
    EXPECT_GE(firstTry + 1500 + 100, secondTry);
    EXPECT_LE(backAt, u.WrittenAt("GV"));
    EXPECT_GE(backAt + 1700, u.WrittenAt("GV"));
}

TEST(UpdateWorker, GvErrorOrNothingIsAskedAgainAtOnce) {
    UpdateRig u;
    u.station.Queue("GV", Line("ERROR"));
    u.station.Queue("GV", Silence());
    u.Run();
    EXPECT_EQ(Succeeded, u.Done().wParam);
    EXPECT_EQ((std::vector<std::string>{"GV after instrument reinstall -> ERROR", "GV after instrument reinstall -> ",
                                        "GV after instrument reinstall -> 1.2.3"}),
              u.rig.log.MessagesStartingWith("GV after"));
    EXPECT_EQ(1u, u.rig.clock.SleepsOf(1500).size()) << "only the pause before the reset";
    EXPECT_EQ(3u, u.rig.log.MessagesStartingWith("BIC after").size()) << "each retry starts with a new scan";
}

TEST(UpdateWorker, ClosingTheProgramDuringTheReconnectEndsItAfterTheCurrentAttempt) {
    UpdateRig u;
    u.station.Set("BIC", Line("0"));
    // The pause before the reset is also 1500 ms: the window is closed only after the prompt.
    bool prompted = false;
    u.onPost = [&prompted](const Notification& n) { prompted = prompted || n.code == MSG_REINSTALL_PROMPT; };
    u.rig.clock.SetSleepObserver([&prompted](const VirtualClock::Sleep& sleep) {
        if (sleep.ms == 1500 && prompted) App().appClosing.store(true);
    });
    u.Run();
    EXPECT_EQ(kNotBack, u.Done().text);
    EXPECT_EQ(1u, u.rig.log.MessagesStartingWith("BIC after").size());
}

TEST(UpdateWorker, ClosingTheProgramDuringTheWaitEndsItBeforeAnyScan) {
    UpdateRig u;
    u.rig.clock.SetSleepObserver([](const VirtualClock::Sleep& sleep) {
        if (sleep.ms == 15000) App().appClosing.store(true);
    });
    u.Run();
    EXPECT_EQ(kNotBack, u.Done().text);
    EXPECT_EQ(1u, u.rig.log.MessagesStartingWith("Available COM ports:").size());
    EXPECT_EQ("DRST", u.Mnemonics().back());
}

TEST(UpdateWorker, TheVersionMustMatchExactlyUnlessTheImageHasNone) {
    struct Case {
        std::string imageVersion;
        std::string reply;
        OperationResult result;
        std::wstring text;
    };
    const Case cases[] = {
        {"1.2.3", " 1.2.3 \r\n", Succeeded, kSucceeded123},
        {"1.2.3", "1.2.3", Succeeded, kSucceeded123},
        {"1.2.3", "V1.2.3\r\n", Failed, kVersionUnchanged},
        {"1.2.3", "1.2.3b\r\n", Failed, kVersionUnchanged},
        {"1.2.3", "1.2.4\r\n", Failed, kVersionUnchanged},
        {"v1.2", "V1.2\r\n", Failed, kVersionUnchanged},
        {"", "V9\r\n", Succeeded, L"Прошивка успешно обновлена до версии V9."},
        {"", "2.0-\xCE\xB2\r\n", Succeeded, L"Прошивка успешно обновлена до версии 2.0-β."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reply);
        UpdateRig u(2, c.imageVersion);
        u.station.Set("GV", Bare(c.reply));
        u.Run();
        EXPECT_EQ(c.result, u.Done().wParam);
        EXPECT_EQ(c.text, u.Done().text);
        EXPECT_EQ(c.result == Succeeded ? "BB" : "GV", u.Mnemonics().back());
    }
}

TEST(UpdateWorker, AnUnexpectedErrorStillEndsTheUpdateWithOneFailure) {
    UpdateRig u;
    u.beforeReply = [](const std::string& command) {
        if (Mnemonic(command) == "DUB") throw std::runtime_error("device model broke");
    };
    u.Run();
    EXPECT_EQ(Failed, u.Done().wParam);
    EXPECT_EQ(kTransferBroken, u.Done().text);
    EXPECT_EQ("Update stopped by an internal error: device model broke", u.rig.log.Messages().back());
}

TEST(UpdateWorker, PostsThatCannotBeDeliveredAreFreedByTheWorker) {
    UpdateRig u;
    u.rig.posts.SetRefusing(true); // the window is gone; the sanitizers check nothing leaks
    UpdateWorker();
    EXPECT_EQ(0u, u.rig.posts.All().size());
    EXPECT_EQ("BB after successful update -> OK", u.rig.log.Messages().back());
    EXPECT_EQ(0u, u.rig.serial.OpenHandles());
}

} // namespace
