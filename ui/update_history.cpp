#include "ui/update_history.h"

#include <cstdint>
#include <exception>
#include <mutex>

#include "core/app_state.h"
#include "core/clock.h"
#include "core/history.h"
#include "core/log.h"
#include "firmware/firmware_version.h"
#include "serial/commands.h"
#include "text/text.h"
#include "ui/window_helpers.h"

namespace {

uint64_t startedAtMs = 0; // window thread only
constexpr UINT kHistoryRetryMs = 30000;

HistoryEntry EntryOf(OperationResult result, const std::wstring& message) {
    const AppState& app = App();
    UpdateFacts facts;
    {
        std::lock_guard<std::mutex> lock(App().updateMutex);
        facts = app.updateFacts;
    }
    // Replies go in as the log shows them: escaped, so that each stays on its line, and capped.
    HistoryEntry entry;
    entry.handled = LogClockNow();
    entry.comPort = facts.comPort;
    entry.station = LoggedReply(facts.stationReply);
    entry.versionBefore = LoggedReply(app.instrumentVersion);
    entry.fileName = WideToUtf8(FileNamePart(app.firmware.path));
    entry.fileVersion = app.firmware.version;
    entry.crc32 = app.firmware.crc32;
    entry.blocks = BlockCount(app.firmware);
    entry.batteryVolts = facts.batteryVolts.value_or(app.batteryVoltage);
    entry.seconds = (TickMs() - startedAtMs) / 1000;
    entry.result = result;
    entry.message = result == Succeeded ? std::string() : WideToUtf8(message);
    return entry;
}

} // namespace

void NoteUpdateStarted() { startedAtMs = TickMs(); }

HistoryBlockage RecordUpdateEnded(OperationResult result, const std::wstring& message) {
    try {
        return AppendHistory(EntryOf(result, message));
    } catch (const std::exception&) {
        // Without memory for the line the update's result must still reach the user.
        WriteLog("Update history cannot be written");
        return {};
    }
}

void TellHistoryBlockage(HWND window, const HistoryBlockage& blockage) {
    if (!IsWindow(window)) return;
    if (blockage.linesWait) SetTimer(window, kHistoryRetryTimer, kHistoryRetryMs, nullptr);
    if (!blockage.told) return;
    const std::wstring text =
        IsHistoryInUse(blockage.error)
            ? L"Запись об обновлении не добавлена в файл истории: файл открыт в другой программе. Закройте его, и "
              L"программа добавит запись сама."
            : L"Запись об обновлении пока не добавлена в файл истории: " + SystemErrorText(blockage.error);
    ShowMessageBox(text.c_str(), L"История обновлений", MB_ICONWARNING);
}

void RetryWaitingHistory(HWND window) {
    if (FlushHistory()) {
        SetTimer(window, kHistoryRetryTimer, kHistoryRetryMs, nullptr);
    } else {
        KillTimer(window, kHistoryRetryTimer);
    }
}
