#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "core/app_state.h"
#include "core/battery.h"
#include "core/clock.h"
#include "core/log.h"
#include "core/notifications.h"
#include "serial/commands.h"
#include "text/text.h"
#include "workflows/workflows.h"

namespace {

constexpr uint32_t kPauseBeforeResetMs = 1500;
constexpr uint32_t kReinstallWaitMs = 15000;
constexpr uint64_t kReconnectWindowMs = 120000;
constexpr uint32_t kReconnectPauseMs = 1500;

// Progress: 10 % when the transfer starts, 90 % when the last block is through.
constexpr uint64_t kTransferStartPercent = 10;
constexpr uint64_t kTransferSpanPercent = 80;
constexpr uintptr_t kLastBlockPercent = 90;
constexpr uintptr_t kDonePercent = 100;
constexpr intptr_t kFinalPhaseMark = 1;

// Status lines of the update page.
constexpr int kConnectionLine = 1;
constexpr int kUpdateModeLine = 2;
constexpr int kTransferLine = 3;
constexpr int kResetLine = 4;
constexpr int kReinstallLine = 5;

constexpr wchar_t kConnectedText[] = L"✓  Подключение к прибору";
constexpr wchar_t kUpdateModeText[] = L"✓  Переход в режим обновления";
constexpr wchar_t kTransferringText[] = L"●  Передача прошивки: ";
constexpr wchar_t kTransferredText[] = L"✓  Прошивка передана";
constexpr wchar_t kResettingText[] = L"●  Перезапуск прибора";
constexpr wchar_t kResetDoneText[] = L"✓  Перезапуск выполнен";
constexpr wchar_t kReconnectedText[] = L"✓  Прибор повторно подключён";

constexpr wchar_t kStationLostText[] = L"Дата-станция потеряна.";
constexpr wchar_t kBatteryUnreadableText[] = L"Не удалось повторно проверить аккумулятор.";
constexpr wchar_t kUpdateModeRefusedText[] = L"Прибор не поддерживает запуск DFWU. Прошивка не изменена.";
constexpr wchar_t kParametersRefusedText[] = L"Прибор отклонил параметры файла прошивки.";
constexpr wchar_t kCancelledText[] = L"Обновление отменено. Основная прошивка прибора не изменена.";
constexpr wchar_t kTransferBrokenText[] = L"Передача прошивки прервана. Не снимайте прибор и обратитесь в поддержку.";
constexpr wchar_t kResetUnconfirmedText[] = L"Команда перезапуска не подтверждена. Не снимайте прибор.";
constexpr wchar_t kNotBackText[] = L"Прибор не подключился повторно. Поднимите его и снова установите на дата-станцию.";
constexpr wchar_t kVersionUnchangedText[] =
    L"Прибор перезапустился, но версия не изменилась. Возможна проблема с bootloader.";
constexpr wchar_t kSucceededText[] = L"Прошивка успешно обновлена до версии ";

// How the update ends: one MSG_OPERATION_DONE with this result and text.
struct Ending {
    OperationResult result;
    std::wstring text;
};

// What the stages share; the worker owns it alone.
struct UpdateRun {
    const FirmwareImage& image; // the firmware slot, unchanged while the update page is shown
    SerialPort port{};
    uint64_t blockCount = 0;
    std::string reportedVersion{}; // the trimmed GV reply after the instrument came back
    UpdateFacts facts{};           // handed to the window with the result
};

// A stage either lets the update go on (no value) or ends it.
using StageResult = std::optional<Ending>;

Ending Fail(std::wstring text) { return {.result = Failed, .text = std::move(text)}; }

void PostProgress(uintptr_t percent, intptr_t mark) { PostNotification(MSG_PROGRESS, percent, mark); }

void SleepUntil(uint64_t tick) {
    for (uint64_t now = TickMs(); now < tick; now = TickMs()) SleepMs(static_cast<uint32_t>(tick - now));
}

StageResult Start(UpdateRun&) {
    App().cancelRequested.exchange(false);
    App().cancelAllowed.exchange(true);
    return {};
}

StageResult ConnectToStation(UpdateRun& run) {
    StationScan scan;
    if (!FindStation(run.port, App().preferredPort.load(), &scan)) return Fail(kStationLostText);
    run.facts.stationReply = scan.stationReply;
    run.facts.comPort = run.port.portNumber;
    PostStatusLine(kConnectionLine, kConnectedText);
    return {};
}

// The battery may have drained since the check page read it; the update needs 3.9 V or more.
StageResult CheckBattery(UpdateRun& run) {
    const std::string reply = Ask(run.port, Command::GbUpdate);
    double voltage = 0.0;
    try {
        voltage = ParseBatteryVoltage(reply);
    } catch (const std::exception&) {
        return Fail(kBatteryUnreadableText);
    }
    run.facts.batteryVolts = voltage;
    if (voltage < kLowestUpdateVolts)
        return Fail(L"Напряжение аккумулятора стало ниже " + std::wstring(kLowestUpdateVoltsText) + L".");
    return {};
}

StageResult EnterUpdateMode(UpdateRun& run) {
    run.blockCount = BlockCount(run.image);
    if (!SendLogged(run.port, Command::Dustart)) return Fail(kUpdateModeRefusedText);
    PostStatusLine(kUpdateModeLine, kUpdateModeText);
    return {};
}

StageResult AnnounceImage(UpdateRun& run) {
    if (SendLogged(run.port, Command::Dusize, run.blockCount) &&
        SendLogged(run.port, Command::Dusumm, run.image.crc32)) {
        return {};
    }
    // Leaves update mode; the instrument keeps its firmware, so the reply does not matter.
    Ask(run.port, Command::DrstAbandon);
    return Fail(kParametersRefusedText);
}

Ending CancelUpdate(UpdateRun& run) {
    const std::string reply = Ask(run.port, Command::Bb);
    WriteLog("BB (update cancelled) -> " + LoggedReply(reply));
    return {.result = Cancelled, .text = kCancelledText};
}

// Sends block n of N (1-based) and judges the reply: NEXT for all but the last, OK for the last.
bool SendBlock(UpdateRun& run, uint64_t n) {
    const std::string reply = Ask(run.port, Command::Dub, MakeBlockCommand(run.image, n - 1));
    const std::string counter = std::to_string(n) + "/" + std::to_string(run.blockCount);
    WriteLog("DUB " + counter + " -> " + LoggedReply(reply));
    return n < run.blockCount ? StartsWithNext(reply) : StartsWithOk(reply);
}

StageResult TransferBlocks(UpdateRun& run) {
    const uint64_t total = run.blockCount;
    for (uint64_t n = 1; n <= total; ++n) {
        // No request is taken once the last block is due. The window records a request before it
        // looks at cancelAllowed, so one it accepted is seen here, however close the two come.
        if (n == total) App().cancelAllowed.exchange(false);
        // A cancel is honoured between blocks only; once the last block goes, there is no way back.
        if (App().cancelRequested.load()) return CancelUpdate(run);
        if (n == total) PostProgress(kLastBlockPercent, kFinalPhaseMark);
        if (!SendBlock(run, n)) return Fail(kTransferBrokenText);
        PostProgress(static_cast<uintptr_t>(kTransferStartPercent + kTransferSpanPercent * n / total), 0);
        PostStatusLine(kTransferLine, kTransferringText + std::to_wstring(n) + L" из " + std::to_wstring(total));
    }
    return {};
}

StageResult FinishTransfer(UpdateRun&) {
    App().cancelAllowed.exchange(false);
    PostStatusLine(kTransferLine, kTransferredText);
    PostStatusLine(kResetLine, kResettingText);
    return {};
}

StageResult ResetInstrument(UpdateRun& run) {
    // The instrument finishes writing its flash before it can take the reset.
    SleepMs(kPauseBeforeResetMs);
    const std::string reply = Ask(run.port, Command::DrstReset);
    WriteLog("DRST -> " + LoggedReply(reply));
    if (!StartsWithOk(reply)) return Fail(kResetUnconfirmedText);
    WriteLog("Reset confirmed; waiting 15 seconds for the instrument to reboot");
    return {};
}

// The user lifts the instrument and places it back; the window shows the reinstall dialog.
StageResult AwaitReinstall(UpdateRun& run) {
    PostNotification(MSG_REINSTALL_PROMPT, 0, 0);
    SleepUntil(TickMs() + kReinstallWaitMs);
    ClosePort(run.port);
    return {};
}

// One reconnect attempt: station, instrument, version. True leaves the port open on it.
bool ReconnectAttempt(UpdateRun& run) {
    if (!FindStation(run.port, App().preferredPort.load())) {
        SleepMs(kReconnectPauseMs);
        return false;
    }
    const std::string bic = Ask(run.port, Command::Bic);
    WriteLog("BIC after instrument reinstall -> " + LoggedReply(bic));
    if (!IsConnectedReply(bic)) {
        ClosePort(run.port);
        SleepMs(kReconnectPauseMs);
        return false;
    }
    const std::string gv = Ask(run.port, Command::GvUpdate);
    run.reportedVersion = Trim(gv);
    WriteLog("GV after instrument reinstall -> " + LoggedReply(gv));
    // A rebooting instrument may answer GV with nothing or an error: ask again at once.
    if (run.reportedVersion.empty() || IsFailureReply(gv)) {
        ClosePort(run.port);
        return false;
    }
    return true;
}

StageResult Reconnect(UpdateRun& run) {
    const uint64_t deadline = TickMs() + kReconnectWindowMs;
    if (App().appClosing.load()) return Fail(kNotBackText);
    for (;;) {
        if (TickMs() >= deadline) return Fail(kNotBackText);
        if (ReconnectAttempt(run)) return {};
        if (App().appClosing.load()) return Fail(kNotBackText);
    }
}

// Exact, case-sensitive; an image whose name carries no version accepts any.
StageResult CheckVersion(UpdateRun& run) {
    if (!run.image.version.empty() && run.reportedVersion != run.image.version) return Fail(kVersionUnchangedText);
    return {};
}

StageResult ConfirmSuccess(UpdateRun& run) {
    PostStatusLine(kResetLine, kResetDoneText);
    PostStatusLine(kReinstallLine, kReconnectedText);
    PostProgress(kDonePercent, 0);
    const std::string reply = Ask(run.port, Command::Bb);
    WriteLog("BB after successful update -> " + LoggedReply(reply));
    return Ending{.result = Succeeded, .text = kSucceededText + Utf8ToWide(run.reportedVersion) + L"."};
}

using Stage = StageResult (*)(UpdateRun&);

// In the order the user lives through them; the last one always ends the update.
constexpr Stage kStages[] = {
    Start,          ConnectToStation, CheckBattery,   EnterUpdateMode, AnnounceImage, TransferBlocks,
    FinishTransfer, ResetInstrument,  AwaitReinstall, Reconnect,       CheckVersion,  ConfirmSuccess,
};

Ending RunStages(UpdateRun& run) {
    for (Stage stage : kStages) {
        if (StageResult ending = stage(run)) return *ending;
    }
    return Fail(kTransferBrokenText);
}

// Without a reply the window would keep the operation busy forever, so even an unexpected error
// ends the update with a text; it advises the careful course, since the state is unknown.
Ending RunGuarded(UpdateRun& run) {
    try {
        return RunStages(run);
    } catch (const std::exception& error) {
        LogInternalError("Update", error);
    }
    return Fail(kTransferBrokenText);
}

} // namespace

void UpdateWorker() {
    UpdateRun run{.image = App().firmware};
    const Ending ending = RunGuarded(run);
    // The port is free before the window hears of the end and may start a new monitor.
    ClosePort(run.port);
    {
        std::lock_guard<std::mutex> lock(App().updateMutex);
        App().updateFacts = std::move(run.facts); // a move: nothing may keep the result from going out
    }
    PostOperationDone(ending.result, ending.text);
}
